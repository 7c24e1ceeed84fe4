// Install utilities: request loading, the package catalogue, password
// services, text/path/time helpers and value conversion.
#pragma once

#include <string>

#include "ZuInstallMessages.h"
#include "zuinstall_export.h"

// ---- Request loading ----------------------------------------------------

// Unserializes `xml` into `request`. Returns 0, or -1 with `error` set to
// "Invalid input given.", "Failed to initialize XML." or "Failed to unserialize XML".
ZUINSTALL_API int ConvertStringToClientSetup(std::string xml, ZUInstallManager::ClientSetup* request,
                                             std::string& error);
// Reads the file's lines joined without separators and unserializes them.
// Returns 0, or -1 with `error` set to "Invalid arguments", "Failed to open
// file <path>" or "Failed to unserialize XML blob from the input file.".
ZUINSTALL_API int PopulateClientSetupFromXmlFile(ZUInstallManager::ClientSetup* request,
                                                 std::string& path, std::string& error);
// Returns the request-level error code; -1 when absent (or stored as -1).
ZUINSTALL_API long long GetSIMErrorCodeFromXML(ZUInstallManager::ClientSetup* request);
// Deletes a request allocated with new; null is allowed. Returns 0.
ZUINSTALL_API int FreeMessageObject(ZUInstallManager::ClientSetup* request);

// ---- Fixed answers the logger consults ----------------------------------

// Returns true for every focus name, null included.
ZUINSTALL_API bool IsFocusExist(const char* focus);
// Returns false for every focus name.
ZUINSTALL_API bool IsMarliskLessInstall(const char* focus);
// Returns false for every level.
ZUINSTALL_API bool isDebugLogLevelSet(int level);
