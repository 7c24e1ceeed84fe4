// The logger: where entries go and how they look (the debug log, the
// pre-install file and its retry), the quiet filter, markers, console events,
// the bounded formatter, and password values masked in texts and XML entries.

#include <random>
#include <sstream>

#include "MaskModel.h"
#include "ZUInstallLog.h"
#include "ZUInstallMask.h"
#include "ZUInstallUtils.h"
#include "common/TestSupport.h"
#include "xmlutils/XmlUtilsTesting.h"

namespace {

using namespace zutest;
using Lines = std::vector<std::string>;

// Each test: an empty log directory, no focus, no debug level, nothing at the
// pre-install path.
class LogTest : public ::testing::Test {
 protected:
  static void SetFocus(const char* focus) { setenv("ZU_FOCUS", focus, 1); }
  static void SetDebugLevel(int level) { setenv("ZU_DEBUG_LEVEL", std::to_string(level).c_str(), 1); }
  static void ToDebugLog(int level) { SetFocus("Instance001"), SetDebugLevel(level); }

  // Every line of debug log `name`, "PID TID YYYY/MM/DD HH:MM:SS JOBID LEVEL TEXT" by this
  // process, as "JOBID LEVEL TEXT", or as TEXT alone.
  Lines DebugLines(const std::string& name, bool textOnly = false) const {
    Lines lines;
    for (const std::string& raw : SplitLines(ReadFile(dir_ / (name + ".log")))) {
      std::istringstream in(raw);
      long pid = 0;
      std::string tid, date, time, job, level, text;
      EXPECT_TRUE(in >> pid >> tid >> date >> time >> job >> level && in.get() == ' ' && pid == getpid()) << raw;
      std::getline(in, text, '\0');
      lines.push_back(textOnly ? text : job + " " + level + " " + text);
    }
    return lines;
  }

  // Checks that `entry` is "PPID  PID  YYYY/MM/DD HH:MM:SS TEXT" of this
  // process, stamped during the test, and hands out TEXT.
  ::testing::AssertionResult OwnEntry(const std::string& entry, std::string& text) const {
    const std::string ids = std::to_string(getppid()) + "  " + std::to_string(getpid()) + "  ";
    struct tm local = {};
    const char* end =
        entry.rfind(ids, 0) == 0 ? strptime(entry.c_str() + ids.size(), "%Y/%m/%d %H:%M:%S", &local) : nullptr;
    local.tm_isdst = -1;
    const std::time_t stamp = end == entry.c_str() + ids.size() + 19 && *end == ' ' ? std::mktime(&local) : -1;
    if (stamp < since_ || stamp > std::time(nullptr)) return ::testing::AssertionFailure() << "not own: " << entry;
    text = entry.substr(ids.size() + 20);
    return ::testing::AssertionSuccess();
  }

  // The texts of the pre-install file's entries, one per line.
  Lines PreInstallTexts() const {
    Lines texts;
    for (const std::string& line : SplitLines(ReadFile(kPreInstallPath)))
      EXPECT_TRUE(OwnEntry(line, texts.emplace_back()));
    return texts;
  }

  PreInstallPathGuard preInstall_;
  ScratchDir dir_;
  EnvGuard env_{{"ZU_LOG_DIR", dir_.path().string()}, {"ZU_FOCUS", std::nullopt}, {"ZU_DEBUG_LEVEL", std::nullopt}};
  std::time_t since_ = std::time(nullptr);
};

// Markers, XML entries under their kind's heading and plain entries alike:
// one line each, an XML text's own line feed not doubled, a text cut after
// 20279 characters.
TEST_F(LogTest, PreInstallEntryIsParentPidTimeAndTextAndTheFallback) {
  ZUSimLog log("Installer");
  log.LogMessageV("fn", 2, "%d-%s", 42, "x");
  log.AddClientMarker("c1", "p1", 14);
  Lines expected = {"42-x", "Install client/packages [p1] for client [c1]"};
  const std::pair<int, const char*> kinds[] = {{1, "XML Request :"},
                                               {2, "XML Response :"},
                                               {4, "Stored Procedure Input :"},
                                               {5, "Stored Procedure Output :"},
                                               {0, ""},
                                               {3, ""},
                                               {6, ""},
                                               {-1, ""}};
  for (const auto& [kind, heading] : kinds) {
    const std::string xml = "<ClientSetup jobId=\"" + std::to_string(kind) + "\"/>";
    EXPECT_EQ(log.LogXML("fn", (xml + (kind == 2 ? "\n" : "")).c_str(), 0, kind), 0);
    expected.push_back(heading + xml);
    if (kind == 6) {  // the text ends at its first NUL, as the debug log's "%s" ends it
      EXPECT_EQ(log.LogXMLString("fn", xml + std::string("\0after", 6), 0, kind), 0);
      expected.push_back(xml);
    }
  }
  for (int length : {20279, 20280, 30000}) {
    std::string text(length, 'x');
    for (std::size_t i = 0; i < text.size(); i += 1000) text[i] = static_cast<char>('a' + i / 1000 % 26);
    log.LogMessage("fn", 0, text.c_str());
    expected.push_back(text.substr(0, 20279));
  }
  EXPECT_FALSE(log.IsReady());
  // With an instance the entries fall back while the service refuses (it cannot create its directory below a
  // regular file) and it is retried at the next entry.
  SetFocus("Instance001");
  setenv("ZU_LOG_DIR", (dir_.write("file", "x") + "/logs").c_str(), 1);
  ZUSimLog fallback("Installer");
  fallback.LogMessage("fn", 0, "first, while the service refuses");
  expected.push_back("first, while the service refuses");
  EXPECT_FALSE(fallback.IsReady());
  setenv("ZU_LOG_DIR", dir_.path().c_str(), 1);
  fallback.LogMessage("fn", 0, "second, once it accepts");
  EXPECT_TRUE(fallback.IsReady());
  EXPECT_EQ(PreInstallTexts(), expected);
  EXPECT_EQ(ReadFile(kPreInstallPath).back(), '\n');
  // The name now holds the pre-install path, so the debug log is named after its base name.
  EXPECT_EQ(DebugLines("ZuInstallMgrPreInstall", true), Lines{"second, once it accepts"});
}

// Quiet drops all but level -1 while the debug level is 3 or less; markers are filtered with the rest, XML
// entries never; alike in the debug log and (without an instance) the pre-install file.
TEST_F(LogTest, QuietKeepsOnlyFailuresUpToDebugLevelThree) {
  const struct {
    bool quiet;
    int debugLevel, level;
    bool written;
  } cases[] = {{true, 3, 0, false}, {true, 3, 2, false}, {true, 3, -1, true}, {true, 0, -1, true},
               {true, 4, 0, true},  {true, 4, -1, true}, {false, 3, 0, true}, {false, 0, 0, true}};
  for (bool debugLog : {true, false}) {
    SetFocus(debugLog ? "Instance001" : "");
    Lines expected;
    for (const auto& c : cases) {
      SetDebugLevel(c.debugLevel);
      ZUSimLog log("Installer");
      log.quiet = c.quiet;
      const std::string text = "case " + std::to_string(&c - cases);
      log.LogMessage("fn", c.level, text.c_str());
      if (c.written) expected.push_back(text);
    }
    SetDebugLevel(3);
    ZUSimLog log("Installer");
    log.quiet = true;
    log.AddPhaseMarker("Copy", "started");
    EXPECT_EQ(log.LogXML("fn", "<ClientSetup/>", 0, 0), 0);
    expected.push_back("<ClientSetup/>");
    EXPECT_EQ(debugLog ? DebugLines("Installer", true) : PreInstallTexts(), expected);
  }
}

TEST_F(LogTest, MarkerWordingsAtLevelZeroCutAt1023Characters) {
  ToDebugLog(0);
  ZUSimLog log("Installer");
  const std::string longName(2000, 'c');
  const struct {
    std::function<void()> add;
    std::string text;
  } rows[] = {{[&] { log.AddClientMarker("c1", "p1", 0); }, "Install client/packages [p1] for client [c1]"},
              {[&] { log.AddClientMarker(nullptr, nullptr, 7); }, "Client Uninstall [] for client []"},
              {[&] { log.AddClientMarker("c1", "p1", 4); }, "Invalid operation type [4]"},
              {[&] { log.AddClientMarker("c1", "p1", 39); }, "Invalid operation type [39]"},
              {[&] { log.AddPlatformMarker("Install", nullptr); }, "Operation [Install] is []"},
              {[&] { log.AddPhaseMarker(longName.c_str(), "done"); }, ("Phase [" + longName).substr(0, 1023)},
              {[&] { log.AddClientMarker(longName.c_str(), "s", 20); },
               ("Bulk Client Install [s] for client [" + longName).substr(0, 1023)}};
  Lines expected;
  for (const auto& row : rows) row.add(), expected.push_back("0 0 " + row.text);
  EXPECT_EQ(DebugLines("Installer"), expected);
}

// Blank-separated "%d" and "%s" tokens take the arguments in order; a type
// other than status or critical raises nothing.
TEST_F(LogTest, ConsoleEventsCarryTheTokensArgumentsAndTheTypesSeverity) {
  ZUSimLog log("Installer");
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%d %s", 7, "disk full");
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "  %s\t%d\n%s\r\v%d  ", "first", -5, "two", 3);
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%d,%s %x %s %% %d %ld", "kept", 2);
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%s %d %s", static_cast<const char*>(nullptr), 4, "after");
  for (int type : {0, 3}) log.SendEventToConsole(9, 12, type, "%d", type);
  log.SendEventToConsole(9, 0x100000005L, EVENT_STATUS, nullptr);
  log.SendEventToConsole(9, 0xFFFFFFFFL, EVENT_CRITICAL, "");
  const std::string info = R"({"severity":"information","eventId":)";
  EXPECT_EQ(
      SplitLines(ReadFile(dir_ / "ConsoleEvents.log")),
      (Lines{info + R"(7,"localeId":1033,"args":[7,"disk full"]})",
             info + R"(7,"localeId":1033,"args":["first",-5,"two",3]})",
             info + R"(7,"localeId":1033,"args":["kept",2]})", info + R"(7,"localeId":1033,"args":["",4,"after"]})",
             info + R"(5,"localeId":9,"args":[]})", R"({"severity":"critical","eventId":-1,"localeId":9,"args":[]})"}));
}

TEST(StringCbPrintfA, KeepsAtMostSizeMinusOneCharactersAndRefusesImpossibleSizes) {
  const struct {
    std::size_t size, length;
    int result;
    const char* buffer;
  } cases[] = {{24, 23, 0, "xxxxxxxxxxxxxxxxxxxxxxx"},
               {1, 5, kStrSafeTruncated, ""},
               {0, 5, kStrSafeInvalidParameter, "keep"},
               {SIZE_MAX, 5, kStrSafeInvalidParameter, "keep"}};
  for (const auto& c : cases) {
    char buffer[64] = "keep";
    EXPECT_EQ(StringCbPrintfA(buffer, c.size, "%s", std::string(c.length, 'x').c_str()), c.result) << c.size;
    EXPECT_STREQ(buffer, c.buffer) << c.size;
  }
}

using XmlLogging = LogTest;

// Known answers. Any text: every value after a name is masked, whatever stands before it; the library's XML:
// exactly the secret attributes' values (a value ending in a name masks nothing). Rows name the fault they pin.
TEST_F(XmlLogging, AnyTextMasksEveryValueAfterANameLibraryXmlExactlyTheSecrets) {
  ToDebugLog(5);
  const struct {
    const char *fault, *text, *anyText, *serialized;  // serialized: null when as anyText
  } rows[] = {
      {"ApostropheHidKey", R"(<r><cmd>it's password="s3cret" now</cmd></r>)",
       R"(<r><cmd>it's password="********" now</cmd></r>)", nullptr},
      {"StrayQuoteHidKey", R"(a " b password="s3cret" c)", R"(a " b password="********" c)", nullptr},
      {"NoTagAtAll", R"(The user's password="s3cret")", R"(The user's password="********")", nullptr},
      {"LessThanInEarlierValue", R"(<sp note="x<y" clientPassword="s3cret" authCode="AC-9"/>)",
       R"(<sp note="x<y" clientPassword="********" authCode="********"/>)", nullptr},
      {"ValueCutAtLessThan", R"(password="ab<s3cret")", R"(password="********")", nullptr},
      {"BlanksAndApostrophes", "<a password = 's3cret'/>", "<a password = '********'/>", nullptr},
      {"LineBreaksAroundEquals", "authCode\r\n=\n\t\"AC-1\"", "authCode\r\n=\n\t\"********\"", nullptr},
      {"KeyInsideAnotherValue", R"(<a note="x password=" pAccess="s3cret"/>)",
       R"(<a note="x password="********"********"/>)", R"(<a note="x password=" pAccess="********"/>)"},
      {"ValueNeverClosed", R"(<a pExecAccess="s3cret/> tail)", R"(<a pExecAccess="********)", nullptr},
      {"ApostropheInValue", R"(<a pAccess="it's" b='1'/>)", R"(<a pAccess="********" b='1'/>)", nullptr},
      {"LongerNamesAndCase", R"(<a newpassword="s3cret" Password="q" passwordX="r"/>)",
       R"(<a newpassword="********" Password="q" passwordX="r"/>)",
       R"(<a newpassword="s3cret" Password="q" passwordX="r"/>)"},
      {"EmptyValueAndNoValue", R"(<a password="" authCode=x b="1"/>)", R"(<a password="********" authCode=x b="1"/>)",
       nullptr},
  };
  ZUSimLog log("Installer");
  for (const auto& row : rows) {
    EXPECT_EQ(zumask::MaskText(row.text), row.anyText) << row.fault;
    EXPECT_EQ(zumask::MaskSerialized(row.text), row.serialized ? row.serialized : row.anyText) << row.fault;
    EXPECT_EQ(log.LogXMLString("fn", row.text, 0, 0), 0);
  }
  const Lines lines = DebugLines("Installer", true);
  EXPECT_EQ(lines.size(), std::size(rows));
  for (const std::string& line : lines) EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
}

// Known answers: the value after every occurrence of the caller's key, to the key's own quote or the end.
TEST(MaskInformation, MasksTheValueAfterEveryOccurrenceOfTheKey) {
  const struct {
    const char *fault, *text, *key;
    unsigned long count;
    const char* expected;
  } rows[] = {
      {"KeyAtTheStart", R"(password="abc" x="1")", "password=\"", 8, R"(password="********" x="1")"},
      {"ApostropheHidKey", R"(it's password="abc" x)", "password=\"", 3, R"(it's password="***" x)"},
      {"ValueCutAtLessThan", R"(<u password="a<b>c" x="1"/>)", "password=\"", 2, R"(<u password="**" x="1"/>)"},
      {"KeyInsideAValue", R"(x="password=" password="abc")", "password=\"", 1, R"(x="password="*"*")"},
      {"NeverClosedRunsToTheEnd", R"(<u password="abc/> tail)", "password=\"", 8, R"(<u password="********)"},
      {"ApostropheKeyClosesAtApostrophe", R"(p='a"b' q)", "p='", 4, R"(p='****' q)"},
      {"EmptyKeyChangesNothing", R"(<u password="abc"/>)", "", 8, R"(<u password="abc"/>)"},
      {"CountZeroRemovesTheValue", R"(<u password="abc" x="1"/>)", "password=\"", 0, R"(<u password="" x="1"/>)"},
      {"ShortAndLongValues", R"(a="" a="0123456789" a="x")", "a=\"", 5, R"(a="*****" a="*****" a="*****")"},
  };
  for (const auto& row : rows) {
    std::string text = row.text;
    MaskInformation(text, row.key, row.count);
    EXPECT_EQ(text, row.expected) << row.fault;
  }
}

// No token planted after a name survives, in any spelling and surroundings: not MaskText, not MaskInformation
// with its key, not a logged text, which stays one line.
TEST_F(XmlLogging, PlantedSecretsNeverSurvive) {
  ToDebugLog(5);
  std::mt19937 random(11);
  ZUSimLog log("Installer");
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> bytes(random() % 60);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    const zufuzz::Planted text = zufuzz::PlantSecrets(bytes.data(), bytes.size());
    ASSERT_FALSE(zufuzz::AnySurvives(text, zumask::MaskText(text.text))) << text.text;
    zufuzz::Planted keyed = zufuzz::PlantSecrets(bytes.data(), bytes.size(), "authCode=\"");
    MaskInformation(keyed.text, "authCode=\"", round % 12);
    ASSERT_FALSE(zufuzz::AnySurvives(keyed, keyed.text)) << keyed.text;
    log.LogXMLString("fn", "<" + text.text, 0, 0);
  }
  EXPECT_EQ(DebugLines("Installer").size(), 3000u);
  EXPECT_EQ(ReadFile(dir_ / "Installer.log").find('~'), std::string::npos);  // no other byte is a '~'
}

// A null request or text is logged at -1 unless at level 3, where requests are skipped (the stand-in never sets
// that level) and texts written; a request is serialized, masked and written with the job id under its heading.
TEST_F(XmlLogging, NullInputLevelThreeAndRequestsMaskedUnderTheirHeading) {
  ToDebugLog(5);
  ZUSimLog unnamed("");  // a debug log entry is one line with job and level, under ZuInstallMgr for an empty name
  unnamed.jobId = 4711;
  unnamed.LogMessageV("fn", 2, "copied %d of %s", 3, "7 files");
  unnamed.LogMessage("fn", -1, nullptr);
  EXPECT_EQ(DebugLines("ZuInstallMgr"), (Lines{"4711 2 copied 3 of 7 files", "4711 -1 "}));
  EXPECT_TRUE(unnamed.IsReady() && !Exists(kPreInstallPath));
  ZUSimLog log("Installer");
  EXPECT_EQ(log.LogXML("fn", static_cast<CNMessageBase*>(nullptr), 0, 1), -1);
  EXPECT_EQ(log.LogXML("fn", static_cast<const char*>(nullptr), 0, 1), -1);
  EXPECT_EQ(log.LogXML("fn", xutest::Parse(R"(<ClientSetup jobId="3"/>)").get(), 3, 1), 0);
  EXPECT_EQ(log.LogXML("fn", static_cast<CNMessageBase*>(nullptr), 3, 1), 0);
  EXPECT_EQ(log.LogXML("fn", "<ClientSetup jobId=\"3\"/>", 3, 1), 0);
  log.jobId = 99;
  EXPECT_EQ(log.LogXML("fn",
                       xutest::Parse(R"(<ClientSetup jobId="12" operationType="0"><clientAuthentication><userAccount
      userName="svc" password="Secret &quot;One&quot; x=&quot;"/></clientAuthentication><clientComposition><clientInfo>
      <client clientPassword="V8:Zm9vYmFy" zudPort="8400"/></clientInfo></clientComposition></ClientSetup>)")
                           .get(),
                       1, 1),
            0);
  EXPECT_EQ(DebugLines("Installer"),
            (Lines{"0 -1 Invalid input XML", "0 -1 Invalid input XML", "0 3 XML Request :<ClientSetup jobId=\"3\"/>",
                   "99 1 XML Request :<ClientSetup jobId=\"12\" operationType=\"0\">"
                   "<clientAuthentication><userAccount userName=\"svc\" "
                   "password=\"********\"/></clientAuthentication><clientComposition>"
                   "<clientInfo><client clientPassword=\"********\" "
                   "zudPort=\"8400\"/></clientInfo></clientComposition></ClientSetup>"}));
}

TEST_F(XmlLogging, SerializeFailureLogsTheEncoderNumberAsOneLine) {
  auto request = xutest::Parse(R"(<ClientSetup jobId="1"><dxInfo/></ClientSetup>)");
  // XML cannot carry invalid UTF-8, so it is set through the field API.
  zumsg::objectCreate<ZUInstallManager::ClientSetup::dxInfo>(*request).setstring(
      ZUInstallManager::DXInfo::connectionUrl, "https://\xff\xfe");
  EXPECT_EQ(ZUSimLog("Installer").LogXML("fn", request.get(), 0, 1), -1);
  std::string text;
  ASSERT_TRUE(OwnEntry(ReadFile(kPreInstallPath), text));
  // The format's own line feed ends the entry: no empty line follows.
  EXPECT_EQ(text, "Failed to serialize XML, check XML format error " + std::to_string(XMLEncoder::kInvalidUtf8) + "\n");
}

}  // namespace
