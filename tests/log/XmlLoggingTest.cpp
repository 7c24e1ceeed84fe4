// Whole requests and XML texts in the log: headings, failures, the level-3
// rule, and no password value ever reaching a log.
#include <iterator>
#include <random>

#include "LogTestSupport.h"
#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"

namespace {

using logtest::kPreInstallPath;
using ZUInstallManager::ClientSetup;

class XmlLogging : public logtest::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    SetFocus("Instance001");
    SetDebugLevel(5);
  }

  static void Load(const std::string& xml, ClientSetup& request) {
    std::string error;
    ASSERT_EQ(ConvertStringToClientSetup(xml, &request, error), 0) << error << "\n" << xml;
  }
};

TEST_F(XmlLogging, HeadingFollowsKindWithNothingBetweenItAndTheText) {
  const std::pair<int, const char*> kinds[] = {
      {1, "XML Request :"}, {2, "XML Response :"}, {4, "Stored Procedure Input :"},
      {5, "Stored Procedure Output :"}, {0, ""}, {3, ""}, {6, ""}, {-1, ""},
  };
  ZUSimLog log("Installer");
  std::vector<std::string> expected;
  for (const auto& [kind, heading] : kinds) {
    const std::string xml = "<ClientSetup jobId=\"" + std::to_string(kind) + "\"/>";
    EXPECT_EQ(log.LogXML("fn", xml.c_str(), 1, kind), 0);
    expected.push_back(heading + xml);
  }
  EXPECT_EQ(DebugTexts("Installer"), expected);
}

TEST_F(XmlLogging, MessageIsSerializedMaskedAndWrittenWithTheJobId) {
  ClientSetup request;
  Load(R"(<ClientSetup jobId="12" operationType="0">
            <clientAuthentication><userAccount userName="svc" password="Secret-One"/></clientAuthentication>
            <clientComposition><clientInfo><client clientPassword="V8:Zm9vYmFy" zudPort="8400"/></clientInfo>
            </clientComposition></ClientSetup>)",
       request);
  ZUSimLog log("Installer");
  log.jobId = 99;
  EXPECT_EQ(log.LogXML("fn", &request, 1, 1), 0);

  const std::vector<logtest::DebugLine> lines = DebugLines("Installer");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].jobId, 99);
  EXPECT_EQ(lines[0].level, 1);
  EXPECT_EQ(lines[0].text,
            "XML Request :<ClientSetup jobId=\"12\" operationType=\"0\"><clientAuthentication>"
            "<userAccount userName=\"svc\" password=\"********\"/></clientAuthentication><clientComposition>"
            "<clientInfo><client clientPassword=\"********\" zudPort=\"8400\"/></clientInfo></clientComposition>"
            "</ClientSetup>");
}

TEST_F(XmlLogging, NullMessageOrTextLogsInvalidInputXmlAtMinusOne) {
  ZUSimLog log("Installer");
  EXPECT_EQ(log.LogXML("fn", static_cast<CNMessageBase*>(nullptr), 0, 1), -1);
  EXPECT_EQ(log.LogXML("fn", static_cast<const char*>(nullptr), 0, 1), -1);
  const std::vector<logtest::DebugLine> lines = DebugLines("Installer");
  ASSERT_EQ(lines.size(), 2u);
  for (const logtest::DebugLine& line : lines) {
    EXPECT_EQ(line.text, "Invalid input XML");
    EXPECT_EQ(line.level, -1);
  }
}

TEST_F(XmlLogging, SerializeFailureLogsTheEncoderNumberAndEndsWithTwoLineFeeds) {
  unsetenv("ZU_FOCUS");
  ClientSetup request;
  Load(R"(<ClientSetup jobId="1"><dxInfo/></ClientSetup>)", request);
  // XML cannot carry invalid UTF-8, so it is set through the field API.
  zumsg::objectCreate<ClientSetup::dxInfo>(request).setstring(ZUInstallManager::DXInfo::connectionUrl,
                                                              std::string("https://\xff\xfe"));
  ZUSimLog log("Installer");
  EXPECT_EQ(log.LogXML("fn", &request, 0, 1), -1);

  const std::string file = logtest::ReadFile(kPreInstallPath);
  std::string text;
  ASSERT_TRUE(logtest::IsOwnPreInstallEntry(file, since_, &text));
  EXPECT_EQ(text, "Failed to serialize XML, check XML format error " + std::to_string(XMLEncoder::kInvalidUtf8) +
                      "\n\n");
}

TEST_F(XmlLogging, MessageAtLevelThreeIsSkippedWhileTextAtLevelThreeIsWritten) {
  ClientSetup request;
  Load(R"(<ClientSetup jobId="3"/>)", request);
  ZUSimLog log("Installer");
  EXPECT_EQ(log.LogXML("fn", &request, 3, 1), 0);
  EXPECT_EQ(log.LogXML("fn", static_cast<CNMessageBase*>(nullptr), 3, 1), 0);
  EXPECT_EQ(log.LogXML("fn", "<ClientSetup jobId=\"3\"/>", 3, 1), 0);
  EXPECT_EQ(DebugTexts("Installer"), std::vector<std::string>{"XML Request :<ClientSetup jobId=\"3\"/>"});
}

TEST_F(XmlLogging, MasksAsIfTheFourNamesWereMaskedOneAfterAnother) {
  // Fragments that make the names overlap, nest in values and miss their quotes.
  const char* pieces[] = {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\"", "\"", " ", "=",
                          "/>", "x", "Password=\"", "new", "pExec", "client", "*", "Access=\"", "word=\""};
  std::mt19937 random(11);
  std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1), length(0, 30);
  std::vector<std::string> expected;
  ZUSimLog log("Installer");
  for (int round = 0; round < 3000; ++round) {
    std::string text = "<";  // never empty, so each entry is one line
    for (std::size_t n = length(random); n > 0; --n) text += pieces[piece(random)];
    ASSERT_EQ(log.LogXMLString("fn", text, 1, 0), 0);
    for (const char* key : {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\""}) {
      MaskInformation(text, key, 8);
    }
    expected.push_back(text);
  }
  const std::vector<std::string> texts = DebugTexts("Installer");
  ASSERT_EQ(texts.size(), expected.size());
  for (std::size_t i = 0; i < texts.size(); ++i) ASSERT_EQ(texts[i], expected[i]) << "entry " << i;
}

// Escapes a value for an XML attribute.
std::string Escaped(const std::string& value) {
  std::string out;
  for (char c : value) {
    const char* entity = c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '"' ? "&quot;" : nullptr;
    out += entity != nullptr ? std::string(entity) : std::string(1, c);
  }
  return out;
}

TEST_F(XmlLogging, RandomPasswordsNeverReachTheLogOnEitherPath) {
  std::mt19937 random(20261207);
  const std::string alphabet =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 \"'<>&/=:+*!?#%;,.-_";
  std::vector<std::string> secrets;
  // A new secret, remembered; "#" marks it as a test secret, so it cannot occur by chance.
  auto password = [&] {
    std::uniform_int_distribution<std::size_t> length(8, 40), pick(0, alphabet.size() - 1);
    std::string value = "#";
    for (std::size_t n = length(random); n > 0; --n) value += alphabet[pick(random)];
    secrets.push_back(value);
    return Escaped(value);
  };
  for (int round = 0; round < 60; ++round) {
    if (round % 2 == 0) SetFocus("Instance001"); else unsetenv("ZU_FOCUS");

    std::string xml = "<ClientSetup jobId=\"" + std::to_string(round) +
                      "\"><clientAuthentication><userAccount userName=\"svc\" password=\"" + password() +
                      "\"/></clientAuthentication>";
    for (int client = 0; client < 1 + round % 3; ++client) {
      xml += "<clientComposition><clientInfo><client" + std::string(client % 2 ? " zudPort=\"1\"" : "") +
             " clientPassword=\"" + password() + "\"/></clientInfo></clientComposition>";
    }
    ClientSetup request;
    Load(xml + "</ClientSetup>", request);
    // Attributes the message model does not hold are logged as text.
    const std::string text = "<Proc pExecAccess=\"" + password() + "\" pAccess=\"" + password() + "\"/>";

    ZUSimLog log("Installer");
    ASSERT_EQ(log.LogXML("fn", &request, 1, 1 + round % 2), 0);
    ASSERT_EQ(log.LogXML("fn", text.c_str(), 1, 4), 0);
  }
  const std::string logged = logtest::ReadFile(LogPath("Installer")) + logtest::ReadFile(kPreInstallPath);
  EXPECT_NE(logged.find("XML Request :"), std::string::npos);
  EXPECT_NE(logged.find("Stored Procedure Input :"), std::string::npos);
  for (const std::string& secret : secrets) {
    EXPECT_EQ(logged.find(secret), std::string::npos) << secret;
    EXPECT_EQ(logged.find(Escaped(secret)), std::string::npos) << secret;
  }
  EXPECT_EQ(logged.find('#'), std::string::npos);
}

}  // namespace
