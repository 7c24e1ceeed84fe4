// What the tool knows of the install request beyond the loader: how each
// field is written in XML and which operation types exist. The classes and
// fields come from the message library's schema descriptors.
#pragma once

#include <string_view>

#include "ZuInstallMessages.h"

namespace zutool {

// True for fields written as child elements, false for those written as attributes.
inline bool IsElementField(zumsg::FieldKind kind) {
  switch (kind) {
    case zumsg::FieldKind::Object:
    case zumsg::FieldKind::List: return true;
    case zumsg::FieldKind::Integer:
    case zumsg::FieldKind::Boolean:
    case zumsg::FieldKind::Enum:
    case zumsg::FieldKind::String:
    case zumsg::FieldKind::Password: return false;
  }
  return false;
}

// Returns the index of the field of `info` named exactly `name`, or -1.
inline int FindField(const zumsg::ClassInfo& info, std::string_view name) {
  for (zumsg::FieldId field = 0; field < info.fieldCount; ++field) {
    if (name == info.fields[field].name) return static_cast<int>(field);
  }
  return -1;
}

struct OperationName {
  ZUInstallManager::SIMOperationType type;
  const char* name;
};

constexpr OperationName kOperations[] = {
    {ZUInstallManager::SIM_INSTALL, "SIM_INSTALL"},
    {ZUInstallManager::SIM_CHECK_INSTALL_REQUIREMENTS, "SIM_CHECK_INSTALL_REQUIREMENTS"},
    {ZUInstallManager::SIM_GET_CONFIGURATION, "SIM_GET_CONFIGURATION"},
    {ZUInstallManager::SIM_GET_DEFAULT_XML, "SIM_GET_DEFAULT_XML"},
    {ZUInstallManager::SIM_CHECK_UNINSTALL_REQUIREMENTS, "SIM_CHECK_UNINSTALL_REQUIREMENTS"},
    {ZUInstallManager::SIM_UNINSTALL_AGENT, "SIM_UNINSTALL_AGENT"},
    {ZUInstallManager::SIM_UNINSTALL_CLIENT, "SIM_UNINSTALL_CLIENT"},
    {ZUInstallManager::SIM_UNINSTALL_AGENT_FORCED, "SIM_UNINSTALL_AGENT_FORCED"},
    {ZUInstallManager::SIM_UNINSTALL_MA, "SIM_UNINSTALL_MA"},
    {ZUInstallManager::SIM_UNINSTALL_CLIENT_FORCED, "SIM_UNINSTALL_CLIENT_FORCED"},
    {ZUInstallManager::SIM_INSTALL_PUSH, "SIM_INSTALL_PUSH"},
    {ZUInstallManager::SIM_INSTALL_SILENT, "SIM_INSTALL_SILENT"},
    {ZUInstallManager::SIM_GET_SILENT_CLIENT_LIST, "SIM_GET_SILENT_CLIENT_LIST"},
    {ZUInstallManager::SIM_SYNC_PACKAGE_INFO, "SIM_SYNC_PACKAGE_INFO"},
    {ZUInstallManager::SIM_DEACTIVATE_CLIENT, "SIM_DEACTIVATE_CLIENT"},
    {ZUInstallManager::SIM_BULK_INSTALL, "SIM_BULK_INSTALL"},
    {ZUInstallManager::SIM_SYNC_OS_INFO, "SIM_SYNC_OS_INFO"},
    {ZUInstallManager::SIM_SEND_JOB_STATUS, "SIM_SEND_JOB_STATUS"},
    {ZUInstallManager::SIM_UPDATE_SP_VERSION, "SIM_UPDATE_SP_VERSION"},
    {ZUInstallManager::SIM_SEND_ASYNC_INSTALL_RESPONSE, "SIM_SEND_ASYNC_INSTALL_RESPONSE"},
    {ZUInstallManager::SIM_UPDATE_THIRD_PARTY_PATCH_LEVEL, "SIM_UPDATE_THIRD_PARTY_PATCH_LEVEL"},
};

// Returns the installer's name of an operation type; null when it names none.
inline const char* FindOperationName(long long type) {
  for (const OperationName& known : kOperations) {
    if (known.type == type) return known.name;
  }
  return nullptr;
}

}  // namespace zutool
