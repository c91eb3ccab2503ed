# The sub-builds, each a nested build of its own in a folder of this build: Varnelt.exe
# (mingw-w64) and the Linux tool for arm64 (g++-aarch64-linux-gnu) here, the sanitizer build in
# sanitize.cmake and the fuzz targets in fuzz.cmake, all made by varnelt_subbuild below. Off by
# default: a plain build makes the Linux tool and its tests, no more. ./test and the "full" preset
# turn them on (VARNELT_SUBBUILDS, CMakeLists.txt). Each that is off or cannot be built here has
# its reason in cmake/skips.cmake, which its tests show as skipped.
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

# Where mingw-w64 is installed, Varnelt.exe and the test helpers in build/windows.
if(NOT VARNELT_WINDOWS_SKIP)
    varnelt_subbuild(varnelt_windows ${PROJECT_SOURCE_DIR} windows
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
            -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=${BUILD_TESTING}
        CMAKE_CACHE_ARGS ${VARNELT_ABOUT_CACHE_ARGS})
    set(VARNELT_WINDOWS_EXE ${PROJECT_BINARY_DIR}/windows/Varnelt.exe)
    set(VARNELT_HOLDFILE_EXE ${PROJECT_BINARY_DIR}/windows/HoldFile.exe)
    set(VARNELT_RAWLINE_EXE ${PROJECT_BINARY_DIR}/windows/RawLine.exe)
endif()

# Where the arm64 cross compiler is installed, the Linux tool for arm64 in build/arm64: the same
# sources and link as this build's, without tests (they run the tool from here, under qemu).
if(NOT VARNELT_ARM64_SKIP)
    varnelt_subbuild(varnelt_arm64 ${PROJECT_SOURCE_DIR} arm64
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/aarch64-linux-gnu.cmake
            -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DBUILD_TESTING=OFF -DVARNELT_HARDENING=${VARNELT_HARDENING}
            -DVARNELT_LINK=${VARNELT_LINK}
        CMAKE_CACHE_ARGS ${VARNELT_ABOUT_CACHE_ARGS})
    set(VARNELT_ARM64_TOOL ${PROJECT_BINARY_DIR}/arm64/varnelt)
endif()
