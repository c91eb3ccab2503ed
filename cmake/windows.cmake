# The Windows executable: no C run-time, a custom entry point, three system libraries.
enable_language(RC)

# The version record takes the project's version and licence, and the company where one is set.
set(VARNELT_RC_COMPANY "")
if(VARNELT_COMPANY)
    string(REPLACE "\"" "\"\"" company "${VARNELT_COMPANY}")
    set(VARNELT_RC_COMPANY "            VALUE \"CompanyName\", \"${company}\"\n")
endif()
configure_file(resources/varnelt.rc.in ${PROJECT_BINARY_DIR}/varnelt.rc @ONLY)
add_executable(Varnelt ${VARNELT_PROGRAM_SOURCES} platform/windows/runtime.cpp
    ${PROJECT_BINARY_DIR}/varnelt.rc)
target_include_directories(Varnelt PRIVATE ${PROJECT_SOURCE_DIR})
# Sized for the size budget (tests/windows/check_exe.cmake holds it): -Oz, no padding between functions and jumps, and two passes that
# trade bytes for speed the tool does not need (one function section per function would pad each
# to 16 bytes).
target_compile_options(Varnelt PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Oz -falign-functions=1 -falign-jumps=1 -falign-loops=1 -falign-labels=1
        -fno-if-conversion -fno-expensive-optimizations
        -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-stack-protector>)
# The warnings and file-name maps every build has (cmake/flags.cmake).
target_link_libraries(Varnelt PRIVATE varnelt_flags)
# No link time in the header: the same sources give the same bytes. The link map, beside it, names
# what went in, for the check that no test hook did.
target_link_options(Varnelt PRIVATE
    -nostdlib -nostartfiles -Wl,-e,VarneltStart -Wl,--subsystem,console -Wl,--gc-sections -s
    -Wl,--no-insert-timestamp -Wl,-Map=$<TARGET_FILE_DIR:Varnelt>/Varnelt.map)
target_link_libraries(Varnelt PRIVATE kernel32 user32 shlwapi)
set_target_properties(Varnelt PROPERTIES OUTPUT_NAME Varnelt SUFFIX .exe)

# The .zip holds Varnelt.exe with a short README.txt for Windows users (CR LF, Varnelt's licence,
# where the full documentation is), at the top of the archive.
install(TARGETS Varnelt RUNTIME DESTINATION .)
set(VARNELT_README_CONTACT "")
foreach(line "Home page: ${VARNELT_HOMEPAGE}" "Bugs: ${VARNELT_BUG_REPORT}")
    if(NOT line MATCHES ": $")
        string(APPEND VARNELT_README_CONTACT "${line}\n")
    endif()
endforeach()
configure_file(resources/README.txt.in ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_files.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_sorted.cmake)
set(CPACK_VARNELT_EPOCH ${VARNELT_SOURCE_DATE_EPOCH})
set(CPACK_PACKAGE_NAME Varnelt)
set(CPACK_PACKAGE_FILE_NAME varnelt-${PROJECT_VERSION}-windows-x64)
set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
