# Every build's compile and link flags, set one way: the interface target varnelt_flags carries the
# warnings, the hardening and the file-name maps, and every target of the tool and its tests links
# it (through varnelt_program). Nothing here edits CMAKE_CXX_FLAGS: those are the caller's
# (CXXFLAGS, a distribution's dpkg-buildflags or %optflags) and come first on every command line.
#
# The hardening is what Debian's dpkg-buildflags gives every package: the stack protector,
# _FORTIFY_SOURCE's checked calls, stack-clash protection, control-flow protection and read-only
# relocations bound at start-up. Each is added only where the caller's flags say nothing of it, so
# that a distribution's own choice (-D_FORTIFY_SOURCE=3, -fno-stack-protector) stands alone and is
# not redefined. VARNELT_HARDENING=OFF drops them altogether; the sanitizer build brings its own.
#
# The file-name maps make the debug information name files relative to the source and build
# folders, so that two builds in two folders give the same bytes. They come last, after any map of
# the caller's (dpkg's -ffile-prefix-map=SOURCE=.), since the last map that matches wins.
option(VARNELT_HARDENING "Compile and link the Linux tool with the usual distribution hardening" ON)
set(VARNELT_LINK static CACHE STRING
    "How the Linux tool links the C library: static (the project's packages) or dynamic (a distribution's)")
set_property(CACHE VARNELT_LINK PROPERTY STRINGS static dynamic)
if(NOT VARNELT_LINK MATCHES "^(static|dynamic)$")
    message(FATAL_ERROR "VARNELT_LINK is \"${VARNELT_LINK}\": static or dynamic")
endif()

add_library(varnelt_flags INTERFACE)
set(cxx "$<COMPILE_LANGUAGE:CXX>")
target_compile_options(varnelt_flags INTERFACE "$<${cxx}:-Wall;-Wextra;-Wshadow>")

string(TOUPPER "${CMAKE_BUILD_TYPE}" type)
set(caller_compile "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${type}}")
set(caller_link "${CMAKE_EXE_LINKER_FLAGS} ${CMAKE_EXE_LINKER_FLAGS_${type}}")
# FLAG... unless the caller's compile flags match PATTERN.
function(varnelt_harden pattern)
    if(NOT caller_compile MATCHES "${pattern}")
        target_compile_options(varnelt_flags INTERFACE "$<${cxx}:${ARGN}>")
    endif()
endfunction()

if(VARNELT_HARDENING AND NOT VARNELT_SANITIZE AND NOT WIN32)
    varnelt_harden("-f(no-)?stack-protector" -fstack-protector-strong)
    varnelt_harden("_FORTIFY_SOURCE" -D_FORTIFY_SOURCE=2)
    varnelt_harden("-f(no-)?stack-clash-protection" -fstack-clash-protection)
    # Control-flow protection: Intel's CET on x86-64, branch protection (PAC, BTI) on arm64.
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
        varnelt_harden("-f(no-)?cf-protection" -fcf-protection)
    elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
        varnelt_harden("-mbranch-protection" -mbranch-protection=standard)
    endif()
    if(NOT caller_link MATCHES "norelro")
        target_link_options(varnelt_flags INTERFACE -Wl,-z,relro)
    endif()
    if(NOT caller_link MATCHES "-z,?lazy")
        target_link_options(varnelt_flags INTERFACE -Wl,-z,now)
    endif()
endif()
target_compile_options(varnelt_flags INTERFACE
    "$<${cxx}:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.;-ffile-prefix-map=${PROJECT_BINARY_DIR}=.>")

# Static: a process this short would otherwise spend nine tenths of its instructions in the dynamic
# loader; position independent, so that address randomisation stays. Dynamic, as distributions
# link every program: a security update of the C library reaches it.
function(varnelt_link_tool target)
    if(VARNELT_SANITIZE OR WIN32)
        return()
    endif()
    if(VARNELT_LINK STREQUAL "static")
        target_link_options(${target} PRIVATE -static-pie)
        target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/posix/allocator.cpp)
    else()
        set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    endif()
endfunction()
if(VARNELT_LINK STREQUAL "dynamic")
    include(CheckPIESupported)
    check_pie_supported()
endif()
