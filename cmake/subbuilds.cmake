# The sub-builds: Varnelt.exe (mingw-w64), the Linux tool for arm64 (g++-aarch64-linux-gnu), the
# sanitizer build and the fuzz targets. Off by default: a plain build makes the Linux tool and its
# tests, no more. ./test and the "full" preset turn them on. Each that is off or cannot be built
# here leaves a reason, which its tests show as skipped.
option(VARNELT_SUBBUILDS
    "Add the sub-builds: Varnelt.exe, the arm64 tool, the sanitizer build and the fuzz targets" OFF)
set(VARNELT_NO_SUBBUILDS
    "the sub-builds are off: ./test, cmake --preset full or cmake -DVARNELT_SUBBUILDS=ON turns them on")

if(NOT VARNELT_SUBBUILDS)
    # Not said by the sub-builds themselves, which are built without sub-builds of their own.
    if(NOT VARNELT_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
        message(STATUS "Sub-builds off (Varnelt.exe, arm64 tool, sanitizer build, fuzz targets): "
                       "-DVARNELT_SUBBUILDS=ON or --preset full turns them on")
    endif()
    set(VARNELT_WINDOWS_SKIP "${VARNELT_NO_SUBBUILDS}")
    set(VARNELT_ARM64_SKIP "${VARNELT_NO_SUBBUILDS}")
    return()
endif()
include(ExternalProject)

# A build of these sources for another system, with its toolchain file from cmake/, in
# <build>/<folder>; what follows the toolchain goes to its configure step.
function(varnelt_cross_build name folder toolchain)
    ExternalProject_Add(${name}
        SOURCE_DIR ${PROJECT_SOURCE_DIR}
        BINARY_DIR ${PROJECT_BINARY_DIR}/${folder}
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/${toolchain} ${ARGN}
        BUILD_ALWAYS ON
        INSTALL_COMMAND ""
        USES_TERMINAL_BUILD OFF)
endfunction()

# Where mingw-w64 is installed, Varnelt.exe and the test helpers in build/windows.
find_program(VARNELT_MINGW_CXX x86_64-w64-mingw32-g++)
if(VARNELT_MINGW_CXX)
    varnelt_cross_build(varnelt_windows windows mingw-w64-x86_64.cmake
        -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=${BUILD_TESTING}
        CMAKE_CACHE_ARGS ${VARNELT_ABOUT_CACHE_ARGS})
    set(VARNELT_WINDOWS_EXE ${PROJECT_BINARY_DIR}/windows/Varnelt.exe)
    set(VARNELT_HOLDFILE_EXE ${PROJECT_BINARY_DIR}/windows/HoldFile.exe)
    set(VARNELT_RAWLINE_EXE ${PROJECT_BINARY_DIR}/windows/RawLine.exe)
else()
    set(VARNELT_WINDOWS_SKIP
        "Varnelt.exe is not built: mingw-w64 is not installed (Debian packages g++-mingw-w64-x86-64, binutils-mingw-w64-x86-64)")
    message(STATUS "mingw-w64 not found: building the Linux tool without Varnelt.exe")
endif()

# Where the arm64 cross compiler is installed, the Linux tool for arm64 in build/arm64: the same
# sources and link as this build's, without tests (they run the tool from here, under qemu).
find_program(VARNELT_AARCH64_CXX aarch64-linux-gnu-g++)
if(VARNELT_AARCH64_CXX)
    varnelt_cross_build(varnelt_arm64 arm64 aarch64-linux-gnu.cmake
        -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DBUILD_TESTING=OFF -DVARNELT_HARDENING=${VARNELT_HARDENING}
        CMAKE_CACHE_ARGS ${VARNELT_ABOUT_CACHE_ARGS})
    set(VARNELT_ARM64_TOOL ${PROJECT_BINARY_DIR}/arm64/varnelt)
else()
    set(VARNELT_ARM64_SKIP
        "the arm64 tool is not built: its cross compiler is not installed (Debian package g++-aarch64-linux-gnu)")
    message(STATUS "g++-aarch64-linux-gnu not found: building the Linux tool without its arm64 build")
endif()
