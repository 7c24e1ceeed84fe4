// Accessors over the install request message (namespace XmlUtils). Including
// this header gives the message classes it names.
#pragma once

#include <string>
#include <vector>

#include "ZuInstallMessages.h"
#include "zuinstall_export.h"

namespace XmlUtils {

// Returns entry `index` of the request's client list; null when the request is
// null, the list absent, or index not below its size.
ZUINSTALL_API ZUInstallManager::ClientsComposition* GetClientComposition(ZUInstallManager::ClientSetup* request,
                                                                         unsigned long index);

}  // namespace XmlUtils
