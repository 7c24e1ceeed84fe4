# Installation: libraries with SONAME and version, headers, the exported
# targets Zu::Install (and the stand-ins Zu::XMLMessagesBase, Zu::Lib), a
# CMake package config and a pkg-config file.
include(CMakePackageConfigHelpers)

set(ZU_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZuInstall)
set(ZU_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/ZuInstall)

# The public headers use C++17 (std::string_view), so consumers need it too.
target_compile_features(ZuInstall PUBLIC cxx_std_17)
set_target_properties(ZuInstall PROPERTIES EXPORT_NAME Install)
# Installed libraries find each other beside themselves, and the tool finds
# them in the prefix's library directory, wherever the prefix is moved.
set_target_properties(ZuInstall PROPERTIES INSTALL_RPATH "$ORIGIN")
file(RELATIVE_PATH ZU_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
set_target_properties(zu-request PROPERTIES INSTALL_RPATH "$ORIGIN/${ZU_BIN_TO_LIB}")

install(FILES include/ZUInstallLog.h include/ZUInstallUtils.h include/ZUInstallXmlUtils.h
              ${PROJECT_BINARY_DIR}/include/zuinstall_export.h
        DESTINATION ${ZU_HEADER_DIR})

set(ZU_INSTALL_TARGETS ZuInstall)
if(ZU_USE_PRODUCT_LIBS)
  # The product's libraries stay where they are; the package config recreates
  # their imported targets from the paths given at configure time.
  set(ZU_DEFAULT_PRODUCT_INCLUDE_DIRS
      "${PROJECT_SOURCE_DIR}/interfaces/runtime;${PROJECT_SOURCE_DIR}/interfaces/messages")
  if(ZU_PRODUCT_INCLUDE_DIRS STREQUAL ZU_DEFAULT_PRODUCT_INCLUDE_DIRS)
    # Built against our declarations of the product: install them with ours.
    install(FILES interfaces/messages/CNMessageBase.h interfaces/messages/ZuInstallMessages.h
                  interfaces/messages/ZuInstallSchema.def interfaces/runtime/ZuRuntime.h
            DESTINATION ${ZU_HEADER_DIR})
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
  set(ZU_PC_LIBS "-L\${libdir} -lZuInstall ${ZU_PRODUCT_MESSAGES_LIBRARY} -Wl,-rpath,${ZU_PRODUCT_LIBRARY_DIR}")
  set(ZU_PC_LIBS_PRIVATE "${ZU_PRODUCT_RUNTIME_LIBRARY}")
else()
  list(APPEND ZU_INSTALL_TARGETS ZuXMLMessagesBase ZuLib)
  install(FILES interfaces/messages/CNMessageBase.h interfaces/messages/ZuInstallMessages.h
                interfaces/messages/ZuInstallSchema.def interfaces/runtime/ZuRuntime.h
          DESTINATION ${ZU_HEADER_DIR})
  target_compile_features(ZuXMLMessagesBase PUBLIC cxx_std_17)
  target_compile_features(ZuLib PUBLIC cxx_std_17)
  set_target_properties(ZuXMLMessagesBase PROPERTIES EXPORT_NAME XMLMessagesBase INSTALL_RPATH "$ORIGIN")
  set_target_properties(ZuLib PROPERTIES EXPORT_NAME Lib INSTALL_RPATH "$ORIGIN")
  set(ZU_PLATFORM_TARGETS "")
  set(ZU_PC_PLATFORM_CFLAGS "")
  # The message classes' inline accessors call the message library; the
  # runtime library is only reached through libZuInstall.
  set(ZU_PC_LIBS "-L\${libdir} -lZuInstall -lZuXMLMessagesBase")
  set(ZU_PC_LIBS_PRIVATE "-lZuLib")
endif()

install(TARGETS ${ZU_INSTALL_TARGETS} EXPORT ZuInstallTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS zu-request RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT ZuInstallTargets NAMESPACE Zu:: DESTINATION ${ZU_CMAKE_DIR})

configure_package_config_file(cmake/ZuInstallConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ZuInstallConfig.cmake INSTALL_DESTINATION ${ZU_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZuInstallConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZuInstallConfig.cmake ${PROJECT_BINARY_DIR}/ZuInstallConfigVersion.cmake
        DESTINATION ${ZU_CMAKE_DIR})
# The pkg-config file is written at install time, for the prefix actually used.
install(CODE "
  set(ZU_PC_TEMPLATE [[${PROJECT_SOURCE_DIR}/cmake/zuinstall.pc.in]])
  set(ZU_PC_LIBDIR [[${CMAKE_INSTALL_LIBDIR}]])
  set(ZU_PC_INCLUDEDIR [[${CMAKE_INSTALL_INCLUDEDIR}]])
  set(PROJECT_DESCRIPTION [[${PROJECT_DESCRIPTION}]])
  set(PROJECT_VERSION [[${PROJECT_VERSION}]])
  set(ZU_PC_LIBS [[${ZU_PC_LIBS}]])
  set(ZU_PC_LIBS_PRIVATE [[${ZU_PC_LIBS_PRIVATE}]])
  set(ZU_PC_PLATFORM_CFLAGS [[${ZU_PC_PLATFORM_CFLAGS}]])")
install(SCRIPT cmake/InstallPkgConfig.cmake)


# The tests of what the install delivers live beside the install rules.
if(ZU_BUILD_TESTS)
  add_subdirectory(tests/package)
  add_subdirectory(tests/symbols)
endif()
