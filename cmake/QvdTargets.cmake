# Shared flags: warnings stay at zero on both builds.
add_library(qvd_warnings INTERFACE)
target_compile_options(qvd_warnings INTERFACE -Wall -Wextra -Werror)

# qvd_sources(PORTABLE files... WINDOWS files...): add a folder's sources to qvdcore.
# Portable files build everywhere; Windows files only in the Windows build.
function(qvd_sources)
    cmake_parse_arguments(ARG "" "" "PORTABLE;WINDOWS" ${ARGN})
    target_sources(qvdcore PRIVATE ${ARG_PORTABLE})
    if(WIN32)
        target_sources(qvdcore PRIVATE ${ARG_WINDOWS})
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
