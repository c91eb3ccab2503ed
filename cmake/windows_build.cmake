# Where mingw-w64 is installed, the same build also cross-builds Varnelt.exe in build/windows.
find_program(VARNELT_MINGW_CXX x86_64-w64-mingw32-g++)
if(VARNELT_MINGW_CXX)
    include(ExternalProject)
    ExternalProject_Add(varnelt_windows
        SOURCE_DIR ${PROJECT_SOURCE_DIR}
        BINARY_DIR ${PROJECT_BINARY_DIR}/windows
        CMAKE_ARGS
            -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
            -DCMAKE_BUILD_TYPE=MinSizeRel
        BUILD_ALWAYS ON
        INSTALL_COMMAND ""
        USES_TERMINAL_BUILD OFF)
    set(VARNELT_WINDOWS_EXE ${PROJECT_BINARY_DIR}/windows/Varnelt.exe)
    set(VARNELT_HOLDFILE_EXE ${PROJECT_BINARY_DIR}/windows/HoldFile.exe)
    set(VARNELT_RAWLINE_EXE ${PROJECT_BINARY_DIR}/windows/RawLine.exe)
else()
    message(STATUS "mingw-w64 not found: building the Linux tool only, without Varnelt.exe")
endif()
