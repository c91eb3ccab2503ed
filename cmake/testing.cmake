# What the tests need beyond CMake and a compiler, looked up once, and how a test that cannot run
# here shows: as a skipped test in ctest's summary, never as a test that is simply not there.
# The tool itself builds without any of it.

find_package(GTest QUIET)
if(NOT GTest_FOUND)
    message(STATUS "GoogleTest not found (Debian package libgtest-dev; ./test installs it): the "
                   "unit, end-to-end and sanitizer tests are skipped")
endif()

# A test that only says why it cannot run here; ctest counts it as skipped.
function(varnelt_skipped_test name reason)
    add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "skipped: ${reason}")
    set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "^skipped: ")
endfunction()

set(VARNELT_NO_GTEST "GoogleTest is not installed (Debian package libgtest-dev)")
