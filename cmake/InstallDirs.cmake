# GNUInstallDirs picks lib/<triplet> only for the prefix /usr; the packages and
# a plain install into /usr/local both want it, so take dpkg's triplet first.
if(NOT DEFINED CMAKE_INSTALL_LIBDIR)
  find_program(ZU_DPKG_ARCHITECTURE dpkg-architecture)
  if(ZU_DPKG_ARCHITECTURE)
    execute_process(COMMAND ${ZU_DPKG_ARCHITECTURE} -qDEB_HOST_MULTIARCH OUTPUT_VARIABLE ZU_MULTIARCH
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(ZU_MULTIARCH)
    set(CMAKE_INSTALL_LIBDIR lib/${ZU_MULTIARCH} CACHE PATH "Object code libraries (LIBDIR)")
  endif()
endif()
include(GNUInstallDirs)
# The stand-ins carry the product's library names, so they stay out of the
# loader's directories and are found through libZuInstall's and the tool's RUNPATH.
set(ZU_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/zuinstall)
