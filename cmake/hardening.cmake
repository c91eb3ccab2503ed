# The Linux builds' hardening and reproducibility: the flags Debian's dpkg-buildflags gives every
# package (stack protector, _FORTIFY_SOURCE, stack-clash protection, control-flow protection,
# read-only relocations bound at start-up), and file names in the debug information relative to
# the source and build folders, so that two builds in two folders give the same bytes.
# They come before the user's CXXFLAGS and LDFLAGS, which therefore still have the last word
# (-fno-stack-protector, -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3 ...); VARNELT_HARDENING=OFF drops
# them altogether.
option(VARNELT_HARDENING "Compile and link the Linux tool with the usual distribution hardening" ON)

set(map "-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=.")
set(compile "")
set(link "")
# Sanitizer builds bring their own checks; _FORTIFY_SOURCE and theirs get in each other's way.
if(VARNELT_HARDENING AND NOT VARNELT_SANITIZE)
    set(compile "-fstack-protector-strong -D_FORTIFY_SOURCE=2 -fstack-clash-protection")
    # Control-flow protection: Intel's CET on x86-64, branch protection (PAC, BTI) on arm64.
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
        string(APPEND compile " -fcf-protection")
    elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
        string(APPEND compile " -mbranch-protection=standard")
    endif()
    set(link "-Wl,-z,relro -Wl,-z,now")
endif()
set(CMAKE_CXX_FLAGS "${compile} ${map} ${CMAKE_CXX_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS "${link} ${CMAKE_EXE_LINKER_FLAGS}")
