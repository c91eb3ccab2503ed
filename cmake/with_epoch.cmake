# cmake -DEPOCH=SECONDS -P with_epoch.cmake -- COMMAND...: runs COMMAND as every command that makes
# packages runs, so that the same sources give the same bytes whoever builds them, wherever and
# whenever: SOURCE_DATE_EPOCH is the caller's where it has one, otherwise EPOCH (the newest NEWS
# entry's day, 00:00 UTC: the same in a checkout, in the source tarball and in a distribution's
# build, whose changelog is made from NEWS), the time zone is UTC, and the umask 022 (CPack gives
# the members of a .deb the modes of the files it writes). The packed files' own modes are set
# explicitly where they are staged (package_files.cmake).
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ENV{SOURCE_DATE_EPOCH} ${EPOCH})
endif()
set(ENV{TZ} UTC)
set(command "")
set(reading OFF)
foreach(i RANGE ${CMAKE_ARGC})
    if(reading AND DEFINED CMAKE_ARGV${i})
        list(APPEND command "${CMAKE_ARGV${i}}")
    elseif(CMAKE_ARGV${i} STREQUAL "--")
        set(reading ON)
    endif()
endforeach()
execute_process(COMMAND sh -c "umask 022 && exec \"\$@\"" sh ${command} RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${command}: ${failed}")
endif()
