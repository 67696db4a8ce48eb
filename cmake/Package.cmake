# The release package: cmake --build --preset windows --target package makes a ZIP with the
# DLL (stripped, its debug information beside it in a file named by .gnu_debuglink), the
# reference host, the packaging tool, the host header with a CMake package configuration,
# the README and the host team's docs.
include(CMakePackageConfigHelpers)

# The DLL as it ships: the symbols go to QVDPlugin64.dll.debug, which the stripped DLL names,
# so that crash addresses can still be symbolised.
set(release_dir ${CMAKE_BINARY_DIR}/release)
set(release_dll ${release_dir}/QVDPlugin64.dll)
set(release_debug ${release_dir}/QVDPlugin64.dll.debug)
add_custom_command(
    OUTPUT ${release_dll} ${release_debug}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${release_dir}
    COMMAND x86_64-w64-mingw32-objcopy --only-keep-debug $<TARGET_FILE:QVDPlugin64>
            ${release_debug}
    COMMAND ${QVD_STRIP} --strip-debug --strip-unneeded -o ${release_dll}.tmp
            $<TARGET_FILE:QVDPlugin64>
    COMMAND x86_64-w64-mingw32-objcopy --add-gnu-debuglink=QVDPlugin64.dll.debug
            ${release_dll}.tmp ${release_dll}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${release_dll}.tmp
    WORKING_DIRECTORY ${release_dir}
    DEPENDS QVDPlugin64
    COMMENT "Release DLL: stripped, with its debug information beside it"
    VERBATIM)
add_custom_target(qvd_release_dll ALL DEPENDS ${release_dll} ${release_debug})

install(FILES ${release_dll} ${release_debug} DESTINATION bin)
install(TARGETS qvdhost qvdpack RUNTIME DESTINATION bin)
install(FILES ${CMAKE_SOURCE_DIR}/plugin/QVDHostInterface.h DESTINATION include)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION .)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION docs)
install(FILES ${CMAKE_SOURCE_DIR}/tools/qvdpack/README.md DESTINATION docs RENAME qvdpack.md)

# find_package(QVDPlugin64 CONFIG REQUIRED): the target QVDPlugin64::HostInterface and the
# variable QVDPlugin64_DLL.
install(TARGETS qvd_host_interface EXPORT QVDPlugin64Targets)
install(EXPORT QVDPlugin64Targets NAMESPACE QVDPlugin64:: DESTINATION lib/cmake/QVDPlugin64)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/QVDPlugin64Config.cmake.in
    ${CMAKE_BINARY_DIR}/QVDPlugin64Config.cmake INSTALL_DESTINATION lib/cmake/QVDPlugin64)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/QVDPlugin64ConfigVersion.cmake
    COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${CMAKE_BINARY_DIR}/QVDPlugin64Config.cmake
              ${CMAKE_BINARY_DIR}/QVDPlugin64ConfigVersion.cmake
        DESTINATION lib/cmake/QVDPlugin64)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME QVDPlugin64)
set(CPACK_PACKAGE_VENDOR "${QVD_RC_COMPANY}")
set(CPACK_PACKAGE_FILE_NAME QVDPlugin64-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
