# The native build: only platform-independent code, always under ASan and UBSan,
# instrumented for libFuzzer so the fuzz targets get coverage from it too.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "The native build needs clang (libFuzzer); use the 'native' preset")
endif()
find_package(jsoncpp REQUIRED CONFIG)

# A folder configured with this option is for benchmark figures only: nothing
# in it is sanitized or instrumented.
option(QVD_BENCH_NO_SANITIZERS "Build without sanitizers (benchmark build folders only)" OFF)
if(NOT QVD_BENCH_NO_SANITIZERS)
    set(QVD_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${QVD_SANITIZE} -fsanitize=fuzzer-no-link)
    add_link_options(${QVD_SANITIZE})
endif()

add_library(qvd_platform INTERFACE)
target_link_libraries(qvd_platform INTERFACE jsoncpp_lib)

# qvd_fuzzer(name source): a libFuzzer target, plus a CTest entry that replays its seed corpus.
function(qvd_fuzzer name source corpus_dir)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE qvdcore qvd_warnings)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_test(NAME ${name}_corpus COMMAND ${name} -runs=0 ${corpus_dir})
endfunction()
