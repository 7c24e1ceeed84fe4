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

// Tells whether an argument is an option; "-" alone names standard input.
bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

}  // namespace

int Mask(const Args& args) {
  if (args.empty()) return UsageError("mask: missing FILE");
  for (const std::string& arg : args) {
    if (IsOption(arg)) return UsageError("mask: unknown option '" + arg + "'");
  }
  int status = kOk;
  for (const std::string& path : args) {
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
  int kind = kRequestKind;
  int level = 0;
  std::size_t i = 0;
  for (; i < args.size() && IsOption(args[i]); ++i) {
    const std::string& option = args[i];
    if (option == "--") {
      ++i;
      break;
    }
    if (option != "--kind" && option != "--level") return UsageError("log: unknown option '" + option + "'");
    if (i + 1 == args.size()) return UsageError("log: " + option + " needs a value");
    const std::string& value = args[++i];
    if (option == "--kind") {
      if (value == "request") {
        kind = kRequestKind;
      } else if (value == "response") {
        kind = kResponseKind;
      } else {
        return UsageError("log: --kind takes request or response, not '" + value + "'");
      }
    } else if (!ParseLevel(value, level)) {
      return UsageError("log: --level takes an integer, not '" + value + "'");
    }
  }
  if (i == args.size()) return UsageError("log: missing FILE");

  int status = kOk;
  for (; i < args.size(); ++i) {
    const std::string& path = args[i];
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
