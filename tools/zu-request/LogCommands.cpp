// zu-request mask and zu-request log: a request as the installer's logger writes it.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>

#include "Commands.h"
#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"

namespace zutool {

namespace {

constexpr char kLoggerName[] = "zu-request";
constexpr char kPreInstallFile[] = "/tmp/ZuInstallMgrPreInstall.log";
constexpr int kRequestKind = 1;
constexpr int kResponseKind = 2;
constexpr int kCheckedXmlLevel = 3;
constexpr unsigned long kMaskLength = 8;
// The logger's keys, in the logger's order.
constexpr const char* kMaskedKeys[] = {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\""};

bool ParseLevel(const std::string& text, int& level) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
  level = static_cast<int>(value);
  return true;
}

}  // namespace

int Mask(const Args& args) {
  Parsed parsed;
  if (const std::optional<int> exit = ParseOptions("mask", args, {}, parsed)) return *exit;
  if (parsed.operands.empty()) return UsageError("mask: missing FILE");
  int status = kOk;
  for (const std::string& path : parsed.operands) {
    ZUInstallManager::ClientSetup request;
    if (!LoadRequest(path, request)) {
      status = kFailed;
      continue;
    }
    // The logger's encoder settings, so the text is the one it would write.
    const EncodingFlags flags{true, false, false, 0, 0, -1, false, false, true, false, 1};
    XMLEncoder encoder(flags, nullptr);
    std::string xml;
    const int error = encoder.serialize(&request, xml, false);
    if (error != 0) {
      status = Fail((path == "-" ? std::string("<stdin>") : path) + ": cannot serialize (error " +
                    std::to_string(error) + ")");
      continue;
    }
    for (const char* key : kMaskedKeys) MaskInformation(xml, key, kMaskLength);
    std::cout << xml << '\n';
  }
  std::cout.flush();
  return std::cout ? status : Fail("cannot write to standard output");
}

int Log(const Args& args) {
  Parsed parsed;
  if (const std::optional<int> exit = ParseOptions("log", args, {{"kind", true}, {"level", true}}, parsed)) {
    return *exit;
  }
  int kind = kRequestKind;
  int level = 0;
  if (const auto option = parsed.options.find("kind"); option != parsed.options.end()) {
    if (option->second == "response") {
      kind = kResponseKind;
    } else if (option->second != "request") {
      return UsageError("log: --kind takes request or response, not '" + option->second + "'");
    }
  }
  if (const auto option = parsed.options.find("level"); option != parsed.options.end()) {
    if (!ParseLevel(option->second, level)) {
      return UsageError("log: --level takes an integer, not '" + option->second + "'");
    }
  }
  if (parsed.operands.empty()) return UsageError("log: missing FILE");

  int status = kOk;
  for (const std::string& path : parsed.operands) {
    const std::string shown = path == "-" ? "<stdin>" : path;
    ZUInstallManager::ClientSetup request;
    if (!LoadRequest(path, request)) {
      status = kFailed;
      continue;
    }
    ZUSimLog log(kLoggerName);
    // As the installer does: entries carry the request's job.
    if (request.isSet(ZUInstallManager::ClientSetup::jobId)) {
      log.jobId = request.getint64(ZUInstallManager::ClientSetup::jobId);
    }
    if (log.LogXML(kLoggerName, &request, level, kind) != 0) {
      status = Fail(shown + ": cannot serialize the request");
      continue;
    }
    if (level == kCheckedXmlLevel && !isDebugLogLevelSet(kCheckedXmlLevel)) {
      std::cout << shown << ": not logged: XML entries at level 3 are skipped\n";
    } else if (log.IsReady()) {
      std::cout << shown << ": logged at level " << level << " to the debug log " << kLoggerName << '\n';
    } else {
      std::cout << shown << ": logged at level " << level << " to the pre-install file " << kPreInstallFile
                << '\n';
    }
  }
  std::cout.flush();
  return std::cout ? status : Fail("cannot write to standard output");
}

}  // namespace zutool
