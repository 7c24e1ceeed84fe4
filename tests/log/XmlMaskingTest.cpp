// Password values masked (MaskInformation, and whole XML texts in one pass)
// and XML entries in the log: headings, failures, the level-3 rule.
#include <random>

#include "LogTestSupport.h"
#include "ZUInstallUtils.h"

namespace {

using logtest::LogTest;
using ZUInstallManager::ClientSetup;

struct MaskCase { const char* name; const char* text; const char* key; unsigned long count; const char* expected; };

const MaskCase kCases[] = {
    {"KeyAtTheStart", R"(password="abc" x="1")", "password=\"", 8, R"(password="********" x="1")"},
    {"EmptyValue", R"(<u password="" x="1"/>)", "password=\"", 8, R"(<u password="********" x="1"/>)"},
    {"TwoLongValues", R"(<a password="0123456789ab"/><b password="ba9876543210xyz"/>)", "password=\"", 8,
     R"(<a password="********"/><b password="********"/>)"},
    {"InsideLongerName", R"(<u newpassword="abc"/>)", "password=\"", 8, R"(<u newpassword="********"/>)"},
    {"NoClosingQuoteRunsToTheEnd", R"(<u password="abc/> tail)", "password=\"", 8, R"(<u password="********)"},
    {"EmptyKeyChangesNothing", R"(<u password="abc"/>)", "", 8, R"(<u password="abc"/>)"},
    {"CountZeroRemovesTheValue", R"(<u password="abc" x="1"/>)", "password=\"", 0, R"(<u password="" x="1"/>)"},
    // The search resumes after the closing quote, so a key inside a value is masked with it.
    {"KeyInsideAValue", R"(password="x password=" y="z")", "password=\"", 8, R"(password="********" y="z")"},
    // Fault mended: a quote followed by "/" or ">" was skipped, masking unrelated text.
    {"ValueEndsAtAnyQuoteNotOnlyQuoteAndBlank", R"(<u password="abc"/><v note="keep me" x="1"/>)", "password=\"", 8,
     R"(<u password="********"/><v note="keep me" x="1"/>)"},
};

void PrintTo(const MaskCase& c, std::ostream* out) { *out << c.name; }

class MaskInformationCases : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskInformationCases, MasksUpToTheNextQuote) {
  std::string text = GetParam().text;
  MaskInformation(text, GetParam().key, GetParam().count);
  EXPECT_EQ(text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(MaskInformation, MaskInformationCases, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<MaskCase>& info) { return info.param.name; });

// The model: find, replace in place, resume after the closing quote.
std::string MaskOneAtATime(std::string text, const std::string& key, unsigned long count) {
  for (std::size_t at = key.empty() ? std::string::npos : text.find(key); at != std::string::npos;) {
    const std::size_t start = at + key.size();
    const std::size_t end = text.find('"', start);
    text.replace(start, (end == std::string::npos ? text.size() : end) - start, std::string(count, '*'));
    at = end == std::string::npos ? end : text.find(key, start + count + 1);
  }
  return text;
}

// Texts of fragments that make the names overlap, nest in values and miss their quotes.
std::string RandomText(std::mt19937& random, std::size_t maxPieces) {
  static const char* pieces[] = {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\"", "\"", " ", "=",
                                 "/>", "a", "0123456789abcdefghij", "*", "Password=\"", "pExec", "Access=\"", "word=\""};
  std::string text;
  for (auto n = std::uniform_int_distribution<std::size_t>(0, maxPieces)(random); n > 0; --n) {
    text += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
  }
  return text;
}

TEST(MaskInformation, AgreesWithOneAtATimeModelOnRandomTexts) {
  const char* keys[] = {"password=\"", "clientPassword=\"", "pExecAccess=\"", "\"", "a", "word=\""};
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    const std::string text = RandomText(random, 40);
    const std::string key = keys[random() % std::size(keys)];
    const unsigned long count = random() % 25;
    std::string masked = text;
    MaskInformation(masked, key, count);
    ASSERT_EQ(masked, MaskOneAtATime(text, key, count)) << "text: " << text << "\nkey: " << key << "\n" << count;
  }
}

class XmlLogging : public LogTest {
 protected:
  void SetUp() override {
    SetFocus("Instance001");
    SetDebugLevel(5);
  }
  static std::unique_ptr<ClientSetup> Load(const std::string& xml) {
    auto request = std::make_unique<ClientSetup>();
    std::string error;
    EXPECT_EQ(ConvertStringToClientSetup(xml, request.get(), error), 0) << error << "\n" << xml;
    return request;
  }
};

// Logged texts are masked as if the four names were masked one after another.
TEST_F(XmlLogging, MasksInOnePassAsTheFourNamesOneAfterAnother) {
  std::vector<std::string> texts = {R"(password="abc" x="1")", R"(clientPassword="a"pAccess="b")"};
  std::mt19937 random(11);
  while (texts.size() < 3000) texts.push_back("<" + RandomText(random, 30));  // never empty: one line each
  ZUSimLog log("Installer");
  for (std::string& text : texts) {
    ASSERT_EQ(log.LogXMLString("fn", text, 1, 0), 0);
    for (const char* key : {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\""}) {
      MaskInformation(text, key, 8);
    }
  }
  const std::vector<std::string> logged = DebugTexts("Installer");
  ASSERT_EQ(logged.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) ASSERT_EQ(logged[i], texts[i]) << "entry " << i;
}

TEST_F(XmlLogging, RequestIsSerializedMaskedAndWrittenWithTheJobIdUnderItsHeading) {
  auto request = Load(R"(<ClientSetup jobId="12" operationType="0">
      <clientAuthentication><userAccount userName="svc" password="Secret &quot;One&quot; x=&quot;"/></clientAuthentication>
      <clientComposition><clientInfo><client clientPassword="V8:Zm9vYmFy" zudPort="8400"/></clientInfo>
      </clientComposition></ClientSetup>)");
  ZUSimLog log("Installer");
  log.jobId = 99;
  EXPECT_EQ(log.LogXML("fn", request.get(), 1, 1), 0);
  const std::vector<logtest::DebugLine> lines = DebugLines("Installer");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(std::to_string(lines[0].jobId) + " " + std::to_string(lines[0].level) + " " + lines[0].text,
            "99 1 XML Request :<ClientSetup jobId=\"12\" operationType=\"0\"><clientAuthentication>"
            "<userAccount userName=\"svc\" password=\"********\"/></clientAuthentication><clientComposition>"
            "<clientInfo><client clientPassword=\"********\" zudPort=\"8400\"/></clientInfo></clientComposition>"
            "</ClientSetup>");
}

// A null request or text is logged at -1 unless at level 3, where requests
// are skipped (the stand-in never sets that level) and texts written.
TEST_F(XmlLogging, NullInputFailsAndLevelThreeSkipsRequestsOnly) {
  ZUSimLog log("Installer");
  EXPECT_EQ(log.LogXML("fn", static_cast<CNMessageBase*>(nullptr), 0, 1), -1);
  EXPECT_EQ(log.LogXML("fn", static_cast<const char*>(nullptr), 0, 1), -1);
  EXPECT_EQ(log.LogXML("fn", Load(R"(<ClientSetup jobId="3"/>)").get(), 3, 1), 0);
  EXPECT_EQ(log.LogXML("fn", static_cast<CNMessageBase*>(nullptr), 3, 1), 0);
  EXPECT_EQ(log.LogXML("fn", "<ClientSetup jobId=\"3\"/>", 3, 1), 0);
  std::string shown;
  for (const logtest::DebugLine& line : DebugLines("Installer")) shown += std::to_string(line.level) + line.text + "|";
  EXPECT_EQ(shown, "-1Invalid input XML|-1Invalid input XML|3XML Request :<ClientSetup jobId=\"3\"/>|");
}

TEST_F(XmlLogging, SerializeFailureLogsTheEncoderNumberAndEndsWithTwoLineFeeds) {
  SetFocus("");
  auto request = Load(R"(<ClientSetup jobId="1"><dxInfo/></ClientSetup>)");
  // XML cannot carry invalid UTF-8, so it is set through the field API.
  zumsg::objectCreate<ClientSetup::dxInfo>(*request).setstring(ZUInstallManager::DXInfo::connectionUrl,
                                                               std::string("https://\xff\xfe"));
  EXPECT_EQ(ZUSimLog("Installer").LogXML("fn", request.get(), 0, 1), -1);
  std::string text;
  ASSERT_TRUE(OwnEntry(logtest::ReadFile(logtest::kPreInstallPath), text));
  EXPECT_EQ(text, "Failed to serialize XML, check XML format error " + std::to_string(XMLEncoder::kInvalidUtf8) + "\n\n");
}

}  // namespace
