# What this machine has for the parts beyond the Linux tool, looked up once, and for each part that
# cannot be built or run here, the one reason why: VARNELT_<PART>_SKIP, empty where it can. Included
# once, before every file that builds a part or registers its tests; those only read the reasons,
# so the order they are included in does not matter, and a test that cannot run here shows as
# skipped with its reason (varnelt_skipped_test, cmake/testing.cmake). The tool builds without any
# of it.
set(VARNELT_NO_SUBBUILDS
    "the sub-builds are off: ./test, cmake --preset full or cmake -DVARNELT_SUBBUILDS=ON turns them on")

# The program found under one of NAMES in VARIABLE; REASON in REASON_VARIABLE where there is none.
function(varnelt_need variable reason_variable names reason)
    find_program(${variable} NAMES ${names})
    if(${variable})
        set(reason "")
    endif()
    set(${reason_variable} "${reason}" PARENT_SCOPE)
endfunction()

# The tests' library.
find_package(GTest QUIET)
set(VARNELT_GTEST_SKIP "")
if(NOT GTest_FOUND)
    set(VARNELT_GTEST_SKIP "GoogleTest is not installed (Debian package libgtest-dev)")
endif()

# The sub-builds (cmake/subbuilds.cmake, sanitize.cmake, fuzz.cmake) and the tools that run them.
if(NOT VARNELT_SUBBUILDS)
    foreach(part WINDOWS ARM64 SANITIZE FUZZ)
        set(VARNELT_${part}_SKIP "${VARNELT_NO_SUBBUILDS}")
    endforeach()
else()
    varnelt_need(VARNELT_MINGW_CXX VARNELT_WINDOWS_SKIP x86_64-w64-mingw32-g++
        "Varnelt.exe is not built: mingw-w64 is not installed (Debian packages g++-mingw-w64-x86-64, binutils-mingw-w64-x86-64)")
    varnelt_need(VARNELT_AARCH64_CXX VARNELT_ARM64_SKIP aarch64-linux-gnu-g++
        "the arm64 tool is not built: its cross compiler is not installed (Debian package g++-aarch64-linux-gnu)")
    set(VARNELT_SANITIZE_SKIP "${VARNELT_GTEST_SKIP}")
    varnelt_need(VARNELT_CLANG_CXX VARNELT_FUZZ_SKIP "clang++;clang++-14"
        "clang++ is not installed (Debian packages clang, libclang-rt-dev)")
    # clang alone is not enough: the fuzzer run-time comes in a package of its own.
    if(VARNELT_CLANG_CXX AND NOT DEFINED CACHE{VARNELT_LIBFUZZER_WORKS})
        set(probe ${PROJECT_BINARY_DIR}/CMakeFiles/libfuzzer_probe)
        file(WRITE ${probe}.cpp
            "#include <cstddef>\n#include <cstdint>\n"
            "extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }\n")
        execute_process(
            COMMAND ${VARNELT_CLANG_CXX} -fsanitize=fuzzer,address,undefined ${probe}.cpp -o ${probe}
            RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
        if(failed)
            set(VARNELT_LIBFUZZER_WORKS OFF CACHE INTERNAL "clang++ links libFuzzer programs")
        else()
            set(VARNELT_LIBFUZZER_WORKS ON CACHE INTERNAL "clang++ links libFuzzer programs")
        endif()
    endif()
    if(VARNELT_CLANG_CXX AND NOT VARNELT_LIBFUZZER_WORKS)
        set(VARNELT_FUZZ_SKIP "${VARNELT_CLANG_CXX} cannot link libFuzzer programs (Debian package libclang-rt-dev)")
    endif()
endif()
set(VARNELT_WINE_SKIP "${VARNELT_WINDOWS_SKIP}")
if(NOT VARNELT_WINE_SKIP)
    varnelt_need(VARNELT_WINE VARNELT_WINE_SKIP wine "Wine is not installed (Debian packages wine, wine64)")
endif()
set(VARNELT_ARM64_RUN_SKIP "${VARNELT_ARM64_SKIP}")
if(NOT VARNELT_ARM64_RUN_SKIP)
    varnelt_need(VARNELT_QEMU_AARCH64 VARNELT_ARM64_RUN_SKIP qemu-aarch64-static
        "qemu-aarch64-static is not installed (Debian package qemu-user-static)")
endif()

# The packages and their checks (cmake/install.cmake, packages.cmake, tests/install).
varnelt_need(VARNELT_RPMBUILD VARNELT_RPM_SKIP rpmbuild "rpmbuild is not installed (Debian package rpm): no .rpm is made")
varnelt_need(VARNELT_LINTIAN VARNELT_LINTIAN_SKIP lintian "lintian is not installed (Debian package lintian)")
varnelt_need(VARNELT_RPMLINT VARNELT_RPMLINT_SKIP rpmlint "rpmlint is not installed (Debian package rpmlint)")
varnelt_need(VARNELT_HARDENING_CHECK VARNELT_HARDENING_CHECK_SKIP hardening-check
    "hardening-check is not installed (Debian package devscripts)")
find_program(VARNELT_GIT git)
set(VARNELT_DIST_SKIP "")
if(NOT VARNELT_GIT OR NOT EXISTS ${PROJECT_SOURCE_DIR}/.git)
    set(VARNELT_DIST_SKIP "no source tarball: the sources are no git checkout, or git is not installed")
endif()

# Said once at configure, a line each; not by the sub-builds, which have none of their own.
if(NOT VARNELT_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
    if(NOT VARNELT_SUBBUILDS)
        message(STATUS "Sub-builds off (Varnelt.exe, arm64 tool, sanitizer build, fuzz targets): "
                       "-DVARNELT_SUBBUILDS=ON or --preset full turns them on")
    endif()
    foreach(part GTEST WINDOWS ARM64 FUZZ WINE ARM64_RUN RPM)
        if(VARNELT_${part}_SKIP AND NOT VARNELT_${part}_SKIP STREQUAL VARNELT_NO_SUBBUILDS)
            message(STATUS "${VARNELT_${part}_SKIP}")
        endif()
    endforeach()
endif()
