# Installation of the Linux tool and its manual page; `cpack` makes the .tar.gz and the .deb.
include(GNUInstallDirs)
install(TARGETS varnelt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES doc/varnelt.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The documentation folder is named after the package, as Debian's policy wants it.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/varnelt)

set(VARNELT_MAINTAINER "Varnelt developers <varnelt@example.org>"
    CACHE STRING "Name and address in the Maintainer field of the .deb")

set(CPACK_PACKAGE_NAME varnelt)
set(CPACK_PACKAGE_VENDOR Varnelt)
set(CPACK_PACKAGE_CONTACT "${VARNELT_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sets the size of a file")
# The long description of the .deb; Debian wants its lines under 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Varnelt cuts an existing file short or extends it to an exact byte count,\n"
    "optionally marking it sparse first, and reports each step as a console\n"
    "transcript. The size is given in bytes, in hexadecimal or with a unit such\n"
    "as 512M or 1Gi; a mistyped size is refused before the file is looked at.\n"
    "This is the Linux build of the Windows tool Varnelt.exe.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME varnelt-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_GENERATOR TGZ DEB)
set(CPACK_STRIP_FILES ON)

# The .deb: build/varnelt_<version>_<architecture>.deb. The binary is linked statically, so the
# package depends on nothing.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Debian's name for the processor, known at configure time (CPack would ask dpkg when packing).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
else()
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VARNELT_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
# What Debian's policy asks of every package, added to the .deb alone: the manual page compressed,
# a copyright file and a changelog.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_files.cmake)
include(CPack)

# Both packages in one step: this build's .tar.gz and .deb and the Windows build's .zip.
if(VARNELT_WINDOWS_EXE)
    add_custom_target(packages
        COMMAND ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake
        COMMAND ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/windows/CPackConfig.cmake
        WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
        DEPENDS varnelt varnelt_windows
        COMMENT "Packing varnelt (.tar.gz, .deb) and Varnelt.exe (.zip)")
else()
    add_custom_target(packages
        COMMAND ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake
        WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
        DEPENDS varnelt
        COMMENT "Packing varnelt (.tar.gz, .deb)")
endif()
