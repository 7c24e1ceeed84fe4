// What the logger tests share: a private log directory per test, the runtime
// stand-in steered through its environment, and readers for what was written.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace logtest {

constexpr char kPreInstallPath[] = "/tmp/ZuInstallMgrPreInstall.log";

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One line of the stand-in's debug log.
struct DebugLine {
  long pid = 0;
  long long jobId = 0;
  int level = 0;
  std::string text;
};

// Checks that `entry` is one pre-install entry of this process written no
// earlier than `since`, and returns its text.
inline ::testing::AssertionResult IsOwnPreInstallEntry(const std::string& entry, std::time_t since,
                                                       std::string* text = nullptr) {
  const std::string ids = std::to_string(getppid()) + "  " + std::to_string(getpid()) + "  ";
  if (entry.compare(0, ids.size(), ids) != 0) {
    return ::testing::AssertionFailure() << "no \"" << ids << "\" at the start of: " << entry.substr(0, 80);
  }
  const std::string stamp = entry.substr(ids.size(), 19);
  struct tm local = {};
  const char* end = strptime(stamp.c_str(), "%Y/%m/%d %H:%M:%S", &local);
  local.tm_isdst = -1;
  const std::time_t seconds = end != nullptr && *end == '\0' && stamp.size() == 19 ? std::mktime(&local) : -1;
  if (seconds < since || seconds > std::time(nullptr)) {
    return ::testing::AssertionFailure() << "time \"" << stamp << "\" is not the time of the write";
  }
  if (entry.size() < ids.size() + 20 || entry[ids.size() + 19] != ' ') {
    return ::testing::AssertionFailure() << "no blank after the time";
  }
  if (text != nullptr) *text = entry.substr(ids.size() + 20);
  return ::testing::AssertionSuccess();
}

// Gives each test an empty log directory and no focus; the pre-install file
// is removed before and after.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zu-log-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ClearEnvironment();
    setenv("ZU_LOG_DIR", dir_.c_str(), 1);
    since_ = std::time(nullptr);
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    ClearEnvironment();
  }

  static void ClearEnvironment() {
    for (const char* name : {"ZU_LOG_DIR", "ZU_FOCUS", "ZU_DEBUG_LEVEL"}) unsetenv(name);
    std::error_code ignored;
    std::filesystem::remove(kPreInstallPath, ignored);
  }

  static void SetFocus(const char* focus) { setenv("ZU_FOCUS", focus, 1); }
  static void SetDebugLevel(int level) { setenv("ZU_DEBUG_LEVEL", std::to_string(level).c_str(), 1); }

  std::string LogPath(const std::string& name) const { return dir_ + "/" + name + ".log"; }

  // Every line of the debug log `name`: "PID TID YYYY/MM/DD HH:MM:SS JOBID LEVEL TEXT".
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

  // The texts of the pre-install file's entries, each checked to be this
  // process's and stamped with the time of the test.
  std::vector<std::string> PreInstallTexts() const {
    std::vector<std::string> texts;
    for (const std::string& line : SplitLines(ReadFile(kPreInstallPath))) {
      std::string text;
      EXPECT_TRUE(IsOwnPreInstallEntry(line, since_, &text));
      texts.push_back(text);
    }
    return texts;
  }

  std::string dir_;
  std::time_t since_ = 0;
};

}  // namespace logtest
