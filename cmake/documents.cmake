# The documents the Linux packages carry, made from their sources in the build folder: the manual
# page, the copyright file (Varnelt's licence and the libraries linked into it) and the .deb's and
# the .rpm's changelogs, whose entries come from NEWS.
set(docs ${PROJECT_BINARY_DIR}/doc)
set(VARNELT_MAN_BUGS "")
if(VARNELT_BUG_REPORT)
    set(VARNELT_MAN_BUGS ".SH REPORTING BUGS\n${VARNELT_BUG_REPORT}\n")
endif()
# In the page each sentence of the licence starts a line, as roff wants it.
string(REPLACE ". " ".\n" VARNELT_MAN_LICENSE "${VARNELT_LICENSE_TEXT}")
# What the linked libraries' terms ask of the page, as the tool is linked (VARNELT_LINK).
if(VARNELT_LINK STREQUAL "static")
    string(CONCAT VARNELT_MAN_LINKED
        "The Linux tool is linked statically with the GNU C Library (LGPL\\-2.1 or\n"
        "later) and the GCC run\\-time libraries (GPL\\-3 or later with the GCC Runtime\n"
        "Library Exception); the packages' copyright file says more.")
else()
    set(VARNELT_MAN_LINKED "The Linux tool is linked dynamically with the system's C library.")
endif()
configure_file(doc/varnelt.1.in ${docs}/varnelt.1 @ONLY)

set(VARNELT_COPYRIGHT_CONTACT "")
foreach(line "Upstream-Contact: ${VARNELT_MAINTAINER}" "Homepage: ${VARNELT_HOMEPAGE}"
             "Bugs: ${VARNELT_BUG_REPORT}")
    if(NOT line MATCHES ": $")
        string(APPEND VARNELT_COPYRIGHT_CONTACT "${line}\n")
    endif()
endforeach()
configure_file(doc/copyright.in ${docs}/copyright @ONLY)
# Linked dynamically, the tool holds no part of the libraries: their paragraphs go.
if(VARNELT_LINK STREQUAL "dynamic")
    file(READ ${docs}/copyright text)
    string(FIND "${text}" "\nThe program bin/varnelt is linked statically" end)
    string(SUBSTRING "${text}" 0 ${end} text)
    file(WRITE ${docs}/copyright "${text}")
endif()

# A NEWS date as the changelogs write it (date: GNU coreutils, as everywhere a .deb is made).
function(news_date day format out)
    execute_process(COMMAND env LC_ALL=C date -u -d ${day} ${format}
        OUTPUT_VARIABLE text OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "NEWS: ${day} is no date")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Each NEWS entry as a .deb changelog entry and as an .rpm %changelog entry, newest first.
file(STRINGS ${PROJECT_SOURCE_DIR}/NEWS news)
set(deb "")
set(rpm "")
set(close "")
foreach(line IN LISTS news)
    if(line MATCHES "^Varnelt ([0-9.]+), ([0-9-]+)$")
        set(version ${CMAKE_MATCH_1})
        news_date(${CMAKE_MATCH_2} "+%a, %d %b %Y 00:00:00 +0000" debian)
        news_date(${CMAKE_MATCH_2} "+%a %b %d %Y" redhat)
        string(APPEND deb "${close}varnelt (${version}) unstable; urgency=medium\n\n")
        if(rpm)
            string(APPEND rpm "\n")
        endif()
        string(APPEND rpm "* ${redhat} ${VARNELT_MAINTAINER} - ${version}-1\n")
        set(close "\n -- ${VARNELT_MAINTAINER}  ${debian}\n\n")
    elseif(line MATCHES "^  \\* (.*)$")
        string(APPEND deb "${line}\n")
        string(APPEND rpm "- ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^    (.*)$" AND close)
        string(APPEND deb "${line}\n")
        string(APPEND rpm "  ${CMAKE_MATCH_1}\n")
    endif()
endforeach()
string(REGEX REPLACE "\n\n$" "\n" close "${close}")
file(WRITE ${docs}/changelog "${deb}${close}")
file(WRITE ${docs}/changelog.rpm "${rpm}")
