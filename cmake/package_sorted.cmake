# Run by CPack (CPACK_POST_BUILD_SCRIPTS) once the .tar.gz or the .zip is made: packed again, its
# members in name order rather than in the order the file system lists them (which differs from one
# file system to the next). The .tar.gz with GNU tar, owned by root, folders 0755 whatever the
# umask, dated SOURCE_DATE_EPOCH, and gzip -n writes no time; the .zip by zip_sorted.py, in UTC and
# without the builder's uid and gid.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ENV{SOURCE_DATE_EPOCH} ${CPACK_VARNELT_EPOCH}) # cpack run by hand: the one rule still
endif()
if(CPACK_GENERATOR STREQUAL "ZIP")
    find_program(python NAMES python3)
    if(NOT python)
        message(WARNING "python3 not found: the .zip keeps the builder's time zone, uid and gid")
        return()
    endif()
    foreach(package ${CPACK_PACKAGE_FILES})
        execute_process(COMMAND ${python} ${CMAKE_CURRENT_LIST_DIR}/zip_sorted.py ${package}
            $ENV{SOURCE_DATE_EPOCH} RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "zip_sorted.py ${package} failed")
        endif()
        file(RENAME ${package}.sorted ${package})
    endforeach()
    return()
endif()
if(NOT CPACK_GENERATOR STREQUAL "TGZ")
    return()
endif()
set(date --mtime=@$ENV{SOURCE_DATE_EPOCH} --clamp-mtime)
foreach(package ${CPACK_PACKAGE_FILES})
    get_filename_component(top ${package} NAME)
    string(REGEX REPLACE "\\.tar\\.gz$" "" top ${top})
    execute_process(
        COMMAND tar --create --sort=name --owner=0 --group=0 --numeric-owner --format=gnu ${date}
                --mode=u=rwX,go=rX
                --directory=${CPACK_TOPLEVEL_DIRECTORY} ${top}
        COMMAND gzip -9n
        OUTPUT_FILE ${package}.sorted
        RESULTS_VARIABLE results)
    if(NOT results STREQUAL "0;0")
        message(FATAL_ERROR "tar | gzip -9n of ${top} failed: ${results}")
    endif()
    file(RENAME ${package}.sorted ${package})
endforeach()
