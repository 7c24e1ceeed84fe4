#include "ZUInstallXmlUtils.h"

using ZUInstallManager::ClientSetup;
using ZUInstallManager::ClientsComposition;

ClientsComposition* XmlUtils::GetClientComposition(ClientSetup* request, unsigned long index) {
  if (request == nullptr || !request->isSet(ClientSetup::clientComposition)) return nullptr;
  std::vector<ClientsComposition>* entries = zumsg::list<ClientSetup::clientComposition>(*request);
  if (entries == nullptr || index >= entries->size()) return nullptr;
  return &(*entries)[index];
}
