// zu-request mask and zu-request log: a request as the installer's logger writes it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>

#include "Commands.h"
#include "LogPaths.h"
#include "ZUInstallLog.h"
#include "ZUInstallMask.h"
#include "ZUInstallUtils.h"

namespace zutool {

namespace {

constexpr char kLoggerName[] = "zu-request";
constexpr int kRequestKind = 1;
constexpr int kResponseKind = 2;
constexpr int kCheckedXmlLevel = 3;

constexpr char kPreInstallPath[] = "/tmp/ZuInstallMgrPreInstall.log";

// Where the runtime writes the debug log `name`, by its rule for log files.
std::string DebugLogPath(const std::string& name) {
  return zu_runtime::LogDirectory() + "/" + zu_runtime::LogFileName(name);
}

bool ParseLevel(const std::string& text, int& level) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
  level = static_cast<int>(value);
  return true;
}

// The request as the library writes it, with exactly the secret attributes' values masked by the logger's own
// masking code.
bool Masked(const ZUInstallManager::ClientSetup& request, std::string& xml, std::string& reason) {
  const EncodingFlags flags{true, false, false, 0, 0, -1, false, false, true, false, 1};
  XMLEncoder encoder(flags, nullptr);
  std::string serialized;
  if (const int error = encoder.serialize(&request, serialized, false); error != 0) {
    reason = "cannot serialize the request (error " + std::to_string(error) + ")";
    return false;
  }
  xml = zumask::MaskSerialized(serialized);
  return true;
}

// A log file as it stood before an entry was logged.
struct FileMark {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
};

FileMark MarkOf(const std::string& path) {
  FileMark mark;
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    mark.exists = true;
    mark.device = st.st_dev;
    mark.inode = st.st_ino;
    mark.size = st.st_size;
  }
  return mark;
}

// Tells whether a line starting with `prefix` (this process's ids) was
// appended to the file since `before`.
bool GainedOwnEntry(const std::string& path, const FileMark& before, const std::string& prefix) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  std::string added;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const bool same = before.exists && st.st_dev == before.device && st.st_ino == before.inode;
    const off_t from = same ? before.size : 0;
    std::string unread;  // a read error leaves what was read, which is all this looks at
    if (st.st_size > from && ::lseek(fd, from, SEEK_SET) == from) ReadDescriptor(fd, added, unread, added.max_size());
  }
  ::close(fd);
  for (std::size_t at = added.find(prefix); at != std::string::npos; at = added.find(prefix, at + 1)) {
    if (at == 0 || added[at - 1] == '\n') return true;
  }
  return false;
}

// Says why the logger refuses the pre-install file as it stands now.
std::string WhyRefused(const char* path) {
  struct stat st;
  if (::lstat(path, &st) != 0) return std::string("it cannot be created: ") + std::strerror(errno);
  if (S_ISLNK(st.st_mode)) return "it is a symbolic link";
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  if (st.st_nlink != 1) return "it has " + std::to_string(st.st_nlink) + " hard links";
  if (st.st_uid != ::geteuid() && st.st_uid != 0) {
    return "it belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "it is writable by group or others";
  return "it cannot be written";
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
    std::string xml;
    std::string reason;
    if (!Masked(request, xml, reason)) {
      status = Fail(ShownName(path) + ": " + reason);
      continue;
    }
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
    const std::string shown = ShownName(path);
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
    // A logger that opens the debug log only after falling back names it after the pre-install path.
    log.InitializeLogger();
    const bool readyFirst = log.IsReady();
    const std::string planned = readyFirst ? DebugLogPath(kLoggerName) : kPreInstallPath;
    const FileMark before = MarkOf(planned);
    if (log.LogXML(kLoggerName, &request, level, kind) != 0) {
      status = Fail(shown + ": cannot serialize the request");
      continue;
    }
    // Where the entry went is read back from the file, not assumed.
    const bool ready = log.IsReady();
    const std::string file = !ready ? kPreInstallPath : DebugLogPath(readyFirst ? kLoggerName : kPreInstallPath);
    const std::string ids = ready ? std::to_string(::getpid()) + " "
                                  : std::to_string(::getppid()) + "  " + std::to_string(::getpid()) + "  ";
    if (GainedOwnEntry(file, file == planned ? before : FileMark(), ids)) {
      const char* focus = ZUPI_Focus::getFocus();
      std::cout << shown << ": logged at level " << level << " to the " << (ready ? "debug log " : "pre-install file ")
                << file << (!ready && focus != nullptr && *focus != '\0' ? " (the runtime refused the debug log)" : "")
                << '\n';
      continue;
    }
    std::string why;
    const int debugLevel = EvDebug(nullptr).getDebugLevel();
    if (level == kCheckedXmlLevel && !isDebugLogLevelSet(kCheckedXmlLevel)) {
      why = "level 3 is not written: the logger skips XML entries at level 3";
    } else if (ready && level >= 0 && level > debugLevel) {
      why = "level " + std::to_string(level) + " is not written: the debug log " + file + " takes levels up to " +
            std::to_string(debugLevel);
    } else if (ready) {
      why = "the entry could not be written whole to the debug log " + file;
    } else {
      why = "the pre-install file " + file + " is refused: " + WhyRefused(file.c_str());
    }
    status = Fail(shown + ": dropped: " + why);
  }
  std::cout.flush();
  return std::cout ? status : Fail("cannot write to standard output");
}

}  // namespace zutool
