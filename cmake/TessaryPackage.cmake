# What `cmake --install` puts where, and the Debian package cpack makes of it
# (scripts/package.sh builds it with the prefix /usr).

include(GNUInstallDirs)
set(TESSARY_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(TESSARY_GENERATED ${PROJECT_BINARY_DIR}/packaging)

install(TARGETS tessary tessary-print tessary-capture pc1600-sim
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages and the changelog go compressed: gzip -n keeps no name or time,
# so the same source gives the same package.
set(compressed)
foreach(name tessary.1 tessary-print.1 tessary-capture.1 pc1600-sim.1 changelog)
    add_custom_command(OUTPUT ${TESSARY_GENERATED}/${name}.gz
        COMMAND gzip -9nc ${TESSARY_PACKAGING}/${name} > ${TESSARY_GENERATED}/${name}.gz
        DEPENDS ${TESSARY_PACKAGING}/${name}
        VERBATIM)
    list(APPEND compressed ${TESSARY_GENERATED}/${name}.gz)
endforeach()
add_custom_target(tessary_compressed_docs ALL DEPENDS ${compressed})
list(FILTER compressed INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TESSARY_GENERATED}/changelog.gz ${TESSARY_PACKAGING}/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
# A listing to send with pc1600-sim, for trying it all without a PC-1600.
install(FILES ${PROJECT_SOURCE_DIR}/tests/data/llist-sample.txt
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

install(FILES ${TESSARY_PACKAGING}/tessary.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TESSARY_PACKAGING}/io.github.tessary.Tessary.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TESSARY_PACKAGING}/tessary.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${TESSARY_PACKAGING}/tessary.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)

# tessary-capture as a system service: the template unit, its user and the
# options file, each where systemd looks for the prefix (/usr: /etc for the
# options; /usr/local: /usr/local/etc).
set(TESSARY_BINDIR ${CMAKE_INSTALL_FULL_BINDIR})
set(TESSARY_SYSCONFDIR ${CMAKE_INSTALL_FULL_SYSCONFDIR})
configure_file(${TESSARY_PACKAGING}/tessary-capture@.service.in
    ${TESSARY_GENERATED}/tessary-capture@.service @ONLY)
install(FILES ${TESSARY_GENERATED}/tessary-capture@.service
    DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
install(FILES ${TESSARY_PACKAGING}/tessary.sysusers
    DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/sysusers.d RENAME tessary.conf)
install(FILES ${TESSARY_PACKAGING}/tessary-capture.default
    DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default RENAME tessary-capture)

set(CPACK_PACKAGE_NAME tessary)
set(CPACK_PACKAGE_CONTACT
    "Tessary maintainers <maintainers@users.noreply.c-seed-b6731de5.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Printer for the Sharp PC-1600 pocket computer over RS-232")
# The summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tessary makes a PC the printer of a Sharp PC-1600 pocket computer. The
PC-1600 prints (LPRINT, LLIST, LFILES) by sending plain text over its serial
port; Tessary keeps that port open and, at a press of Print, cuts what
arrived into pages of 62 lines and prints them through the desktop's page
setup and print dialogs. The interface is German, with an English set of
the same texts.
.
It is for owners of the pocket computer who want its listings on paper or
as files. Beside the window come three command-line programs:
 * tessary-print: a received listing into the window's pages as a PDF;
 * tessary-capture: every listing from a port kept as files and printed,
   unattended, also as the system service tessary-capture@PORT;
 * pc1600-sim: a simulated PC-1600, to try them all without one.
The window and the programs print the same pages from the same code.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tessary)
# The package holds what the build was configured for: package.sh sets /usr.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link, as dpkg-shlibdeps finds them (Qt, and
# the CUPS client through Qt's print support); a metric-compatible
# Helvetica: without a font package nothing is printed; adduser for the
# capture service's user where there is no systemd-sysusers.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-urw-base35, adduser")
# Qt's German dialog and button texts, for the German interface; without
# them Qt's dialogs speak English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# A printer on this machine; the printing itself may as well go to another
# machine's CUPS.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups")
configure_file(${TESSARY_PACKAGING}/debian/conffiles.in ${TESSARY_GENERATED}/debian/conffiles @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${TESSARY_GENERATED}/debian/conffiles
    ${TESSARY_PACKAGING}/debian/postinst
    ${TESSARY_PACKAGING}/debian/prerm
    ${TESSARY_PACKAGING}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
