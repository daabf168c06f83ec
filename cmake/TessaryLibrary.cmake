# tessary_library(NAME [FOLDER DIR] SOURCES ... [LINKS ...])
#
# A static library of a folder under src/ (DIR, NAME by default). A library
# shows the compiler only its own folder (through a view in the build tree
# holding a single link to it), and a library sees another folder only by
# linking it, or its headers alone through tessary_DIR_headers. An include
# against the grain of the graph therefore fails to build.
function(tessary_library name)
    cmake_parse_arguments(ARG "" "FOLDER" "SOURCES;LINKS" ${ARGN})
    set(folder ${name})
    if(ARG_FOLDER)
        set(folder ${ARG_FOLDER})
    endif()
    set(target tessary_${name})
    add_library(${target} STATIC ${ARG_SOURCES})
    set(view ${PROJECT_BINARY_DIR}/include-views/${folder})
    if(NOT TARGET tessary_${folder}_headers)
        file(MAKE_DIRECTORY ${view})
        file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${view}/${folder} SYMBOLIC)
        add_library(tessary_${folder}_headers INTERFACE)
        target_include_directories(tessary_${folder}_headers INTERFACE ${view})
    endif()
    target_link_libraries(${target} PUBLIC tessary_${folder}_headers ${ARG_LINKS})
endfunction()
