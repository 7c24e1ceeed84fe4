// Shared by the runtime tests: a private log directory per test and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zu_test {

// Points ZU_LOG_DIR at a fresh directory and clears the other variables; the
// directory is removed afterwards.
class RuntimeEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zu-runtime-test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    logDir_ = root_ + "/logs";
    setenv("ZU_LOG_DIR", logDir_.c_str(), 1);
    unsetenv("ZU_DEBUG_LEVEL");
    unsetenv("ZU_FOCUS");
  }
  void TearDown() override {
    unsetenv("ZU_LOG_DIR");
    unsetenv("ZU_DEBUG_LEVEL");
    unsetenv("ZU_FOCUS");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  std::string root_;
  std::string logDir_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Splits after each line feed, keeping it; a last unterminated piece is kept too.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

}  // namespace zu_test
