# The .deb's Built-Using field: the Debian source packages of the libraries linked statically into
# the tool (the C library, the C++ and GCC run-times), found from the files this compiler links,
# as Debian's policy asks of a statically linked package. Left out where dpkg does not know them.
set(VARNELT_BUILT_USING "")
find_program(VARNELT_DPKG_QUERY dpkg-query)
if(VARNELT_DPKG_QUERY)
    set(sources "")
    foreach(library libc.a libstdc++.a libgcc.a libgcc_eh.a)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${library}
            OUTPUT_VARIABLE file OUTPUT_STRIP_TRAILING_WHITESPACE)
        file(REAL_PATH "${file}" file)
        execute_process(COMMAND ${VARNELT_DPKG_QUERY} --search ${file}
            OUTPUT_VARIABLE owner RESULT_VARIABLE unknown ERROR_QUIET)
        if(unknown OR NOT owner MATCHES "^([^:,]+(:[a-z0-9]+)?): ")
            continue()
        endif()
        execute_process(COMMAND ${VARNELT_DPKG_QUERY} --show
                "--showformat=\${source:Package} (= \${source:Version})" ${CMAKE_MATCH_1}
            OUTPUT_VARIABLE source)
        list(APPEND sources "${source}")
    endforeach()
    list(REMOVE_DUPLICATES sources)
    list(JOIN sources ", " VARNELT_BUILT_USING)
endif()
# CPack has no setting for the field: it follows the priority, on a line of its own.
if(VARNELT_BUILT_USING)
    string(APPEND CPACK_DEBIAN_PACKAGE_PRIORITY "\nBuilt-Using: ${VARNELT_BUILT_USING}")
endif()
