# Included by the Windows build: the helpers of the end-to-end scenarios under Wine, built beside
# Varnelt.exe with the C run-time (they are test tools, not the product).

# Holds a file open without sharing, for the end-to-end scenario of a file in use.
add_executable(HoldFile ${CMAKE_CURRENT_LIST_DIR}/hold_file.cpp)
set_target_properties(HoldFile PROPERTIES OUTPUT_NAME HoldFile SUFFIX .exe)
target_link_options(HoldFile PRIVATE -static)

# Starts Varnelt.exe with a raw command line, as a Windows prompt hands it over.
add_executable(RawLine ${CMAKE_CURRENT_LIST_DIR}/raw_line.cpp)
set_target_properties(RawLine PROPERTIES OUTPUT_NAME RawLine SUFFIX .exe)
target_link_options(RawLine PRIVATE -static)

# The warnings and file-name maps every build has (cmake/flags.cmake).
target_link_libraries(HoldFile PRIVATE varnelt_flags)
target_link_libraries(RawLine PRIVATE varnelt_flags)
