# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) once a package's files are staged. Every staged file and
# folder gets its mode explicitly (programs 0755, other files 0644, folders 0755), whatever the
# builder's umask, and is dated SOURCE_DATE_EPOCH where that is set, so that the archives hold the
# same modes and times from build to build. In the .deb and the .rpm manual pages are compressed with gzip -9n (no name or time stamp
# inside), as Debian's policy and rpmbuild's own brp-compress have it; the .deb alone gets what
# Debian's policy asks beyond that: a changelog (made from NEWS) in its documentation folder, and
# lintian an override where it misreads the program.
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/share/doc/${CPACK_PACKAGE_NAME})

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${ARGN} failed")
    endif()
endfunction()

if(CPACK_GENERATOR MATCHES "^(DEB|RPM)$")
    file(GLOB pages ${root}/share/man/man*/*)
    foreach(page ${pages})
        run(gzip -9nf ${page})
    endforeach()
endif()
if(CPACK_GENERATOR STREQUAL "DEB")
    file(COPY ${CPACK_VARNELT_DOCS}/changelog DESTINATION ${doc})
    run(gzip -9nf ${doc}/changelog)
    # Where lintian misreads the static program (it takes any position-independent ELF file for a shared
    # library), an override with the reason, as Debian's policy provides.
    if(CPACK_VARNELT_LINK STREQUAL "static")
        file(WRITE ${root}/share/lintian/overrides/${CPACK_PACKAGE_NAME}
            "# A static-pie program, not a shared library: it needs no libc and has no SONAME.\n"
            "${CPACK_PACKAGE_NAME}: shared-library-lacks-prerequisites [usr/bin/varnelt]\n")
    endif()
endif()
set(staged ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
run(find ${staged} -type d -exec chmod 0755 {} +)
run(find ${staged} -type f -exec chmod 0644 {} +)
run(find ${staged} -type f "(" -path "*/bin/*" -o -name "*.exe" ")" -exec chmod 0755 {} +)
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ENV{SOURCE_DATE_EPOCH} ${CPACK_VARNELT_EPOCH}) # cpack run by hand: the one rule still
endif()
run(find ${staged} -exec touch --no-dereference --date=@$ENV{SOURCE_DATE_EPOCH} {} +)
