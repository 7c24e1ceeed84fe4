# Runs at install time: writes zuinstall.pc with the prefix the install really
# uses (`cmake --install --prefix` may differ from the configured one), its
# directories made absolute as GNUInstallDirs makes CMAKE_INSTALL_FULL_*.
# Expects ZU_PC_TEMPLATE, ZU_PC_LIBDIR, ZU_PC_INCLUDEDIR and the template's
# other variables to be set by the install(CODE) that precedes it.
set(prefix "${CMAKE_INSTALL_PREFIX}")
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${ZU_PC_${kind}}")
    set(CMAKE_INSTALL_FULL_${kind} "${ZU_PC_${kind}}")
  else()
    set(CMAKE_INSTALL_FULL_${kind} "${prefix}/${ZU_PC_${kind}}")
  endif()
endforeach()
set(destination "$ENV{DESTDIR}${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig/zuinstall.pc")
message(STATUS "Installing: ${destination}")
configure_file("${ZU_PC_TEMPLATE}" "${destination}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${destination}")
