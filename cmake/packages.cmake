# The packages step: every package this build and its sub-builds make, in the build folder, and
# SHA256SUMS beside them. VARNELT_PACKAGES (from install.cmake on) lists their file names. Each
# CPack run dates what it packs by one SOURCE_DATE_EPOCH rule (with_epoch.cmake).
set(cpack ${CMAKE_COMMAND} -DEPOCH=${VARNELT_SOURCE_DATE_EPOCH} -P ${CMAKE_CURRENT_LIST_DIR}/with_epoch.cmake
    -- ${CMAKE_CPACK_COMMAND})
set(packing COMMAND ${cpack} --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake)
set(packed varnelt)

# The source tarball, which a distribution builds from: the files git tracks, in a git checkout;
# from an unpacked source tarball there is no list of tracked files to make one from.
set(tarball varnelt-${PROJECT_VERSION})
set(source_tarball ${CMAKE_COMMAND} -DEPOCH=${VARNELT_SOURCE_DATE_EPOCH} -P ${CMAKE_CURRENT_LIST_DIR}/with_epoch.cmake
    -- ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DNAME=${tarball} -P ${CMAKE_CURRENT_LIST_DIR}/source_tarball.cmake)
if(NOT VARNELT_DIST_SKIP)
    add_custom_target(dist COMMAND ${source_tarball} WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
        COMMENT "Packing the tracked sources as ${tarball}.tar.gz" VERBATIM)
    list(PREPEND VARNELT_PACKAGES ${tarball}.tar.gz)
    list(APPEND packing COMMAND ${source_tarball})
else()
    add_custom_target(dist COMMAND ${CMAKE_COMMAND} -E echo "${VARNELT_DIST_SKIP}" COMMAND false VERBATIM)
endif()

if(VARNELT_WINDOWS_EXE)
    set(zip varnelt-${PROJECT_VERSION}-windows-x64.zip)
    list(APPEND VARNELT_PACKAGES ${zip})
    list(APPEND packing COMMAND ${cpack} --config ${PROJECT_BINARY_DIR}/windows/CPackConfig.cmake)
    list(APPEND packed varnelt_windows)
    # With a download address, the manifests winget and Scoop take, made from the .zip. Their
    # publisher: the company that publishes Varnelt.exe, or else the maintainer's name.
    if(VARNELT_DOWNLOAD_URL)
        set(publisher "${VARNELT_COMPANY}")
        if(NOT publisher)
            string(REGEX REPLACE " *<.*$" "" publisher "${VARNELT_MAINTAINER}")
        endif()
        list(APPEND packing COMMAND ${CMAKE_COMMAND} -DZIP=${zip} -DURL=${VARNELT_DOWNLOAD_URL}
            -DVERSION=${PROJECT_VERSION} -DPUBLISHER=${publisher} -DLICENSE=${VARNELT_LICENSE}
            -DHOMEPAGE=${VARNELT_HOMEPAGE} -P ${CMAKE_CURRENT_LIST_DIR}/windows_manifests.cmake)
    endif()
endif()
# The arm64 tool as a .deb and an .rpm; the .tar.gz stays the x86-64 one's.
if(VARNELT_ARM64_TOOL)
    varnelt_package_names(aarch64 architecture deb rpm)
    list(APPEND VARNELT_PACKAGES ${deb})
    set(generators DEB)
    if(NOT VARNELT_RPM_SKIP)
        list(APPEND VARNELT_PACKAGES ${rpm})
        list(APPEND generators RPM)
    endif()
    foreach(generator ${generators})
        list(APPEND packing COMMAND ${cpack} -G ${generator} --config ${PROJECT_BINARY_DIR}/arm64/CPackConfig.cmake)
    endforeach()
    list(APPEND packed varnelt_arm64)
endif()

list(JOIN VARNELT_PACKAGES ", " names)
add_custom_target(packages ${packing}
    COMMAND ${CMAKE_COMMAND} -P ${CMAKE_CURRENT_LIST_DIR}/checksums.cmake -- ${VARNELT_PACKAGES}
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    DEPENDS ${packed}
    COMMENT "Packing ${names} and their SHA256SUMS"
    VERBATIM)
