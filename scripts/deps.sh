# Sourced by run.sh and test.sh: installs the Debian packages the build needs
# when they are missing. Needs root (or sudo) on a Debian 12 machine.

tessary_need_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
        else
            echo "error: packages ${missing[*]} are missing and this user cannot install them (not root, no sudo)." >&2
            return 1
        fi
    fi
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "error: packages ${missing[*]} are missing and there is no apt-get here; install them by hand." >&2
        return 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    if ! $sudo apt-get update -qq || ! $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
        echo "error: could not install ${missing[*]} with apt-get (see above)." >&2
        return 1
    fi
}

# What building and running the program needs; qt6-translations-l10n gives
# Qt's own dialogs and buttons their German texts; libcups2-dev lets
# tessary-capture hand each job to CUPS, and libsystemd-dev lets it tell
# systemd what it is doing.
TESSARY_BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev libgl-dev fonts-urw-base35
    qt6-translations-l10n libcups2-dev libsystemd-dev pkg-config)
# What the tests need on top: pdftotext reads printed pages back; Ghostscript
# and qpdf check that a PDF is one Debian's print filters accept;
# qt6-base-private-dev lets two tests send real window-system input; cups,
# cups-client and cups-filters run a private print server the tests print
# through; systemd-analyze checks the capture's unit.
TESSARY_TEST_PACKAGES=(poppler-utils ghostscript qpdf qt6-base-private-dev cups cups-client cups-filters
    systemd)
# What scripts/package.sh needs on top: cpack's dependency list comes from
# dpkg-shlibdeps, which looks at the programs with file.
TESSARY_PACKAGE_PACKAGES=(dpkg-dev file)
# What the CI extras need: the formatter, clang and its sanitizer runtimes;
# the reviewers of the package (lintian, the AppStream and desktop-entry
# validators).
TESSARY_CI_PACKAGES=(clang clang-format libclang-rt-14-dev git "${TESSARY_PACKAGE_PACKAGES[@]}" lintian
    appstream desktop-file-utils)
