# tessary_library(NAME SOURCES ... [LINKS ...])
#
# One static library per folder under src/. Each library shows the
# compiler only its own folder (through a view in the build tree holding a
# single link to it), and a library sees another folder only by linking
# it. An include against the grain of the graph therefore fails to build.
function(tessary_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
    set(target tessary_${name})
    add_library(${target} STATIC ${ARG_SOURCES})
    set(view ${PROJECT_BINARY_DIR}/include-views/${name})
    file(MAKE_DIRECTORY ${view})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${view}/${name} SYMBOLIC)
    target_include_directories(${target} PUBLIC ${view})
    target_link_libraries(${target} PUBLIC ${ARG_LINKS})
endfunction()
