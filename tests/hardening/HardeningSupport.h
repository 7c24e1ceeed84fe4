// What the hardening tests share beyond common/TestSupport.h: the request as
// the logger writes it, and peak memory.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"
#include "common/TestSupport.h"

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

// Serializes as the logger does; "<error N>" when the encoder refuses.
inline std::string Written(const CNMessageBase& message) {
  const EncodingFlags flags{true, false, false, 0, 0, -1, false, false, true, false, 1};
  XMLEncoder encoder(flags, nullptr);
  std::string xml;
  const int error = encoder.serialize(&message, xml, false);
  return error == 0 ? xml : "<error " + std::to_string(error) + ">";
}

// How far the resident size rises above where it stood at construction; the
// kernel's peak mark is reset first, so earlier tests do not count.
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
