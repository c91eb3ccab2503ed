# How a test that cannot run here shows: as a skipped test in ctest's summary, with the reason
# cmake/skips.cmake found, never as a test that is simply not there.

# A test that only says why it cannot run here; ctest counts it as skipped.
function(varnelt_skipped_test name reason)
    add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "skipped: ${reason}")
    set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "^skipped: ")
endfunction()
