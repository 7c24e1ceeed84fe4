// Loads an install request, logs it with its secrets masked and prints what an
// installer reads of it. Usage: install-request REQUEST.xml
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"
#include "ZUInstallXmlUtils.h"

namespace {

constexpr int kRequestHeading = 1;  // LogXML's kind for "XML Request :"

// Tells whether the client's stored password decrypts, never showing it.
std::string PasswordState(ZUInstallManager::ClientSetup& request, unsigned long index) {
  std::string stored;
  if (XmlUtils::GetClientPassword(&request, index, stored) != 0 || stored.empty()) return "not set";
  char* plain = nullptr;
  char error[128] = {};  // a failure writes at most 75 characters
  const int result = ZUDecryptPassword(stored.c_str(), &plain, error);
  const std::unique_ptr<char[]> owned(plain);  // the caller releases the text, also after a failure
  return result == 0 ? "usable" : std::string("refused: ") + error;
}

// Prints one client entry; a fact the request does not hold reads as "-".
void PrintClient(ZUInstallManager::ClientSetup& request, unsigned long index) {
  std::string name = "-", host = "-", release = "-", os, detail;
  XmlUtils::GetClientName(&request, index, name);  // -1 leaves the output as it was
  XmlUtils::GetClientHostName(&request, index, host);
  XmlUtils::GetClientReleaseString(&request, index, release);
  std::cout << "client " << index << ": " << name << " (" << host << "), release " << release;
  if (XmlUtils::GetClientOS(&request, index, os, detail) == 0) std::cout << ", " << os << ' ' << detail;
  std::cout << "\n  password " << PasswordState(request, index) << "\n  packages";
  std::vector<int> packages;
  XmlUtils::GetPackageList(&request, index, packages);  // stays empty when the entry has none
  for (const int id : packages) {
    const unsigned long package = static_cast<unsigned long>(id);
    std::cout << ' ' << id << (IsDBPackage(package) ? " (database)" : "");
  }
  std::cout << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: install-request REQUEST.xml\n";
    return 2;
  }
  // Entries go to $ZU_LOG_DIR/ExampleInstaller.log once the installation's
  // instance exists (ZU_FOCUS), to /tmp/ZuInstallMgrPreInstall.log before.
  // The logger never fails its caller: a log it cannot write drops the entry.
  ZUSimLog log("ExampleInstaller");
  log.InitializeLogger();

  ZUInstallManager::ClientSetup request;
  std::string path = argv[1];
  std::string error;
  if (PopulateClientSetupFromXmlFile(&request, path, error) != 0) {
    log.LogMessageV(__func__, -1, "cannot load %s: %s", path.c_str(), error.c_str());
    std::cerr << "install-request: " << path << ": " << error << '\n';
    return 1;
  }
  log.jobId = XmlUtils::GetJobId(&request);  // debug-log entries carry the job
  // Every password, clientPassword, pAccess, pExecAccess and authCode value
  // becomes ******** in the entry; -1 only when the request cannot be serialized.
  if (log.LogXML(__func__, &request, 0, kRequestHeading) != 0) {
    std::cerr << "install-request: the request could not be logged\n";
  }

  ZUInstallManager::SIMOperationType operation{};
  if (XmlUtils::GetOperationType(&request, operation) != 0) {
    log.LogMessage(__func__, -1, "the request names no operation");
    std::cerr << "install-request: " << path << ": the request names no operation\n";
    return 1;
  }
  std::string server = "-";
  XmlUtils::GetDXClientName(&request, server);
  std::cout << "job " << log.jobId << ", operation " << operation << ", central server " << server << '\n';
  unsigned long clients = 0;
  for (; XmlUtils::GetClientComposition(&request, clients) != nullptr; ++clients) PrintClient(request, clients);
  log.AddPhaseMarker("ReadRequest", "done");
  log.LogMessageV(__func__, 0, "%lu clients read", clients);
  return 0;
}
