# The sub-builds, each a nested build of its own in a folder of this build: Varnelt.exe
# (mingw-w64) and the Linux tool for arm64 (g++-aarch64-linux-gnu) here, the sanitizer build in
# sanitize.cmake and the fuzz targets in fuzz.cmake, all made by varnelt_subbuild below. Off by
# default: a plain build makes the Linux tool and its tests, no more. ./test and the "full" preset
# turn them on. Each that is off or cannot be built here leaves a reason, which its tests show as
# skipped.
option(VARNELT_SUBBUILDS
    "Add the sub-builds: Varnelt.exe, the arm64 tool, the sanitizer build and the fuzz targets" OFF)
set(VARNELT_NO_SUBBUILDS
    "the sub-builds are off: ./test, cmake --preset full or cmake -DVARNELT_SUBBUILDS=ON turns them on")

# A nested build of the project in SOURCE (a folder of this repository) in <build>/<folder>, built
# again with every build of this one and installed nowhere. The rest goes to ExternalProject_Add:
# CMAKE_ARGS, CMAKE_CACHE_ARGS, LIST_SEPARATOR for its configure step.
include(ExternalProject)
function(varnelt_subbuild name source folder)
    ExternalProject_Add(${name}
        SOURCE_DIR ${source}
        BINARY_DIR ${PROJECT_BINARY_DIR}/${folder}
        BUILD_ALWAYS ON
        INSTALL_COMMAND ""
        USES_TERMINAL_BUILD OFF
        ${ARGN})
endfunction()

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

# Where mingw-w64 is installed, Varnelt.exe and the test helpers in build/windows.
find_program(VARNELT_MINGW_CXX x86_64-w64-mingw32-g++)
if(VARNELT_MINGW_CXX)
    varnelt_subbuild(varnelt_windows ${PROJECT_SOURCE_DIR} windows
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
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
    varnelt_subbuild(varnelt_arm64 ${PROJECT_SOURCE_DIR} arm64
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/aarch64-linux-gnu.cmake
            -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DBUILD_TESTING=OFF -DVARNELT_HARDENING=${VARNELT_HARDENING}
            -DVARNELT_LINK=${VARNELT_LINK}
        CMAKE_CACHE_ARGS ${VARNELT_ABOUT_CACHE_ARGS})
    set(VARNELT_ARM64_TOOL ${PROJECT_BINARY_DIR}/arm64/varnelt)
else()
    set(VARNELT_ARM64_SKIP
        "the arm64 tool is not built: its cross compiler is not installed (Debian package g++-aarch64-linux-gnu)")
    message(STATUS "g++-aarch64-linux-gnu not found: building the Linux tool without its arm64 build")
endif()
