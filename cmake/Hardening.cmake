# The hardening flags dpkg-buildflags gives a Debian package (with bindnow):
# fortified libc calls, stack protector, read-only relocations bound at load.
# Optimisation and debug info stay the build type's. Sanitizer and fuzz builds
# go without: _FORTIFY_SOURCE's checked calls get in ASan's way.
set(ZU_HARDENED OFF)
option(ZU_HARDENING "Build with the hardening flags of dpkg-buildflags" ON)
find_program(ZU_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT ZU_HARDENING OR ZU_SANITIZE OR ZU_BUILD_FUZZ)
  return()
elseif(NOT ZU_DPKG_BUILDFLAGS)
  message(STATUS "Hardening flags: dpkg-buildflags not found (Debian package dpkg-dev), building without")
  return()
endif()
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                          ${ZU_DPKG_BUILDFLAGS} --get ${kind}
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  # -fPIE/-pie would fight the libraries' -fPIC; the compiler makes PIE executables itself.
  list(FILTER flags EXCLUDE REGEX "^-(g|O|f(file|debug|macro)-prefix-map|fPIE$|pie$|specs=)")
  foreach(flag IN LISTS flags)
    if(flag MATCHES "^-D_FORTIFY_SOURCE")
      # glibc warns about fortification without optimisation.
      add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
    elseif(kind STREQUAL "LDFLAGS")
      add_link_options(${flag})
    else()
      add_compile_options(${flag})
    endif()
  endforeach()
endforeach()
set(ZU_HARDENED ON)
