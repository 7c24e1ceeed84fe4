# Installation: libraries with SONAME and version, headers, the exported
# targets Zu::Install (and the stand-ins Zu::XMLMessagesBase, Zu::Lib), a
# CMake package config and a pkg-config file.
include(CMakePackageConfigHelpers)

set(ZU_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZuInstall)
set(ZU_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/ZuInstall)

# The public headers use C++17 (std::string_view), so consumers need it too.
target_compile_features(ZuInstall PUBLIC cxx_std_17)
set_target_properties(ZuInstall PROPERTIES EXPORT_NAME Install)
# The tool finds libZuInstall in the prefix's library directory, wherever the
# prefix is moved; the platform's directory is added below.
file(RELATIVE_PATH ZU_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
set_target_properties(zu-request PROPERTIES INSTALL_RPATH "$ORIGIN/${ZU_BIN_TO_LIB}")

install(FILES include/ZUInstallLog.h include/ZUInstallUtils.h include/ZUInstallXmlUtils.h
              ${PROJECT_BINARY_DIR}/include/zuinstall_export.h
        DESTINATION ${ZU_HEADER_DIR} COMPONENT dev)

if(ZU_USE_PRODUCT_LIBS)
  # The product's libraries stay where they are; the package config recreates
  # their imported targets from the paths given at configure time.
  set(ZU_DEFAULT_PRODUCT_INCLUDE_DIRS
      "${PROJECT_SOURCE_DIR}/interfaces/runtime;${PROJECT_SOURCE_DIR}/interfaces/messages")
  if(ZU_PRODUCT_INCLUDE_DIRS STREQUAL ZU_DEFAULT_PRODUCT_INCLUDE_DIRS)
    # Built against our declarations of the product: install them with ours.
    install(FILES interfaces/messages/CNMessageBase.h interfaces/messages/ZuInstallMessages.h
                  interfaces/messages/ZuInstallSchema.def interfaces/runtime/ZuRuntime.h
            DESTINATION ${ZU_HEADER_DIR} COMPONENT dev)
    set(ZU_PLATFORM_INCLUDES "\${PACKAGE_PREFIX_DIR}/${ZU_HEADER_DIR}")
    set(ZU_PC_PLATFORM_CFLAGS "")
  else()
    set(ZU_PLATFORM_INCLUDES "${ZU_PRODUCT_INCLUDE_DIRS}")
    list(TRANSFORM ZU_PRODUCT_INCLUDE_DIRS PREPEND "-I" OUTPUT_VARIABLE ZU_PC_PLATFORM_CFLAGS)
    list(JOIN ZU_PC_PLATFORM_CFLAGS " " ZU_PC_PLATFORM_CFLAGS)
    string(PREPEND ZU_PC_PLATFORM_CFLAGS " ")
  endif()
  set(ZU_PLATFORM_TARGETS "")
  foreach(pair "Lib;${ZU_PRODUCT_RUNTIME_LIBRARY}" "XMLMessagesBase;${ZU_PRODUCT_MESSAGES_LIBRARY}")
    list(GET pair 0 name)
    list(GET pair 1 location)
    string(APPEND ZU_PLATFORM_TARGETS
      "if(NOT TARGET Zu::${name})\n"
      "  add_library(Zu::${name} SHARED IMPORTED)\n"
      "  set_target_properties(Zu::${name} PROPERTIES IMPORTED_LOCATION \"${location}\"\n"
      "                        INTERFACE_INCLUDE_DIRECTORIES \"${ZU_PLATFORM_INCLUDES}\")\n"
      "endif()\n")
  endforeach()
  get_filename_component(ZU_PRODUCT_LIBRARY_DIR "${ZU_PRODUCT_MESSAGES_LIBRARY}" DIRECTORY)
  get_filename_component(ZU_PRODUCT_RUNTIME_DIR "${ZU_PRODUCT_RUNTIME_LIBRARY}" DIRECTORY)
  # Installed, the library and the tool find the product's libraries where they were given.
  set(ZU_PRODUCT_RPATH "${ZU_PRODUCT_LIBRARY_DIR};${ZU_PRODUCT_RUNTIME_DIR}")
  list(REMOVE_DUPLICATES ZU_PRODUCT_RPATH)
  set_property(TARGET ZuInstall zu-request APPEND PROPERTY INSTALL_RPATH ${ZU_PRODUCT_RPATH})
  set(ZU_PC_PLATFORMDIR "${ZU_PRODUCT_LIBRARY_DIR}")
  set(ZU_PC_LIBS "-L\${libdir} -lZuInstall ${ZU_PRODUCT_MESSAGES_LIBRARY} -Wl,-rpath,${ZU_PRODUCT_LIBRARY_DIR}")
  set(ZU_PC_LIBS_PRIVATE "${ZU_PRODUCT_RUNTIME_LIBRARY}")
else()
  install(FILES interfaces/messages/CNMessageBase.h interfaces/messages/ZuInstallMessages.h
                interfaces/messages/ZuInstallSchema.def interfaces/runtime/ZuRuntime.h
          DESTINATION ${ZU_HEADER_DIR} COMPONENT dev)
  target_compile_features(ZuXMLMessagesBase PUBLIC cxx_std_17)
  target_compile_features(ZuLib PUBLIC cxx_std_17)
  set_target_properties(ZuXMLMessagesBase PROPERTIES EXPORT_NAME XMLMessagesBase)
  set_target_properties(ZuLib PROPERTIES EXPORT_NAME Lib)
  # The stand-ins live in the private directory (see ZU_PRIVATE_LIBDIR).
  file(RELATIVE_PATH ZU_LIB_TO_PRIVATE /${CMAKE_INSTALL_LIBDIR} /${ZU_PRIVATE_LIBDIR})
  set_target_properties(ZuInstall PROPERTIES INSTALL_RPATH "$ORIGIN/${ZU_LIB_TO_PRIVATE}")
  set_property(TARGET zu-request APPEND PROPERTY INSTALL_RPATH "$ORIGIN/${ZU_BIN_TO_LIB}/${ZU_LIB_TO_PRIVATE}")
  # A consumer links the message library itself (the message classes' inline
  # accessors call it), so the loader must find it from the consumer too.
  set_property(TARGET ZuXMLMessagesBase APPEND PROPERTY INTERFACE_LINK_OPTIONS
               "$<INSTALL_INTERFACE:LINKER:-rpath,$<INSTALL_PREFIX>/${ZU_PRIVATE_LIBDIR}>")
  set(ZU_PLATFORM_TARGETS "")
  set(ZU_PC_PLATFORM_CFLAGS "")
  # The runtime library is only reached through libZuInstall.
  set(ZU_PC_PLATFORMDIR "\${libdir}/${ZU_LIB_TO_PRIVATE}")
  set(ZU_PC_LIBS "-L\${libdir} -lZuInstall -L\${platformdir} -lZuXMLMessagesBase -Wl,-rpath,\${platformdir}")
  set(ZU_PC_LIBS_PRIVATE "-lZuLib")
  install(TARGETS ZuXMLMessagesBase ZuLib EXPORT ZuInstallTargets
          LIBRARY DESTINATION ${ZU_PRIVATE_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
endif()

# Three components, split as debian/*.install splits the packages: `runtime`
# (the shared libraries), `dev` (headers, CMake package, pkg-config file, the
# unversioned .so links) and `tool` (zu-request, its man page and completion).
install(TARGETS ZuInstall EXPORT ZuInstallTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(TARGETS zu-request RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
install(EXPORT ZuInstallTargets NAMESPACE Zu:: DESTINATION ${ZU_CMAKE_DIR} COMPONENT dev)

configure_package_config_file(cmake/ZuInstallConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ZuInstallConfig.cmake INSTALL_DESTINATION ${ZU_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZuInstallConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZuInstallConfig.cmake ${PROJECT_BINARY_DIR}/ZuInstallConfigVersion.cmake
        DESTINATION ${ZU_CMAKE_DIR} COMPONENT dev)

# The pkg-config file finds the prefix from its own place, so the installed
# tree can move as the libraries can.
set(ZU_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH ZU_PC_TO_PREFIX /${ZU_PC_DIR} /)
string(REGEX REPLACE "/$" "" ZU_PC_TO_PREFIX "${ZU_PC_TO_PREFIX}")
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(ZU_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(ZU_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
configure_file(cmake/zuinstall.pc.in ${PROJECT_BINARY_DIR}/zuinstall.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zuinstall.pc DESTINATION ${ZU_PC_DIR} COMPONENT dev)

# The man page, compressed as Debian ships them, and the bash completion.
find_program(ZU_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/zu-request.1.gz
  COMMAND ${ZU_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/doc/zu-request.1 > ${PROJECT_BINARY_DIR}/zu-request.1.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/doc/zu-request.1
  COMMENT "Compressing the man page")
add_custom_target(zu-request-man ALL DEPENDS ${PROJECT_BINARY_DIR}/zu-request.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/zu-request.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
install(FILES doc/zu-request.bash-completion DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
        RENAME zu-request COMPONENT tool)

# The tests of what the install delivers live beside the install rules.
if(ZU_BUILD_TESTS)
  add_subdirectory(tests/package)
  add_subdirectory(tests/symbols)
  if(NOT ZU_USE_PRODUCT_LIBS)
    # The baseline describes the library built on our declarations of the platform.
    add_subdirectory(tests/abi)
  endif()
endif()
