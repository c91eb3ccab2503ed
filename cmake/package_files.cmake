# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) once a package's files are staged. In the .deb and the .rpm
# manual pages are compressed with gzip -9n (no name or time stamp inside), as Debian's policy and
# rpmbuild's own brp-compress have it; the .deb alone gets what Debian's policy asks beyond that: a
# copyright file and a changelog in its documentation folder, and lintian an override where it
# misreads the program.
if(NOT CPACK_GENERATOR MATCHES "^(DEB|RPM)$")
    return()
endif()
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/share/doc/${CPACK_PACKAGE_NAME})

function(compress file)
    execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "gzip -9n ${file} failed")
    endif()
endfunction()

file(GLOB pages ${root}/share/man/man*/*)
foreach(page ${pages})
    compress(${page})
endforeach()
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()

# Dated when the package is made, or at SOURCE_DATE_EPOCH for a reproducible package.
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP year "%Y" UTC)
file(WRITE ${doc}/changelog
    "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
    "  * Varnelt ${CPACK_PACKAGE_VERSION}.\n\n"
    " -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}\n")
compress(${doc}/changelog)

file(WRITE ${doc}/copyright
    "Varnelt ${CPACK_PACKAGE_VERSION}\n\n"
    "Copyright (C) ${year} the Varnelt developers\n\n"
    "No license for Varnelt has been published. ${CPACK_RPM_PACKAGE_LICENSE} by its developers.\n")

# Where lintian misreads the program (it takes any position-independent ELF file for a shared
# library), an override with the reason, as Debian's policy provides.
file(WRITE ${root}/share/lintian/overrides/${CPACK_PACKAGE_NAME}
    "# A static-pie program, not a shared library: it needs no libc and has no SONAME.\n"
    "${CPACK_PACKAGE_NAME}: shared-library-lacks-prerequisites [usr/bin/varnelt]\n")
