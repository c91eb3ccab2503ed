# The Windows executable: no C run-time, a custom entry point, three system libraries.
enable_language(RC)

add_executable(Varnelt ${VARNELT_PROGRAM_SOURCES} platform/windows/runtime.cpp resources/varnelt.rc)
target_include_directories(Varnelt PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(Varnelt PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
        -fno-unwind-tables -fno-stack-protector -ffunction-sections
        -Wall -Wextra>)
target_link_options(Varnelt PRIVATE
    -nostdlib -nostartfiles -Wl,-e,VarneltStart -Wl,--subsystem,console -Wl,--gc-sections -s)
target_link_libraries(Varnelt PRIVATE kernel32 user32 shlwapi)
set_target_properties(Varnelt PROPERTIES OUTPUT_NAME Varnelt SUFFIX .exe)

# Holds a file open without sharing, for the end-to-end scenario of a file in use.
add_executable(HoldFile tests/e2e/hold_file.cpp)
set_target_properties(HoldFile PROPERTIES OUTPUT_NAME HoldFile SUFFIX .exe)
target_link_options(HoldFile PRIVATE -static)

# Starts Varnelt.exe with a raw command line, as a Windows prompt hands it over.
add_executable(RawLine tests/e2e/raw_line.cpp)
set_target_properties(RawLine PROPERTIES OUTPUT_NAME RawLine SUFFIX .exe)
target_link_options(RawLine PRIVATE -static)

# The .zip holds Varnelt.exe alone (with the README), at the top of the archive.
install(TARGETS Varnelt RUNTIME DESTINATION .)
install(FILES README.md DESTINATION .)
set(CPACK_PACKAGE_NAME Varnelt)
set(CPACK_PACKAGE_FILE_NAME varnelt-${PROJECT_VERSION}-windows-x64)
set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
