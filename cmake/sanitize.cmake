# AddressSanitizer and UndefinedBehaviorSanitizer. VARNELT_SANITIZE builds everything with both
# (the "sanitize" preset does); any finding ends the process. The main build also builds the
# same sources that way in <build>/sanitize and runs that build's tests as one test of its own.
option(VARNELT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VARNELT_SUBBUILDS
    "Add the sub-builds: Varnelt.exe, the sanitizer build and the fuzz targets" ON)

# A finding aborts, so a child process that hits one cannot pass for a plain exit code 1.
set(VARNELT_SANITIZER_ENVIRONMENT
    "ASAN_OPTIONS=abort_on_error=1:detect_leaks=1"
    "UBSAN_OPTIONS=abort_on_error=1:print_stacktrace=1")

if(VARNELT_SANITIZE)
    # As flags rather than directory options: they reach the targets defined before this point.
    string(APPEND CMAKE_CXX_FLAGS
        " -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer")
endif()

if(VARNELT_SUBBUILDS AND BUILD_TESTING)
    include(ExternalProject)
    ExternalProject_Add(varnelt_sanitize
        SOURCE_DIR ${PROJECT_SOURCE_DIR}
        BINARY_DIR ${PROJECT_BINARY_DIR}/sanitize
        CMAKE_ARGS
            -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
            -DVARNELT_SANITIZE=ON
            -DVARNELT_SUBBUILDS=OFF
        BUILD_ALWAYS ON
        INSTALL_COMMAND ""
        USES_TERMINAL_BUILD OFF)
    add_test(NAME sanitize
        COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${PROJECT_BINARY_DIR}/sanitize --output-on-failure)
    set_tests_properties(sanitize PROPERTIES
        ENVIRONMENT "${VARNELT_SANITIZER_ENVIRONMENT}" TIMEOUT 1200)
endif()
