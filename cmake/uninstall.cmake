# An uninstall that removes exactly what one install put in one prefix. CMake's own
# install_manifest.txt is rewritten by every install into any prefix, the packages step's staged
# ones included (which list /usr paths), so it cannot say what is in /usr/local. Instead each
# install into a real prefix (no DESTDIR, not a package's staging) writes
# <build>/uninstall/<prefix>.cmake: `cmake -P` on it removes the files that install wrote there
# and then the folders it made, where they are empty. Included by install.cmake twice: FIRST
# before the install rules (which folders are there yet), then after them.
if(VARNELT_UNINSTALL_STEP STREQUAL "first")
    install(CODE "set(varnelt_folders ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_MANDIR}/man1 ${CMAKE_INSTALL_DATAROOTDIR}/doc/varnelt)")
    install(CODE [[
        set(varnelt_made "")
        foreach(folder IN LISTS varnelt_folders)
            while(folder AND NOT folder STREQUAL ".")
                if(NOT IS_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${folder}")
                    list(APPEND varnelt_made "${CMAKE_INSTALL_PREFIX}/${folder}")
                endif()
                get_filename_component(folder "${folder}" DIRECTORY)
            endwhile()
        endforeach()
    ]])
    return()
endif()
install(CODE "set(varnelt_build \"${PROJECT_BINARY_DIR}\")")
install(CODE [[
    if("$ENV{DESTDIR}" STREQUAL "" AND NOT CMAKE_INSTALL_PREFIX MATCHES "^${varnelt_build}/_CPack_Packages/")
        file(REAL_PATH "${CMAKE_INSTALL_PREFIX}" prefix)
        set(script "${varnelt_build}/uninstall${prefix}.cmake")
        # A second install into the same prefix made no folder: the first one's still count.
        if(EXISTS "${script}")
            file(STRINGS "${script}" earlier REGEX "^execute_process")
            foreach(line IN LISTS earlier)
                string(REGEX REPLACE "^.* rmdir \"([^\"]+)\".*$" "\\1" folder "${line}")
                list(APPEND varnelt_made "${folder}")
            endforeach()
        endif()
        list(REMOVE_DUPLICATES varnelt_made)
        list(SORT varnelt_made ORDER DESCENDING) # a folder's own folders come before it
        set(text "# cmake -P ${script}: removes what `cmake --install` put in ${prefix}.\n")
        foreach(file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
            string(APPEND text "file(REMOVE \"${file}\")\n")
        endforeach()
        foreach(folder IN LISTS varnelt_made)
            string(APPEND text "execute_process(COMMAND rmdir \"${folder}\" ERROR_QUIET)\n")
        endforeach()
        file(WRITE "${script}" "${text}")
        message(STATUS "Uninstall: cmake -P ${script}")
    endif()
]])
