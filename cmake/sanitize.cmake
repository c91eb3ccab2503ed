# AddressSanitizer and UndefinedBehaviorSanitizer. VARNELT_SANITIZE builds everything with both
# (the "sanitize" preset does); any finding ends the process. The main build also builds the
# same sources with that preset in <build>/sanitize; tests/ runs that build's tests as one test.
# VARNELT_SANITIZE is declared in CMakeLists.txt, before the flags that read it.

if(VARNELT_SANITIZE)
    # On every target that links varnelt_flags, as the other flags are (cmake/flags.cmake).
    set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(varnelt_flags INTERFACE ${sanitizers})
    target_link_options(varnelt_flags INTERFACE ${sanitizers})
    # Under these options a finding aborts, so that a child process that hits one cannot pass for
    # a plain exit code 1. Set where ctest reads this build's tests, they hold however the tests
    # are run: "ctest --preset sanitize", plain ctest, or the main build's sanitize test.
    file(WRITE ${PROJECT_BINARY_DIR}/sanitizer_options.cmake
        "set(ENV{ASAN_OPTIONS} \"abort_on_error=1:detect_leaks=1\")\n"
        "set(ENV{UBSAN_OPTIONS} \"abort_on_error=1:print_stacktrace=1\")\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${PROJECT_BINARY_DIR}/sanitizer_options.cmake)
endif()

if(VARNELT_SANITIZE OR NOT BUILD_TESTING)
    return() # no sanitizer build within the sanitizer build
endif()
if(VARNELT_SANITIZE_SKIP)
    return()
endif()
# The README's "cmake --preset sanitize && cmake --build --preset sanitize", in a folder of this
# build: the preset sets the cache (CMakePresets.json).
varnelt_subbuild(varnelt_sanitize ${PROJECT_SOURCE_DIR} sanitize
    CMAKE_ARGS --preset sanitize -B ${PROJECT_BINARY_DIR}/sanitize -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER})
set(VARNELT_SANITIZE_BUILD ${PROJECT_BINARY_DIR}/sanitize)
