# Run by CPack (CPACK_POST_BUILD_SCRIPTS) once the .tar.gz is made: packed again with GNU tar, its
# members in name order rather than in the order the file system lists them (which differs from one
# file system to the next), owned by root and dated SOURCE_DATE_EPOCH, and gzip -n writes no time.
if(NOT CPACK_GENERATOR STREQUAL "TGZ")
    return()
endif()
set(date "")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(date --mtime=@$ENV{SOURCE_DATE_EPOCH} --clamp-mtime)
endif()
foreach(package ${CPACK_PACKAGE_FILES})
    get_filename_component(top ${package} NAME)
    string(REGEX REPLACE "\\.tar\\.gz$" "" top ${top})
    execute_process(
        COMMAND tar --create --sort=name --owner=0 --group=0 --numeric-owner --format=gnu ${date}
                --directory=${CPACK_TOPLEVEL_DIRECTORY} ${top}
        COMMAND gzip -9n
        OUTPUT_FILE ${package}.sorted
        RESULTS_VARIABLE results)
    if(NOT results STREQUAL "0;0")
        message(FATAL_ERROR "tar | gzip -9n of ${top} failed: ${results}")
    endif()
    file(RENAME ${package}.sorted ${package})
endforeach()
