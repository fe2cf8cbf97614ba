# The SIP stack (libre, rem and baresip) as the target sip_stack: headers, the definitions they
# need and the static libraries, from the cache scripts/sip-stack.sh builds for the toolchain's
# triplet. The script runs as a build step of the first target that links sip_stack, not while
# configuring: a configure stays quick and offline, a build whose targets do not link the stack
# (the release, which builds only what ships) never fetches or builds it, and a fresh machine
# gets it from `cmake --build` alone. The cache lies outside the build folder, so win32 and
# release share the i686 one and deleting a build folder keeps it.

set(TAVORO_SIP_STACK_CACHE "${PROJECT_SOURCE_DIR}/build/sip-stack"
    CACHE PATH "Where scripts/sip-stack.sh keeps the SIP stack's tarballs and builds")
if(NOT TAVORO_MINGW_TRIPLET)
  message(FATAL_ERROR "The SIP stack needs TAVORO_MINGW_TRIPLET from a MinGW toolchain file")
endif()

set(_sip_dir "${TAVORO_SIP_STACK_CACHE}/${TAVORO_MINGW_TRIPLET}")
set(_sip_libs ${_sip_dir}/lib/libbaresip.a ${_sip_dir}/lib/librem.a ${_sip_dir}/lib/libre.a)
# The script leaves a cache that matches its pins alone, stamp included; the touch keeps the
# stamp newer than an edited script, so Ninja does not run it again on every build.
add_custom_command(
  OUTPUT ${_sip_dir}/stamp
  BYPRODUCTS ${_sip_libs}
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/sip-stack.sh --cache ${TAVORO_SIP_STACK_CACHE}
          ${TAVORO_MINGW_TRIPLET}
  COMMAND ${CMAKE_COMMAND} -E touch ${_sip_dir}/stamp
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/sip-stack.sh
  COMMENT "The SIP stack for ${TAVORO_MINGW_TRIPLET} (scripts/sip-stack.sh)"
  USES_TERMINAL
  VERBATIM)
add_custom_target(sip_stack_build DEPENDS ${_sip_dir}/stamp)

add_library(sip_stack INTERFACE)
add_dependencies(sip_stack sip_stack_build)
# SYSTEM: the stack's C headers are not held to the project's warning flags.
target_include_directories(sip_stack SYSTEM INTERFACE ${_sip_dir}/include ${_sip_dir}/include/re
                                                      ${_sip_dir}/include/rem)
# What the libraries were compiled with and their headers test: the WIN32 branches (a strict
# -std=c++20 does not predefine WIN32), MinGW's own ssize_t, the IPv6 fields of struct sa and
# stdbool. The libraries' _WIN32_WINNT=0x0501 is left out on purpose: no header of the stack
# reads it, and the project's 0x0601 is a superset that would otherwise be redefined.
target_compile_definitions(sip_stack INTERFACE WIN32 __ssize_t_defined HAVE_INET6 HAVE_STDBOOL_H)
target_link_libraries(sip_stack INTERFACE ${_sip_libs} winmm ws2_32 iphlpapi wsock32)
