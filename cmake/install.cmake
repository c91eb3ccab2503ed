# Installation of the Linux tool and its manual page; `cpack` makes the .tar.gz.
include(GNUInstallDirs)
install(TARGETS varnelt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES doc/varnelt.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME varnelt)
set(CPACK_PACKAGE_VENDOR Varnelt)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sets the size of a file")
set(CPACK_PACKAGE_FILE_NAME varnelt-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_GENERATOR TGZ)
include(CPack)

# Both packages in one step: this build's .tar.gz and the Windows build's .zip.
if(VARNELT_WINDOWS_EXE)
    add_custom_target(packages
        COMMAND ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake
        COMMAND ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/windows/CPackConfig.cmake
        WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
        DEPENDS varnelt varnelt_windows
        COMMENT "Packing varnelt (.tar.gz) and Varnelt.exe (.zip)")
else()
    add_custom_target(packages
        COMMAND ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake
        WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
        DEPENDS varnelt)
endif()
