// What a request can do to the logs: values that end in a secret name must
// not unmask the secret after them, no value may start a line of its own, and
// no text may make a console event that is not JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"
#include "common/TestSupport.h"

namespace {

using zutest::ReadFile;

const char* const kSecretNames[] = {"password", "clientPassword", "pAccess", "pExecAccess", "authCode"};

// The debug log of an instance in a scratch directory.
class DebugLogged : public ::testing::Test {
 protected:
  zutest::ScratchDir dir_;
  zutest::EnvGuard env_{{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", dir_ / "logs"}, {"ZU_DEBUG_LEVEL", "5"}};
};

TEST_F(DebugLogged, AValueEndingInASecretNameNeverUnmasksTheSecretsAfterIt) {
  const std::string example = ReadFile(std::string(ZU_EXAMPLES_DIR) + "/bulk-install.xml");
  const std::regex attribute(R"(([A-Za-z0-9]+)="([^"]*)\")");
  const std::sregex_iterator begin(example.begin(), example.end(), attribute), end;
  std::vector<std::string> secrets;
  for (auto it = begin; it != end; ++it) {
    if (std::count(std::begin(kSecretNames), std::end(kSecretNames), (*it)[1]) != 0) secrets.push_back((*it)[2]);
  }
  ASSERT_EQ(secrets.size(), 5u) << "a login password, three client passwords and an authorization code";
  ZUSimLog log("leak");
  std::size_t logged = 0;
  for (auto it = begin; it != end; ++it) {
    for (const char* name : kSecretNames) {
      std::string xml = example;
      xml.replace(static_cast<std::size_t>(it->position(2)), static_cast<std::size_t>(it->length(2)),
                  std::string("svc-") + name + "=");
      ZUInstallManager::ClientSetup request;
      std::string error;
      // Numbers, booleans and enumerations refuse the text: only string attributes load.
      if (ConvertStringToClientSetup(xml, &request, error) != 0) continue;
      ASSERT_EQ(log.LogXML("fn", &request, 1, 1), 0);
      ++logged;
    }
  }
  EXPECT_GE(logged, 5u * 30) << "every string attribute of the example takes each name";
  const std::vector<std::string> lines = zutest::SplitLines(ReadFile(dir_ / "logs/leak.log"));
  ASSERT_EQ(lines.size(), logged);
  for (const std::string& line : lines) {
    for (const std::string& secret : secrets) ASSERT_EQ(line.find(secret), std::string::npos) << line;
  }
}

// Each way a request's value reaches an entry, with the text it must leave.
struct Forgery {
  const char* how;
  void (*write)(ZUSimLog&);
  const char* shown;
};

constexpr char kForged[] = "a\n1  2  2026/01/01 00:00:00 forged\r\t\x01";
constexpr char kForgedShown[] = "a\\n1  2  2026/01/01 00:00:00 forged\\r\\t\\x01";

const Forgery kForgeries[] = {
    {"client marker", [](ZUSimLog& log) { log.AddClientMarker(kForged, "p1", 14); }, kForgedShown},
    {"platform marker", [](ZUSimLog& log) { log.AddPlatformMarker("install", kForged); }, kForgedShown},
    {"phase marker", [](ZUSimLog& log) { log.AddPhaseMarker(kForged, "started"); }, kForgedShown},
    {"logged text", [](ZUSimLog& log) { log.LogXML("fn", "<u a=\"x\ny\"/>\n", 0, 2); }, "<u a=\"x\\ny\"/>"},
};

// Writes every forgery and expects one line each, holding its escaped text.
void ExpectOneLineEach(const std::string& path) {
  ZUSimLog log("leak");
  for (const Forgery& forgery : kForgeries) forgery.write(log);
  const std::vector<std::string> lines = zutest::SplitLines(ReadFile(path));
  ASSERT_EQ(lines.size(), std::size(kForgeries)) << ReadFile(path);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_NE(lines[i].find(kForgeries[i].shown), std::string::npos) << kForgeries[i].how << ": " << lines[i];
  }
}

TEST_F(DebugLogged, ARequestValueNeverStartsALineOfItsOwn) { ExpectOneLineEach(dir_ / "logs/leak.log"); }

TEST(PreInstallLogged, ARequestValueNeverStartsALineOfItsOwn) {
  const zutest::PreInstallPathGuard guard;
  const zutest::EnvGuard env{{"ZU_FOCUS", std::nullopt}};
  ExpectOneLineEach(zutest::kPreInstallPath);
}

TEST_F(DebugLogged, EveryConsoleEventIsOneLineOfJsonWhateverItsTextsHold) {
  const std::pair<const char*, const char*> cases[] = {
      // text, as decoded
      {"caf\xc3\xa9 \"q\" \\ \n\r\t\x01\x7f", "caf\xc3\xa9 \"q\" \\ \n\r\t\x01\x7f"},
      {"a\xff\xfe", "a\xef\xbf\xbd\xef\xbf\xbd"},  // not UTF-8 at all
      {"cut \xc3", "cut \xef\xbf\xbd"},            // truncated sequence
      {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},    // overlong "/"
  };
  ZUSimLog log("leak");
  for (const auto& c : cases) log.SendEventToConsole(1033, 7, EVENT_CRITICAL, "%s %d", c.first, 5);
  const std::vector<std::string> lines = zutest::SplitLines(ReadFile(dir_ / "logs/ConsoleEvents.log"));
  ASSERT_EQ(lines.size(), std::size(cases));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(nlohmann::json::parse(lines[i])["args"], nlohmann::json::array({cases[i].second, 5})) << lines[i];
  }
}

}  // namespace
