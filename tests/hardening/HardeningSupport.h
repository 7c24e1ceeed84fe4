// What the hardening tests share: a private scratch directory, the fixed
// pre-install path moved aside and restored, the runtime's environment set
// per test, request helpers and peak memory.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "common/TestSupport.h"
#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZU_HARDENING_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZU_HARDENING_SANITIZED 1
#endif
#endif
#ifndef ZU_HARDENING_SANITIZED
#define ZU_HARDENING_SANITIZED 0
#endif

namespace hardening {

constexpr char kPreInstallPath[] = "/tmp/ZuInstallMgrPreInstall.log";

using zutest::ScratchDir;

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Moves whatever stands at the pre-install path aside for the test's life and
// puts it back afterwards, removing what the test left there. Tests using it
// hold the ctest resource lock preinstall_log.
class PreInstallPathGuard {
 public:
  PreInstallPathGuard() : saved_(std::string(kPreInstallPath) + ".saved-" + std::to_string(::getpid())) {
    had_ = Exists(kPreInstallPath) && std::rename(kPreInstallPath, saved_.c_str()) == 0;
  }
  ~PreInstallPathGuard() {
    std::error_code ignored;
    std::filesystem::remove_all(kPreInstallPath, ignored);
    if (had_) std::rename(saved_.c_str(), kPreInstallPath);
  }
  PreInstallPathGuard(const PreInstallPathGuard&) = delete;
  PreInstallPathGuard& operator=(const PreInstallPathGuard&) = delete;

 private:
  std::string saved_;
  bool had_ = false;
};

// Sets ZU_LOG_DIR and ZU_FOCUS (null: unset) for the test's life.
class RuntimeEnvironment {
 public:
  RuntimeEnvironment(const std::string& logDirectory, const char* focus) {
    ::setenv("ZU_LOG_DIR", logDirectory.c_str(), 1);
    if (focus != nullptr) {
      ::setenv("ZU_FOCUS", focus, 1);
    } else {
      ::unsetenv("ZU_FOCUS");
    }
    ::unsetenv("ZU_DEBUG_LEVEL");
  }
  ~RuntimeEnvironment() {
    ::unsetenv("ZU_LOG_DIR");
    ::unsetenv("ZU_FOCUS");
  }
  RuntimeEnvironment(const RuntimeEnvironment&) = delete;
  RuntimeEnvironment& operator=(const RuntimeEnvironment&) = delete;
};

// Serializes as the logger does; "<error N>" when the encoder refuses.
inline std::string Written(const CNMessageBase& message) {
  const EncodingFlags flags{true, false, false, 0, 0, -1, false, false, true, false, 1};
  XMLEncoder encoder(flags, nullptr);
  std::string xml;
  const int error = encoder.serialize(&message, xml, false);
  return error == 0 ? xml : "<error " + std::to_string(error) + ">";
}

// Measures how far the resident size rises above where it stood at
// construction: the kernel's peak mark is reset first, so earlier tests in
// the same process do not count.
class PeakMemory {
 public:
  PeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
    baseline_ = StatusBytes("VmRSS:");
  }
  long long growth() const { return StatusBytes("VmHWM:") - baseline_; }

 private:
  static long long StatusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.compare(0, field.size(), field) == 0) return std::stoll(line.substr(field.size())) * 1024;
    }
    return 0;
  }
  long long baseline_ = 0;
};

constexpr long long kMiB = 1024 * 1024;

}  // namespace hardening
