# Installation of the Linux tool and its manual page; `cpack` makes the .tar.gz, the .deb and the
# .rpm.
include(GNUInstallDirs)
set(VARNELT_UNINSTALL_STEP first)
include(cmake/uninstall.cmake)
install(TARGETS varnelt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
include(cmake/documents.cmake)
install(FILES ${PROJECT_BINARY_DIR}/doc/varnelt.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The documentation folder is named after the package, as Debian's policy wants it.
install(FILES README.md NEWS ${PROJECT_BINARY_DIR}/doc/copyright
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/varnelt)
set(VARNELT_UNINSTALL_STEP last)
include(cmake/uninstall.cmake)

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
set(CPACK_STRIP_FILES ON)

# For a processor as CMake calls it (x86_64, aarch64): Debian's name for it, and the file names of
# the .deb and the .rpm (rpm calls the processor as CMake does).
function(varnelt_package_names processor architecture deb rpm)
    if(processor STREQUAL "x86_64")
        set(debian amd64)
    elseif(processor STREQUAL "aarch64")
        set(debian arm64)
    else()
        set(debian ${processor})
    endif()
    set(${architecture} ${debian} PARENT_SCOPE)
    set(${deb} varnelt_${PROJECT_VERSION}_${debian}.deb PARENT_SCOPE)
    set(${rpm} varnelt-${PROJECT_VERSION}-1.${processor}.rpm PARENT_SCOPE)
endfunction()
varnelt_package_names(${CMAKE_SYSTEM_PROCESSOR}
    CPACK_DEBIAN_PACKAGE_ARCHITECTURE CPACK_DEBIAN_FILE_NAME CPACK_RPM_FILE_NAME)

# The .deb. The binary is linked statically, so the package depends on nothing.
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VARNELT_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VARNELT_HOMEPAGE}")
if(VARNELT_LINK STREQUAL "static")
    include(cmake/built_using.cmake)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
else()
    # Linked dynamically (VARNELT_LINK), it depends on the C library's package, found by dpkg.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# The manual page compressed; in the .deb also the changelog Debian's policy asks of every package,
# and lintian's overrides.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_files.cmake)
set(CPACK_VARNELT_DOCS ${PROJECT_BINARY_DIR}/doc)
set(CPACK_VARNELT_LINK ${VARNELT_LINK})
set(CPACK_VARNELT_EPOCH ${VARNELT_SOURCE_DATE_EPOCH})
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_sorted.cmake)

# The .rpm, where rpmbuild is installed: the same files, summary and description; the license
# field names, as the copyright file does, Varnelt's own licence and those of the libraries linked
# into it. Nothing is required: the binary is static.
set(CPACK_GENERATOR TGZ DEB)
if(NOT VARNELT_RPM_SKIP)
    list(APPEND CPACK_GENERATOR RPM)
endif()
set(CPACK_RPM_PACKAGE_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_RPM_PACKAGE_LICENSE
    "${VARNELT_LICENSE} AND LGPL-2.1-or-later AND GPL-3.0-or-later WITH GCC-exception-3.1")
if(VARNELT_LINK STREQUAL "dynamic")
    set(CPACK_RPM_PACKAGE_LICENSE "${VARNELT_LICENSE}")
endif()
if(VARNELT_HOMEPAGE)
    set(CPACK_RPM_PACKAGE_URL "${VARNELT_HOMEPAGE}")
endif()
set(CPACK_RPM_CHANGELOG_FILE ${PROJECT_BINARY_DIR}/doc/changelog.rpm)
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
if(VARNELT_LINK STREQUAL "static")
    set(CPACK_RPM_PACKAGE_AUTOREQPROV no)
endif()
# No build-id links under /usr/lib: they belong to debuginfo packages, and there is none. The build
# time, the files' times and the build host are SOURCE_DATE_EPOCH's and a fixed name, so that the
# same sources give the same package.
string(CONCAT CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none\n"
    "%define packager ${VARNELT_MAINTAINER}\n"
    "%define use_source_date_epoch_as_buildtime 1\n"
    "%define clamp_mtime_to_source_date_epoch 1\n"
    "%define _buildhost reproducible\n")
# Folders that the system's own packages own.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1)
set(CPACK_RPM_USER_FILELIST "%doc /usr/share/doc/varnelt/README.md" "%doc /usr/share/doc/varnelt/NEWS"
    "%license /usr/share/doc/varnelt/copyright")
# CPack installs the rules of the default component by name, so that its staged installs write
# their list to install_manifest_Unspecified.txt: build/install_manifest.txt stays the list of the
# user's own last install, not one of /usr paths.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};Varnelt;${CMAKE_INSTALL_DEFAULT_COMPONENT_NAME};/")
# The files these make (include(CPack) changes CPACK_PACKAGE_FILE_NAME).
set(VARNELT_PACKAGES ${CPACK_PACKAGE_FILE_NAME}.tar.gz ${CPACK_DEBIAN_FILE_NAME})
if(NOT VARNELT_RPM_SKIP)
    list(APPEND VARNELT_PACKAGES ${CPACK_RPM_FILE_NAME})
endif()
include(CPack)
