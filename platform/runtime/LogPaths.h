// Where the runtime stand-in writes its logs. Header-only and free of the
// runtime's internals, so that zu-request can read back the entries it logged.
#pragma once

#include <cstdlib>
#include <string>

namespace zu_runtime {

// Returns $ZU_LOG_DIR, or /var/log/zu when it is unset or empty.
inline std::string LogDirectory() {
  const char* dir = std::getenv("ZU_LOG_DIR");
  return (dir != nullptr && *dir != '\0') ? std::string(dir) : std::string("/var/log/zu");
}

// Returns the file name of debug log `logName` in the log directory: its base
// name, ".log" appended unless present; empty for a name that ends in '/'.
inline std::string LogFileName(const std::string& logName) {
  const std::size_t slash = logName.rfind('/');
  std::string base = slash == std::string::npos ? logName : logName.substr(slash + 1);
  static constexpr char kSuffix[] = ".log";
  constexpr std::size_t kSuffixLength = sizeof kSuffix - 1;
  if (!base.empty() &&
      (base.size() < kSuffixLength || base.compare(base.size() - kSuffixLength, kSuffixLength, kSuffix) != 0)) {
    base += kSuffix;
  }
  return base;
}

}  // namespace zu_runtime
