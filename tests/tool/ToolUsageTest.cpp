// zu-request's command line: help, version, usage errors and passwords kept off argv.
#include <gtest/gtest.h>

#include <regex>

#include "ToolTestSupport.h"

namespace tooltest {
namespace {

TEST(ToolUsage, HelpGoesToStdoutAndListsEverySubcommand) {
  const std::vector<std::vector<std::string>> asks = {
      {"--help"}, {"-h"}, {"show", "--help"}, {"log", "--level", "2", "--help"}, {"password", "-h"}};
  const ToolResult reference = RunTool({"--help"});
  for (const std::string usage :
       {"show [--json] FILE|-", "mask FILE|-", "log [--kind request|response] [--level N] FILE|-",
        "convert-passwords FILE|-", "password encrypt|encrypt-v8|decrypt|v8-to-v3|v3-to-v8", "packages ID...",
        "--version"}) {
    EXPECT_NE(reference.out.find(usage), std::string::npos) << usage << " missing from:\n" << reference.out;
  }
  for (const auto& args : asks) {
    const ToolResult run = RunTool(args);
    EXPECT_EQ(run.status, 0) << args[0];
    EXPECT_EQ(run.out, reference.out) << args[0];
    EXPECT_EQ(run.err, "") << args[0];
  }
}

TEST(ToolUsage, VersionGoesToStdout) {
  const ToolResult run = RunTool({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(std::regex_match(run.out, std::regex("zu-request [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << run.out;
  EXPECT_EQ(run.err, "");
}

TEST(ToolUsage, UsageErrorsExitTwoBeforeAnyFileIsReadAndNeverEchoAPassword) {
  const std::string request = Example("single-client-install.xml");
  const std::string secret = "Tr0ub4dor&3";  // passwords are never taken from the command line
  std::vector<std::vector<std::string>> mistakes = {
      {},
      {"bogus"},
      {"Show", request},
      {"show"},
      {"show", "--yaml", request},
      {"mask"},
      {"mask", request, "--bogus"},
      {"log"},
      {"log", "--kind", "sideways", request},
      {"log", "--kind"},
      {"log", "--level", "high", request},
      {"log", "--level", "99999999999", request},
      {"convert-passwords"},
      {"convert-passwords", "--all", request},
      {"password"},
      {"password", "rot13"},
      {"password", "encrypt", "decrypt"},
      {"packages"},
      {"packages", "12x"},
      {"packages", "-5"},
  };
  for (const char* operation : {"encrypt", "encrypt-v8", "decrypt", "v8-to-v3", "v3-to-v8"}) {
    mistakes.push_back({"password", operation, secret});
  }
  for (const auto& args : mistakes) {
    std::string shown;
    for (const std::string& arg : args) shown += arg + ' ';
    const ToolResult run = RunTool(args);
    EXPECT_EQ(run.status, 2) << shown << run.err;
    EXPECT_EQ(run.out, "") << shown;
    EXPECT_EQ(run.err.rfind("zu-request: ", 0), 0u) << shown << run.err;
    EXPECT_NE(run.err.find("zu-request --help"), std::string::npos) << shown << run.err;
    EXPECT_EQ(run.err.find(secret), std::string::npos) << shown << run.err;
  }
}

}  // namespace
}  // namespace tooltest
