// What the logger tests share: a private log directory per test, the runtime
// stand-in steered through its environment, and readers for what was written.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "ZUInstallLog.h"

namespace logtest {

using zutest::kPreInstallPath;
using zutest::ReadFile;
using zutest::SplitLines;

// One line of the stand-in's debug log.
struct DebugLine { long pid = 0; long long jobId = 0; int level = 0; std::string text; };

// Each test: an empty log directory, no focus, no debug level, nothing at the
// pre-install path.
class LogTest : public ::testing::Test {
 protected:
  static void SetFocus(const char* focus) { setenv("ZU_FOCUS", focus, 1); }
  static void SetDebugLevel(int level) { setenv("ZU_DEBUG_LEVEL", std::to_string(level).c_str(), 1); }
  std::string LogPath(const std::string& name) const { return dir_ / (name + ".log"); }

  // Every line of debug log `name`: "PID TID YYYY/MM/DD HH:MM:SS JOBID LEVEL TEXT".
  std::vector<DebugLine> DebugLines(const std::string& name) const {
    std::vector<DebugLine> lines;
    for (const std::string& raw : SplitLines(ReadFile(LogPath(name)))) {
      std::istringstream in(raw);
      DebugLine line;
      std::string tid, date, time;
      EXPECT_TRUE(in >> line.pid >> tid >> date >> time >> line.jobId >> line.level && in.get() == ' ') << raw;
      std::getline(in, line.text, '\0');
      lines.push_back(line);
    }
    return lines;
  }
  std::vector<std::string> DebugTexts(const std::string& name) const {
    std::vector<std::string> texts;
    for (const DebugLine& line : DebugLines(name)) texts.push_back(line.text);
    return texts;
  }

  // Checks that `entry` is "PPID  PID  YYYY/MM/DD HH:MM:SS TEXT" of this
  // process, stamped during the test, and hands out TEXT.
  ::testing::AssertionResult OwnEntry(const std::string& entry, std::string& text) const {
    const std::string ids = std::to_string(getppid()) + "  " + std::to_string(getpid()) + "  ";
    struct tm local = {};
    const char* end = entry.rfind(ids, 0) == 0 ? strptime(entry.c_str() + ids.size(), "%Y/%m/%d %H:%M:%S", &local)
                                               : nullptr;
    local.tm_isdst = -1;
    const std::time_t stamp = end == entry.c_str() + ids.size() + 19 && *end == ' ' ? std::mktime(&local) : -1;
    if (stamp < since_ || stamp > std::time(nullptr)) return ::testing::AssertionFailure() << "not own: " << entry;
    text = entry.substr(ids.size() + 20);
    return ::testing::AssertionSuccess();
  }

  // The texts of the pre-install file's entries, one per line.
  std::vector<std::string> PreInstallTexts() const {
    std::vector<std::string> texts;
    for (const std::string& line : SplitLines(ReadFile(kPreInstallPath))) {
      EXPECT_TRUE(OwnEntry(line, texts.emplace_back()));
    }
    return texts;
  }

  zutest::PreInstallPathGuard preInstall_;
  zutest::ScratchDir dir_;
  zutest::EnvGuard env_{{"ZU_LOG_DIR", dir_.path().string()}, {"ZU_FOCUS", std::nullopt}, {"ZU_DEBUG_LEVEL", std::nullopt}};
  std::time_t since_ = std::time(nullptr);
};

}  // namespace logtest
