// Running the built zu-request binary, and what its tests share.
#pragma once

#include <sys/wait.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <regex>

#include "ZUInstallUtils.h"
#include "common/TestSupport.h"

namespace tooltest {

using zutest::ReadFile;
using zutest::ScratchDir;
using zutest::SplitLines;

constexpr std::size_t npos = std::string::npos;
constexpr char kSecrets[] = "password|clientPassword|pAccess|pExecAccess|authCode";

// The exit status (128 + signal when killed) and what the tool wrote.
struct ToolResult {
  int status;
  std::string out, err;
};

inline std::string Quoted(const std::string& text) {
  return '\'' + std::regex_replace(text, std::regex("'"), "'\\''") + '\'';
}

// Runs zu-request with `input` on stdin, ZU_FOCUS and ZU_DEBUG_LEVEL unset and
// ZU_LOG_DIR private, before `env` (nullopt unsets) is applied.
inline ToolResult RunTool(const std::vector<std::string>& args, const std::string& input = "",
                          const std::vector<std::pair<std::string, std::optional<std::string>>>& env = {}) {
  const ScratchDir scratch;
  std::string unset = " -u ZU_FOCUS -u ZU_DEBUG_LEVEL", set = " ZU_LOG_DIR=" + Quoted(scratch / "log");
  for (const auto& [name, value] : env) value ? set += ' ' + name + '=' + Quoted(*value) : unset += " -u " + name;
  std::string command = "env" + unset + set + ' ' + Quoted(ZU_REQUEST_TOOL);
  for (const std::string& arg : args) command += ' ' + Quoted(arg);
  command +=
      " <" + Quoted(scratch.write("in", input)) + " >" + Quoted(scratch / "out") + " 2>" + Quoted(scratch / "err");
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(scratch / "out"),
          ReadFile(scratch / "err")};
}

inline std::string Example(const char* name) { return std::string(ZU_EXAMPLES_DIR) + "/" + name; }

inline std::vector<std::string> ExampleRequests() {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(ZU_EXAMPLES_DIR))
    if (entry.path().extension() == ".xml") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

// The values of the attributes whose whole name matches `names` (a regex), in order.
inline std::vector<std::string> AttributeValues(const std::string& xml, const std::string& names = kSecrets) {
  std::vector<std::string> values;
  const std::regex attribute("\\s(?:" + names + ")=\"([^\"]*)\"");
  for (std::sregex_iterator it(xml.begin(), xml.end(), attribute), end; it != end; ++it) values.push_back((*it)[1]);
  return values;
}

// The plain text of a stored password; fails the current test when it cannot.
inline std::string Decrypt(const std::string& text) {
  char *plain = nullptr, error[1024] = {};
  const int result = ZUDecryptPassword(text.c_str(), &plain, error);
  EXPECT_EQ(result, 0) << "cannot decrypt " << text << ": " << error;
  return result == 0 ? std::unique_ptr<char[]>(plain).get() : "";
}

// Fails for every secret of the examples, stored or decrypted, found in `text`.
inline void ExpectNoSecret(const std::string& text, const std::string& where) {
  static const std::vector<std::string> secrets = [] {
    std::vector<std::string> all;
    for (const std::string& path : ExampleRequests())
      for (const std::string& v : AttributeValues(ReadFile(path))) {
        all.push_back(v);  // the authorization code is stored plain, passwords in a cipher form
        if (v.compare(0, 3, "V3:") == 0 || v.compare(0, 3, "V8:") == 0) all.push_back(Decrypt(v));
      }
    return all;
  }();
  EXPECT_GE(secrets.size(), 8u) << "the examples hold fewer passwords than these checks assume";
  for (const std::string& secret : secrets) EXPECT_EQ(text.find(secret), npos) << where << " shows " << secret;
}

// Every string value (not member names) of one JSON document; fails the current
// test when `document` is not exactly one valid JSON value.
inline std::vector<std::string> JsonStrings(const std::string& document) {
  std::vector<std::string> strings;
  const auto collect = [&](int, nlohmann::json::parse_event_t event, nlohmann::json& value) {
    if (event == nlohmann::json::parse_event_t::value && value.is_string()) strings.push_back(value);
    return true;
  };
  EXPECT_FALSE(nlohmann::json::parse(document, collect, false).is_discarded()) << "not one JSON value:\n" << document;
  return strings;
}

}  // namespace tooltest
