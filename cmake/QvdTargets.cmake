# Shared flags: warnings stay at zero on both builds.
add_library(qvd_warnings INTERFACE)
target_compile_options(qvd_warnings INTERFACE -Wall -Wextra -Werror -Werror=unused-result)

# The subsystem folder (first path component below the source root) of the current list file.
function(qvd_current_folder out)
    file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    string(REGEX REPLACE "/.*" "" folder "${relative}")
    set(${out} ${folder} PARENT_SCOPE)
endfunction()

# qvd_sources(PORTABLE files... WINDOWS files...): add sources to the library of the subsystem
# folder this list file lives in. Portable files build everywhere; Windows files only in the
# Windows build.
function(qvd_sources)
    cmake_parse_arguments(ARG "" "" "PORTABLE;WINDOWS" ${ARGN})
    set(files ${ARG_PORTABLE})
    if(WIN32)
        list(APPEND files ${ARG_WINDOWS})
    endif()
    qvd_current_folder(folder)
    foreach(file IN LISTS files)
        set_property(GLOBAL APPEND PROPERTY QVD_SOURCES_${folder} ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endforeach()
endfunction()

# qvd_library(folder [DEPENDS libraries...]): the library qvd_<folder> of one subsystem folder,
# made of the sources its list files named, after add_subdirectory(folder).
#
# The layers are enforced by include paths: a library sees its own folder and, through the
# libraries it depends on, the folders below it, and nothing else. Its include root is a folder
# of the build holding one link, to its own source folder; so #include "plugin/..." from job/
# finds no file and fails the build.
function(qvd_library folder)
    cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
    set(name qvd_${folder})
    get_property(sources GLOBAL PROPERTY QVD_SOURCES_${folder})
    set(root ${CMAKE_BINARY_DIR}/layers/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    if(sources)
        add_library(${name} STATIC ${sources})
        target_include_directories(${name} PUBLIC ${root})
        target_link_libraries(${name} PUBLIC qvd_platform ${ARG_DEPENDS} PRIVATE qvd_warnings)
    else()
        # A folder whose files are all Windows-only, in the native build.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${root})
        target_link_libraries(${name} INTERFACE qvd_platform ${ARG_DEPENDS})
    endif()
endfunction()

# qvd_test(name [WINDOWS_ONLY] SOURCES files... [LIBS libs...]): one test program.
# Windows programs run under Wine through the cross-compiling emulator.
function(qvd_test name)
    cmake_parse_arguments(ARG "WINDOWS_ONLY" "" "SOURCES;LIBS" ${ARGN})
    if(ARG_WINDOWS_ONLY AND NOT WIN32)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE qvdcore qvd_testsupport GTest::gtest_main GTest::gmock
                                          qvd_warnings ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
    if(WIN32)
        add_dependencies(${name} qvd_fixtures)
    endif()
endfunction()
