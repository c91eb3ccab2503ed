# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) once the package's files are staged: for the .deb alone,
# what Debian's policy asks of a package beyond them. Manual pages and the changelog are
# compressed with gzip -9n (no name or time stamp inside), and the package's documentation
# folder gets a copyright file and a changelog.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
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
    "No license for Varnelt has been published: all rights are reserved by its developers.\n")
