# Who and what Varnelt is, set once and taken by every build, package and document: the version
# (project()), the licence, the maintainer, the homepage, the bug address, the company that
# publishes Varnelt.exe and the download address. An empty one is left out wherever it would
# appear, never invented.
set(VARNELT_LICENSE "All rights reserved"
    CACHE STRING "Varnelt's own licence, as the packages, the manual page and the version record say it")
set(VARNELT_MAINTAINER "Varnelt developers <varnelt@example.org>"
    CACHE STRING "Name and address in the Maintainer field of the .deb and the Packager of the .rpm")
set(VARNELT_HOMEPAGE "" CACHE STRING "Varnelt's home page (the packages' Homepage and URL), if any")
set(VARNELT_BUG_REPORT "" CACHE STRING "Where bugs are reported (an address or a web page), if anywhere")
set(VARNELT_COMPANY "" CACHE STRING
    "Who publishes Varnelt.exe: the CompanyName of its version record and the winget Publisher, if anyone")
set(VARNELT_DOWNLOAD_URL "" CACHE STRING
    "The address the release's files are downloaded from (a folder): with one, the packages step also writes winget and Scoop manifests")
# What a sub-build is handed, so that it says the same.
set(VARNELT_ABOUT_CACHE_ARGS
    -DVARNELT_LICENSE:STRING=${VARNELT_LICENSE} -DVARNELT_MAINTAINER:STRING=${VARNELT_MAINTAINER}
    -DVARNELT_HOMEPAGE:STRING=${VARNELT_HOMEPAGE} -DVARNELT_BUG_REPORT:STRING=${VARNELT_BUG_REPORT}
    -DVARNELT_COMPANY:STRING=${VARNELT_COMPANY} -DVARNELT_DOWNLOAD_URL:STRING=${VARNELT_DOWNLOAD_URL})

# The licence in a sentence; the default in the words the packages have always used.
if(VARNELT_LICENSE STREQUAL "All rights reserved")
    set(VARNELT_LICENSE_TEXT "No license for Varnelt has been published. All rights reserved by its developers.")
else()
    set(VARNELT_LICENSE_TEXT "Varnelt is distributed under ${VARNELT_LICENSE}.")
endif()
string(REPLACE "." "," VARNELT_VERSION_COMMAS "${PROJECT_VERSION}")

# The newest entry of NEWS dates the release: the manual page's date, the copyright year, and the
# packages (SOURCE_DATE_EPOCH).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/NEWS)
file(STRINGS ${PROJECT_SOURCE_DIR}/NEWS VARNELT_NEWS_HEADS REGEX "^Varnelt [0-9.]+, [0-9-]+$")
list(GET VARNELT_NEWS_HEADS 0 newest)
if(NOT newest MATCHES "^Varnelt ${PROJECT_VERSION}, (([0-9][0-9][0-9][0-9])-([0-9][0-9])-[0-9][0-9])$")
    message(FATAL_ERROR "NEWS does not begin with an entry \"Varnelt ${PROJECT_VERSION}, YYYY-MM-DD\"")
endif()
set(VARNELT_RELEASE_DATE ${CMAKE_MATCH_1})
set(VARNELT_RELEASE_YEAR ${CMAKE_MATCH_2})
# The release day as SOURCE_DATE_EPOCH: what every package is dated by unless the caller sets one.
execute_process(COMMAND env LC_ALL=C date -u -d ${VARNELT_RELEASE_DATE} +%s
    OUTPUT_VARIABLE VARNELT_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "NEWS: ${VARNELT_RELEASE_DATE} is no date")
endif()
