// What a request can do to the logs: values that end in a secret name must
// not unmask the secret after them, and no value may start a line of its own.
#include <gtest/gtest.h>

#include <iterator>
#include <nlohmann/json.hpp>

#include <regex>
#include <string>
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
  std::string Log() const { return ReadFile(dir_ / "logs/leak.log"); }
};

struct Attribute {
  std::size_t start;  // of the value
  std::size_t end;
  std::string name;
};

// The attributes of the example, and the secret values among them.
std::vector<Attribute> AttributesOf(const std::string& xml, std::vector<std::string>& secrets) {
  std::vector<Attribute> attributes;
  const std::regex attribute(R"(([A-Za-z0-9]+)="([^"]*)\")");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), attribute); it != std::sregex_iterator(); ++it) {
    const std::size_t start = static_cast<std::size_t>(it->position(2));
    attributes.push_back({start, start + static_cast<std::size_t>(it->length(2)), (*it)[1]});
    for (const char* name : kSecretNames) {
      if ((*it)[1] == name) secrets.push_back((*it)[2]);
    }
  }
  return attributes;
}

TEST_F(DebugLogged, AValueEndingInASecretNameNeverUnmasksTheSecretsAfterIt) {
  const std::string example = ReadFile(std::string(ZU_EXAMPLES_DIR) + "/bulk-install.xml");
  std::vector<std::string> secrets;
  const std::vector<Attribute> attributes = AttributesOf(example, secrets);
  ASSERT_EQ(secrets.size(), 5u) << "a login password, three client passwords and an authorization code";
  ZUSimLog log("leak");
  int logged = 0;
  for (const Attribute& attribute : attributes) {
    for (const char* name : kSecretNames) {
      std::string xml = example;
      xml.replace(attribute.start, attribute.end - attribute.start, std::string("svc-") + name + "=");
      ZUInstallManager::ClientSetup request;
      std::string error;
      // Numbers, booleans and enumerations refuse the text: only string attributes load.
      if (ConvertStringToClientSetup(xml, &request, error) != 0) continue;
      ASSERT_EQ(log.LogXML("fn", &request, 1, 1), 0);
      ++logged;
    }
  }
  // Every string attribute of the example took each name, one entry each.
  EXPECT_GE(logged, 5 * 30);
  const std::vector<std::string> lines = zutest::SplitLines(Log());
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(logged));
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
    {"marker subject", [](ZUSimLog& log) { log.AddClientMarker("c1", kForged, 0); }, kForgedShown},
    {"platform marker", [](ZUSimLog& log) { log.AddPlatformMarker("install", kForged); }, kForgedShown},
    {"phase marker", [](ZUSimLog& log) { log.AddPhaseMarker(kForged, "started"); }, kForgedShown},
    {"logged request", [](ZUSimLog& log) {
       ZUInstallManager::ClientSetup request;
       std::string error;
       ConvertStringToClientSetup(R"(<ClientSetup><clientComposition><clientInfo><client><clientEntity )"
                                  R"(clientName="a&#10;b&#13;"/></client></clientInfo></clientComposition></ClientSetup>)",
                                  &request, error);
       log.LogXML("fn", &request, 0, 1);
     }, "clientName=\"a&#10;b&#13;\""},
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
  const struct {
    const char* text;
    const char* decoded;
  } cases[] = {
      {"caf\xc3\xa9 \"q\" \\ \n\r\t\x01\x7f", "caf\xc3\xa9 \"q\" \\ \n\r\t\x01\x7f"},
      {"a\xff\xfe", "a\xef\xbf\xbd\xef\xbf\xbd"},       // not UTF-8 at all
      {"cut \xc3", "cut \xef\xbf\xbd"},                      // truncated sequence
      {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},             // overlong "/"
      {"\xed\xa0\x80 \xf4\x90\x80\x80", nullptr},          // surrogate, above U+10FFFF
  };
  ZUSimLog log("leak");
  for (const auto& c : cases) log.SendEventToConsole(1033, 7, EVENT_CRITICAL, "%s %d", c.text, 5);
  const std::vector<std::string> lines = zutest::SplitLines(ReadFile(dir_ / "logs/ConsoleEvents.log"));
  ASSERT_EQ(lines.size(), std::size(cases));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const nlohmann::json event = nlohmann::json::parse(lines[i], nullptr, false);
    ASSERT_FALSE(event.is_discarded()) << lines[i];
    EXPECT_EQ(event["args"][1], 5);
    const std::string text = event["args"][0];
    if (cases[i].decoded != nullptr) {
      EXPECT_EQ(text, cases[i].decoded);
    } else {
      EXPECT_NE(text.find("\xef\xbf\xbd"), std::string::npos) << text;
    }
  }
}

TEST(MaskInformationKey, CountsOnlyOutsideQuotedValues) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {R"(<u userName="svc-password=" password="s"/>)", R"(<u userName="svc-password=" password="********"/>)"},
      {R"(<u a='x password="' password="s"/>)", R"(<u a='x password="' password="********"/>)"},
      {R"(<a>it"s</a><u password="s"/>)", R"(<a>it"s</a><u password="********"/>)"},
      {R"(<!-- ' --><u password="s"/>)", R"(<!-- ' --><u password="********"/>)"},
      {R"(<u password="s/><v password="t"/>)", R"(<u password="********<v password="********"/>)"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    MaskInformation(text, "password=\"", 8);
    EXPECT_EQ(text, c.expected);
  }
}

}  // namespace
