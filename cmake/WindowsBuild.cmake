# The Windows build: mingw-w64, everything linked statically so that the DLL
# and the tools need no runtime DLL of the toolchain on a Windows machine.
if(NOT QVD_DEPS_PREFIX)
    message(FATAL_ERROR "QVD_DEPS_PREFIX must name the mingw builds of jsoncpp and Boost.Thread (scripts/test makes them)")
endif()

add_library(qvd_platform INTERFACE)
target_compile_definitions(qvd_platform INTERFACE
    UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00 WINVER=0x0A00
    BOOST_THREAD_USE_LIB BOOST_THREAD_WIN32)
target_include_directories(qvd_platform SYSTEM INTERFACE ${QVD_DEPS_PREFIX}/include)
target_link_libraries(qvd_platform INTERFACE
    ${QVD_DEPS_PREFIX}/lib/libjsoncpp.a ${QVD_DEPS_PREFIX}/lib/libboost_thread.a
    wintrust crypt32 advapi32 ole32 oleaut32 shell32 shlwapi userenv uuid wbemuuid version psapi)
target_link_options(qvd_platform INTERFACE -static -static-libgcc -static-libstdc++)

set(QVD_STRIP x86_64-w64-mingw32-strip)

# A path as Wine's Windows programs see it: the Unix root is drive Z:.
function(qvd_windows_path out unix_path)
    string(REPLACE "/" "\\" p "${unix_path}")
    set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()
