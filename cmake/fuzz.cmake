# Fuzz targets: where clang++ with libFuzzer is at hand, built in <build>/fuzz (a clang sub-build
# of tests/fuzz), which tests/ runs briefly; longer runs are described in tests/fuzz. Where they
# cannot be built, VARNELT_FUZZ_SKIP (cmake/skips.cmake) says why.
if(VARNELT_FUZZ_SKIP)
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
