// What a request can do to the logs: values that end in a secret name must
// not unmask the secret after them, no value may start a line of its own, and
// no text may make a console event that is not JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "MaskModel.h"
#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"
#include "common/TestSupport.h"

namespace {

using zutest::ReadFile;

// The debug log of an instance in a scratch directory.
class DebugLogged : public ::testing::Test {
 protected:
  zutest::ScratchDir dir_;
  zutest::EnvGuard env_{{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", dir_ / "logs"}, {"ZU_DEBUG_LEVEL", "5"}};
};

// Whatever every other value of a request holds (a secret name and "=" at its end, quotes, apostrophes, "<"),
// the logged request is exactly the serialization of a copy whose secrets already hold the mask.
TEST_F(DebugLogged, ALoggedRequestIsItsCopyWithTheMaskInItsSecrets) {
  const std::string example = ReadFile(std::string(ZU_EXAMPLES_DIR) + "/bulk-install.xml");
  std::vector<std::string> values = {"x' password='y", "a\"b<c>&d", "pAccess = 'p", "it's authCode=\"a"};
  for (const char* name : zufuzz::kSecretNames) values.insert(values.end(), {std::string("svc-") + name + "=", name});
  ZUSimLog log("leak");
  std::vector<std::string> expected;
  for (std::size_t shift = 0; shift < values.size(); ++shift) {
    std::rotate(values.begin(), values.begin() + 1, values.end());
    ZUInstallManager::ClientSetup request, copy;
    ASSERT_EQ(request.unserialize(example), 0);
    ASSERT_EQ(copy.unserialize(example), 0);
    zufuzz::SetTexts(request, values, "~secret~");
    zufuzz::SetTexts(copy, values, "********");
    ASSERT_EQ(log.LogXML("fn", &request, 1, 1), 0);
    expected.push_back("XML Request :" + zufuzz::MustSerialize(copy, "the copy serializes"));
  }
  std::vector<std::string> texts;
  for (const std::string& line : zutest::SplitLines(ReadFile(dir_ / "logs/leak.log")))
    texts.push_back(line.substr(line.find("XML Request :")));
  EXPECT_EQ(texts, expected);
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
    // Regressions: a forged entry in a text or an argument, such as a client name or a response's error text.
    {"plain text", [](ZUSimLog& log) { log.LogMessage("fn", 0, kForged); }, kForgedShown},
    {"formatted argument", [](ZUSimLog& log) { log.LogMessageV("fn", 0, "error [%s]", kForged); }, kForgedShown},
    {"format text", [](ZUSimLog& log) { log.LogMessageV("fn", 0, "a\nb\r\x1b[2J\n"); }, "a\\nb\\r\\x1b[2J"},
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
