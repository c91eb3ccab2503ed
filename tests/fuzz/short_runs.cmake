# Included by tests/: each fuzz target (built by cmake/fuzz.cmake in <build>/fuzz) run briefly
# from the seeds; what it finds is kept in fuzz/found and seeds the next run. Command lines are
# tried up to 8 KiB, well past the 1280 bytes the program holds.
if(VARNELT_FUZZ_SKIP)
    foreach(target split size)
        varnelt_skipped_test(fuzz_${target} "${VARNELT_FUZZ_SKIP}")
    endforeach()
    return()
endif()
set(split_max_len -max_len=8192)
foreach(target split size)
    set(found ${VARNELT_FUZZ_BUILD}/found/${target})
    file(MAKE_DIRECTORY ${found})
    add_test(NAME fuzz_${target}
        COMMAND ${VARNELT_FUZZ_BUILD}/${target}_fuzz -runs=20000 -seed=1 ${${target}_max_len}
            -artifact_prefix=${VARNELT_FUZZ_BUILD}/ ${found} ${CMAKE_CURRENT_LIST_DIR}/corpus/${target})
    set_tests_properties(fuzz_${target} PROPERTIES TIMEOUT 120)
endforeach()
