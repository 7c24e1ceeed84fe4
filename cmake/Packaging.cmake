include(CMakePackageConfigHelpers)

set(ZU_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZuInstall)
install(FILES include/ZUInstallLog.h include/ZUInstallUtils.h include/ZUInstallXmlUtils.h
              ${PROJECT_BINARY_DIR}/include/zuinstall_export.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ZuInstall)

set(ZU_INSTALL_TARGETS ZuInstall)
if(NOT ZU_USE_PRODUCT_LIBS)
  list(APPEND ZU_INSTALL_TARGETS ZuXMLMessagesBase ZuLib)
  install(FILES interfaces/messages/CNMessageBase.h interfaces/messages/ZuInstallMessages.h
                interfaces/messages/ZuInstallSchema.def interfaces/runtime/ZuRuntime.h
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ZuInstall)
  set_target_properties(ZuXMLMessagesBase PROPERTIES EXPORT_NAME XMLMessagesBase)
  set_target_properties(ZuLib PROPERTIES EXPORT_NAME Lib)
endif()
set_target_properties(ZuInstall PROPERTIES EXPORT_NAME Install)

install(TARGETS ${ZU_INSTALL_TARGETS} EXPORT ZuInstallTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS zu-request RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT ZU_USE_PRODUCT_LIBS)
  install(EXPORT ZuInstallTargets NAMESPACE Zu:: DESTINATION ${ZU_CMAKE_DIR})
  configure_package_config_file(cmake/ZuInstallConfig.cmake.in
    ${PROJECT_BINARY_DIR}/ZuInstallConfig.cmake INSTALL_DESTINATION ${ZU_CMAKE_DIR})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZuInstallConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/ZuInstallConfig.cmake ${PROJECT_BINARY_DIR}/ZuInstallConfigVersion.cmake
          DESTINATION ${ZU_CMAKE_DIR})
  configure_file(cmake/zuinstall.pc.in ${PROJECT_BINARY_DIR}/zuinstall.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/zuinstall.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()
