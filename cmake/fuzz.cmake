# Fuzz targets: where clang++ with libFuzzer is at hand, built in <build>/fuzz (a clang sub-build
# of tests/fuzz) and each run briefly as a test; longer runs are described in tests/fuzz.
set(fuzz_tests fuzz_split fuzz_size docs_fuzz)
if(NOT VARNELT_SUBBUILDS)
    foreach(name ${fuzz_tests})
        varnelt_skipped_test(${name} "${VARNELT_NO_SUBBUILDS}")
    endforeach()
    return()
endif()
find_program(VARNELT_CLANG_CXX NAMES clang++ clang++-14)
if(VARNELT_CLANG_CXX AND NOT VARNELT_LIBFUZZER_WORKS)
    # clang alone is not enough: the fuzzer run-time comes in a package of its own.
    set(probe ${PROJECT_BINARY_DIR}/CMakeFiles/libfuzzer_probe)
    file(WRITE ${probe}.cpp
        "#include <cstddef>\n#include <cstdint>\n"
        "extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }\n")
    execute_process(
        COMMAND ${VARNELT_CLANG_CXX} -fsanitize=fuzzer,address,undefined ${probe}.cpp -o ${probe}
        RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
    if(probe_result EQUAL 0)
        set(VARNELT_LIBFUZZER_WORKS ON CACHE INTERNAL "clang++ links libFuzzer programs")
    else()
        set(VARNELT_LIBFUZZER_WORKS OFF CACHE INTERNAL "clang++ links libFuzzer programs")
    endif()
endif()
if(NOT VARNELT_LIBFUZZER_WORKS)
    if(VARNELT_CLANG_CXX)
        set(reason "${VARNELT_CLANG_CXX} cannot link libFuzzer programs (Debian package libclang-rt-dev)")
    else()
        set(reason "clang++ is not installed (Debian packages clang, libclang-rt-dev)")
    endif()
    message(STATUS "${reason}: the fuzz targets are left out")
    foreach(name ${fuzz_tests})
        varnelt_skipped_test(${name} "${reason}")
    endforeach()
    return()
endif()

get_target_property(program_sources varnelt_program SOURCES)
get_target_property(posix_sources varnelt_posix SOURCES)
set(fuzzed_sources ${program_sources} ${posix_sources})
list(TRANSFORM fuzzed_sources PREPEND ${PROJECT_SOURCE_DIR}/)
list(JOIN fuzzed_sources "|" fuzzed_sources)

include(ExternalProject)
ExternalProject_Add(varnelt_fuzz
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/tests/fuzz
    BINARY_DIR ${PROJECT_BINARY_DIR}/fuzz
    LIST_SEPARATOR |
    CMAKE_ARGS
        -DCMAKE_CXX_COMPILER=${VARNELT_CLANG_CXX}
        -DVARNELT_SOURCE_DIR=${PROJECT_SOURCE_DIR}
        -DVARNELT_SOURCES=${fuzzed_sources}
        -DVARNELT_VERSION=${PROJECT_VERSION}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD OFF)

# A short run from the seeds; what it finds is kept in fuzz/found and seeds the next run.
# Command lines are tried up to 8 KiB, well past the 1280 bytes the program holds.
set(split_max_len -max_len=8192)
foreach(target split size)
    set(found ${PROJECT_BINARY_DIR}/fuzz/found/${target})
    file(MAKE_DIRECTORY ${found})
    add_test(NAME fuzz_${target}
        COMMAND ${PROJECT_BINARY_DIR}/fuzz/${target}_fuzz -runs=20000 -seed=1 ${${target}_max_len}
            -artifact_prefix=${PROJECT_BINARY_DIR}/fuzz/ ${found}
            ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${target})
    set_tests_properties(fuzz_${target} PROPERTIES TIMEOUT 120)
endforeach()

# The README's long runs, for seconds.
add_test(NAME docs_fuzz
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/docs/fuzz_long_run.sh ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
set_tests_properties(docs_fuzz PROPERTIES TIMEOUT 120)
