# AddressSanitizer and UndefinedBehaviorSanitizer. VARNELT_SANITIZE builds everything with both
# (the "sanitize" preset does); any finding ends the process. The main build also builds the
# same sources with that preset in <build>/sanitize and runs that build's tests, with the preset's
# test settings, as one test of its own.
option(VARNELT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(VARNELT_SANITIZE)
    # As flags rather than directory options: they reach the targets defined before this point.
    string(APPEND CMAKE_CXX_FLAGS
        " -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer")
endif()

if(VARNELT_SANITIZE OR NOT BUILD_TESTING)
    return() # no sanitizer build within the sanitizer build
endif()
if(NOT VARNELT_SUBBUILDS)
    varnelt_skipped_test(sanitize "${VARNELT_NO_SUBBUILDS}")
    return()
endif()
if(NOT GTest_FOUND)
    varnelt_skipped_test(sanitize "${VARNELT_NO_GTEST}")
    return()
endif()
# The README's "cmake --preset sanitize && cmake --build --preset sanitize && ctest --preset
# sanitize", in a folder of this build. The preset sets the cache (CMakePresets.json) and the
# environment the tests run in: the sanitizers' options, under which a finding aborts, so that a
# child process that hits one cannot pass for a plain exit code 1.
include(ExternalProject)
ExternalProject_Add(varnelt_sanitize
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${PROJECT_BINARY_DIR}/sanitize
    CONFIGURE_COMMAND ${CMAKE_COMMAND} --preset sanitize -S <SOURCE_DIR> -B <BINARY_DIR>
        -G ${CMAKE_GENERATOR} -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD OFF)
# The test preset's environment, read from the file: "ctest --preset" would also write its logs
# into the preset's own folder in the source tree.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CMakePresets.json)
file(READ ${PROJECT_SOURCE_DIR}/CMakePresets.json presets)
string(JSON count LENGTH "${presets}" testPresets)
math(EXPR last "${count} - 1")
set(environment "")
foreach(i RANGE ${last})
    string(JSON name GET "${presets}" testPresets ${i} name)
    if(name STREQUAL "sanitize")
        string(JSON variables LENGTH "${presets}" testPresets ${i} environment)
        math(EXPR variables "${variables} - 1")
        foreach(j RANGE ${variables})
            string(JSON variable MEMBER "${presets}" testPresets ${i} environment ${j})
            string(JSON value GET "${presets}" testPresets ${i} environment ${variable})
            list(APPEND environment "${variable}=${value}")
        endforeach()
    endif()
endforeach()
add_test(NAME sanitize
    COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${PROJECT_BINARY_DIR}/sanitize --output-on-failure)
set_tests_properties(sanitize PROPERTIES ENVIRONMENT "${environment}" TIMEOUT 1200)
