# cmake -DSOURCE=DIR -P with_epoch.cmake -- COMMAND...: runs COMMAND with SOURCE_DATE_EPOCH set, so
# that the packages it makes are dated alike from build to build: the caller's value where it has
# one, otherwise the time of the last commit of the sources in DIR (where they are a git
# checkout; elsewhere the packages are dated now).
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git -C ${SOURCE} log -1 --format=%ct
        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed AND epoch MATCHES "^[0-9]+$")
        set(ENV{SOURCE_DATE_EPOCH} ${epoch})
    endif()
endif()
set(command "")
set(reading OFF)
foreach(i RANGE ${CMAKE_ARGC})
    if(reading AND DEFINED CMAKE_ARGV${i})
        list(APPEND command "${CMAKE_ARGV${i}}")
    elseif(CMAKE_ARGV${i} STREQUAL "--")
        set(reading ON)
    endif()
endforeach()
execute_process(COMMAND ${command} RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${command}: ${failed}")
endif()
