# Fuzz targets: where clang++ with libFuzzer is at hand, built in <build>/fuzz (a clang sub-build
# of tests/fuzz), which tests/ runs briefly; longer runs are described in tests/fuzz. Where they
# cannot be built, VARNELT_FUZZ_SKIP says why.
if(NOT VARNELT_SUBBUILDS)
    set(VARNELT_FUZZ_SKIP "${VARNELT_NO_SUBBUILDS}")
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
        set(VARNELT_FUZZ_SKIP "${VARNELT_CLANG_CXX} cannot link libFuzzer programs (Debian package libclang-rt-dev)")
    else()
        set(VARNELT_FUZZ_SKIP "clang++ is not installed (Debian packages clang, libclang-rt-dev)")
    endif()
    message(STATUS "${VARNELT_FUZZ_SKIP}: the fuzz targets are left out")
    return()
endif()

get_target_property(program_sources varnelt_program SOURCES)
get_target_property(posix_sources varnelt_posix SOURCES)
get_target_property(posix_testing_sources varnelt_posix_testing SOURCES) # the targets set answers
set(fuzzed_sources ${program_sources} ${posix_sources} ${posix_testing_sources})
list(TRANSFORM fuzzed_sources PREPEND ${PROJECT_SOURCE_DIR}/)
list(JOIN fuzzed_sources "|" fuzzed_sources)

varnelt_subbuild(varnelt_fuzz ${PROJECT_SOURCE_DIR}/tests/fuzz fuzz
    LIST_SEPARATOR |
    CMAKE_ARGS
        -DCMAKE_CXX_COMPILER=${VARNELT_CLANG_CXX}
        -DVARNELT_SOURCE_DIR=${PROJECT_SOURCE_DIR}
        -DVARNELT_SOURCES=${fuzzed_sources}
        -DVARNELT_VERSION=${PROJECT_VERSION})
set(VARNELT_FUZZ_BUILD ${PROJECT_BINARY_DIR}/fuzz)
