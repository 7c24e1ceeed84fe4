// The logger: where entries go and how they look (the debug log, the
// pre-install file and its retry), the quiet filter, markers, console events,
// the bounded formatter, secrets masked in texts and requests, and no value
// that can forge an entry.

#include <algorithm>
#include <climits>
#include <random>
#include <sstream>
#include <tuple>

#include "FuzzSupport.h"
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

  // The texts of the pre-install file's entries, each "PPID  PID  YYYY/MM/DD HH:MM:SS TEXT" of this process
  // stamped during the test.
  Lines PreInstallTexts() const {
    const std::string ids = std::to_string(getppid()) + "  " + std::to_string(getpid()) + "  ";
    Lines texts;
    for (const std::string& entry : SplitLines(ReadFile(kPreInstallPath))) {
      struct tm local = {};
      const char* end =
          entry.rfind(ids, 0) == 0 ? strptime(entry.c_str() + ids.size(), "%Y/%m/%d %H:%M:%S", &local) : nullptr;
      local.tm_isdst = -1;
      const std::time_t stamp = end == entry.c_str() + ids.size() + 19 && *end == ' ' ? std::mktime(&local) : -1;
      EXPECT_TRUE(entry.empty() || (stamp >= since_ && stamp <= std::time(nullptr))) << "not own: " << entry;
      texts.push_back(stamp == -1 ? entry : entry.substr(ids.size() + 20));
    }
    return texts;
  }

  PreInstallPathGuard preInstall_;
  ScratchDir dir_;
  EnvGuard env_{{"ZU_LOG_DIR", dir_.path().string()}, {"ZU_FOCUS", std::nullopt}, {"ZU_DEBUG_LEVEL", std::nullopt}};
  std::time_t since_ = std::time(nullptr);
};

// Markers, XML entries under their kind's heading and plain entries alike:
// one line each, an XML text's own line feed not doubled (a format's is, as
// LogMessageV appends its own), a text cut after 20279 characters.
TEST_F(LogTest, PreInstallEntryIsParentPidTimeAndTextAndTheFallback) {
  ZUSimLog log("Installer");
  log.LogMessageV("fn", 2, "%d-%s", 42, "x");
  log.LogMessageV("fn", -1, "Failed to serialize XML, check XML format error %d\n", 5);
  log.LogMessagePreInstall("direct\n");
  log.AddClientMarker("c1", "p1", 14);
  Lines expected = {"42-x", "Failed to serialize XML, check XML format error 5", "", "direct",
                    "Install client/packages [p1] for client [c1]"};
  const char* headings[] = {
      "", "XML Request :", "XML Response :", "", "Stored Procedure Input :", "Stored Procedure Output :", ""};
  for (int kind : {1, 2, 4, 5, 0, 3, 6, -1}) {
    const std::string xml = "<ClientSetup jobId=\"" + std::to_string(kind) + "\"/>";
    EXPECT_EQ(log.LogXML("fn", (xml + (kind == 2 ? "\n" : "")).c_str(), 0, kind), 0);
    expected.push_back((kind >= 0 ? headings[kind] : "") + xml);
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
  const std::tuple<bool, int, int, bool> cases[] = {// quiet, debug level, level, written
                                                    {true, 3, 0, false}, {true, 3, 2, false}, {true, 3, -1, true},
                                                    {true, 0, -1, true}, {true, 4, 0, true},  {true, 4, -1, true},
                                                    {false, 3, 0, true}, {false, 0, 0, true}};
  for (bool debugLog : {true, false}) {
    SetFocus(debugLog ? "Instance001" : "");
    Lines expected;
    int n = 0;
    for (const auto& [quiet, debugLevel, level, written] : cases) {
      SetDebugLevel(debugLevel);
      ZUSimLog log("Installer");
      log.quiet = quiet;
      const std::string text = "case " + std::to_string(n++);
      log.LogMessage("fn", level, text.c_str());
      if (written) expected.push_back(text);
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
  log.AddClientMarker("c1", "p1", 0);
  log.AddClientMarker(nullptr, nullptr, 7);
  for (int operation : {4, 39}) log.AddClientMarker("c1", "p1", operation);  // the gap and past the end
  log.AddPlatformMarker("Install", nullptr);
  log.AddPhaseMarker(longName.c_str(), "done");
  log.AddClientMarker(longName.c_str(), "s", 20);
  EXPECT_EQ(DebugLines("Installer"),
            (Lines{"0 0 Install client/packages [p1] for client [c1]", "0 0 Client Uninstall [] for client []",
                   "0 0 Invalid operation type [4]", "0 0 Invalid operation type [39]", "0 0 Operation [Install] is []",
                   "0 0 " + ("Phase [" + longName).substr(0, 1023),
                   "0 0 " + ("Bulk Client Install [s] for client [" + longName).substr(0, 1023)}));
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
  const std::tuple<std::size_t, std::size_t, int, const char*> cases[] = {
      // size, length, result, buffer
      {24, 23, 0, "xxxxxxxxxxxxxxxxxxxxxxx"},
      {1, 5, kStrSafeTruncated, ""},
      {0, 5, kStrSafeInvalidParameter, "keep"},
      {INT_MAX, 5, 0, "xxxxx"},
      {SIZE_MAX, 5, kStrSafeInvalidParameter, "keep"}};
  for (const auto& [size, length, result, expected] : cases) {
    char buffer[64] = "keep";
    EXPECT_EQ(StringCbPrintfA(buffer, size, "%s", std::string(length, 'x').c_str()), result) << size;
    EXPECT_STREQ(buffer, expected) << size;
  }
}

// Each way a value reaches an entry, with the text it must leave: escaped, so that it cannot forge an entry.
constexpr char kForged[] = "a\n1  2  2026/01/01 00:00:00 forged\r\t\x01";
constexpr char kForgedShown[] = "a\\n1  2  2026/01/01 00:00:00 forged\\r\\t\\x01";
const std::tuple<const char*, void (*)(ZUSimLog&), const char*> kForgeries[] = {
    {"client marker", [](ZUSimLog& log) { log.AddClientMarker(kForged, "p1", 14); }, kForgedShown},
    {"platform marker", [](ZUSimLog& log) { log.AddPlatformMarker("install", kForged); }, kForgedShown},
    {"phase marker", [](ZUSimLog& log) { log.AddPhaseMarker(kForged, "started"); }, kForgedShown},
    {"logged text", [](ZUSimLog& log) { log.LogXML("fn", "<u a=\"x\ny\"/>\n", 0, 2); }, "<u a=\"x\\ny\"/>"},
    // Regressions: a forged entry in a text or an argument, such as a client name or a response's error text.
    {"plain text", [](ZUSimLog& log) { log.LogMessage("fn", 0, kForged); }, kForgedShown},
    {"formatted argument", [](ZUSimLog& log) { log.LogMessageV("fn", 0, "error [%s]", kForged); }, kForgedShown},
    {"format text", [](ZUSimLog& log) { log.LogMessageV("fn", 0, "a\nb\r\x1b[2J"); }, "a\\nb\\r\\x1b[2J"},
};

// In the debug log and the pre-install file alike, every entry is one line of the logger's own.
TEST_F(LogTest, NoValueStartsALineOfItsOwn) {
  for (bool debugLog : {true, false}) {
    SetFocus(debugLog ? "Instance001" : "");
    ZUSimLog log("Installer");
    for (const auto& forgery : kForgeries) std::get<1>(forgery)(log);
    const Lines texts = debugLog ? DebugLines("Installer", true) : PreInstallTexts();
    ASSERT_EQ(texts.size(), std::size(kForgeries));
    for (std::size_t i = 0; i < texts.size(); ++i)
      EXPECT_NE(texts[i].find(std::get<2>(kForgeries[i])), std::string::npos) << std::get<0>(kForgeries[i]);
  }
}

using XmlLogging = LogTest;

// Known answers. Any text: every value after a name is masked, whatever stands before it; the library's XML:
// exactly the secret attributes' values (a value ending in a name masks nothing). Rows name the fault they pin.
TEST(Masking, AnyTextMasksEveryValueAfterANameLibraryXmlExactlyTheSecrets) {
  // Fault, text, and what MaskText makes of it, as MaskSerialized does of these texts the library never writes.
  const std::tuple<const char*, const char*, const char*> rows[] = {
      {"ApostropheOrQuoteHidKey", R"(<c>it's " password="s3" x</c>)", R"(<c>it's " password="********" x</c>)"},
      {"JsonEscapedQuotes", R"({"id":7,"args":["u=x password=\"S3cret\" h=y","authCode=\"ab\\"]})",
       R"({"id":7,"args":["u=x password=\"********\" h=y","authCode=\"********"]})"},
      {"LessThanInEarlierValue", R"(<s n="<" clientPassword="s"/>)", R"(<s n="<" clientPassword="********"/>)"},
      {"ValueCutAtLessThan", R"(password="ab<s3cret")", R"(password="********")"},
      {"BlanksAndTheirLoggedEscapes", "authCode \r\n=\\n\n\t'AC-7' pAccess\\r\\n=\\t \"s\"",
       "authCode \r\n=\\n\n\t'********' pAccess\\r\\n=\\t \"********\""},
      {"KeyInsideAnotherValue", R"(it's <a n="x password=" pAccess="s"/>)",
       R"(it's <a n="x password="********"********"/>)"},
      {"ValueNeverClosed", R"(<a pExecAccess="s3cret/> tail)", R"(<a pExecAccess="********)"},
      {"ApostropheInValue", R"(<a pAccess="it's" b='1'/>)", R"(<a pAccess="********" b='1'/>)"},
      {"LongerNamesAndCase", R"(<a newpassword="s" Password="q" passwordX="r"/>)",
       R"(<a newpassword="********" Password="q" passwordX="r"/>)"},
      {"EmptyValueAndNoValue", R"(<a password="" authCode=x b="1"/>)", R"(<a password="********" authCode=x b="1"/>)"},
  };
  for (const auto& [fault, text, expected] : rows) {
    EXPECT_EQ(zumask::MaskText(text), expected) << fault;
    EXPECT_EQ(zumask::MaskSerialized(text), expected) << fault;
  }
  EXPECT_EQ(zumask::MaskSerialized(R"(<a n="x password=" pAccess="s"/>)"),
            R"(<a n="x password=" pAccess="********"/>)");
  std::string escaped;  // the line ends of other readers, beside characters that share their first bytes
  zumask::AppendEscaped(escaped, "a\xc2\x85\xc2\xa9\xe2\x80\xa8\xe2\x80\xa9\xe2\x80\xaa\xe2\x81\xa8\x7f");
  EXPECT_EQ(escaped, "a\\u0085\xc2\xa9\\u2028\\u2029\xe2\x80\xaa\xe2\x81\xa8\\x7f");
}

// Known answers: the value after every occurrence of the caller's key, to the key's own quote or the end.
TEST(MaskInformation, MasksTheValueAfterEveryOccurrenceOfTheKey) {
  const std::tuple<const char*, const char*, const char*, unsigned long, const char*> rows[] = {
      {"ApostropheHidKey", R"(it's password="abc" x)", "password=\"", 3, R"(it's password="***" x)"},
      {"ValueCutAtLessThan", R"(<u password="a<b>c" x="1"/>)", "password=\"", 2, R"(<u password="**" x="1"/>)"},
      {"KeyInsideAValue", R"(x="password=" password="abc")", "password=\"", 1, R"(x="password="*"*")"},
      {"NeverClosedRunsToTheEnd", R"(<u password="abc/> tail)", "password=\"", 8, R"(<u password="********)"},
      {"ApostropheKeyClosesAtApostrophe", R"(p='a"b' q)", "p='", 4, R"(p='****' q)"},
      {"EmptyKeyChangesNothing", R"(<u password="abc"/>)", "", 8, R"(<u password="abc"/>)"},
      {"CountZeroRemovesTheValue", R"(<u password="abc" x="1"/>)", "password=\"", 0, R"(<u password="" x="1"/>)"},
      {"ShortAndLongValues", R"(a="" a="0123456789" a="x")", "a=\"", 5, R"(a="*****" a="*****" a="*****")"},
      {"KeyShortOfItsQuote", R"(<u password="abc" b="1"/>)", "password=", 8, R"(<u password="********" b="1"/>)"},
      {"KeyShortOfEquals", "<u password =\n'a\"c' b='1'/>", "password", 2, "<u password =\n'**' b='1'/>"},
  };
  for (const auto& [fault, text, key, count, expected] : rows) {
    std::string masked = text;
    MaskInformation(masked, key, count);
    EXPECT_EQ(masked, expected) << fault;
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
    const std::string text = zufuzz::PlantSecrets(bytes.data(), bytes.size());
    ASSERT_EQ(zumask::MaskText(text).find('~'), std::string::npos) << text;
    std::string keyed = zufuzz::PlantSecrets(bytes.data(), bytes.size(), "authCode=\"");
    MaskInformation(keyed, "authCode=\"", round % 12);
    ASSERT_EQ(keyed.find('~'), std::string::npos) << keyed;
    log.LogXMLString("fn", "<" + text, 0, 0);
  }
  EXPECT_EQ(DebugLines("Installer").size(), 3000u);
  EXPECT_EQ(ReadFile(dir_ / "Installer.log").find('~'), std::string::npos);  // no other byte is a '~'
}

// Whatever every other value of a request holds (a secret name and "=" at its end, quotes, apostrophes, "<"),
// the logged request is exactly the serialization of a copy whose secrets already hold the mask.
TEST_F(XmlLogging, ALoggedRequestIsItsCopyWithTheMaskInItsSecrets) {
  ToDebugLog(5);
  const std::string example = ReadFile(std::string(ZU_EXAMPLES_DIR) + "/bulk-install.xml");
  std::vector<std::string> values = {"x' password='y", "a\"b<c>&d", "pAccess = 'p", "it's authCode=\"a"};
  for (const char* name : zufuzz::kSecretNames) values.insert(values.end(), {std::string("svc-") + name + "=", name});
  ZUSimLog log("Installer");
  Lines expected;
  for (std::size_t shift = 0; shift < values.size(); ++shift) {
    std::rotate(values.begin(), values.begin() + 1, values.end());
    ZUInstallManager::ClientSetup request, copy;
    ASSERT_TRUE(request.unserialize(example) == 0 && copy.unserialize(example) == 0);
    zufuzz::SetTexts(request, values, shift % 2 ? "~secret~" : "");  // an empty secret grows by the mask
    zufuzz::SetTexts(copy, values, "********");
    ASSERT_EQ(log.LogXML("fn", &request, 1, 1), 0);
    expected.push_back("XML Request :" + zufuzz::MustSerialize(copy, "the copy serializes"));
  }
  EXPECT_EQ(DebugLines("Installer", true), expected);
}

// Regression: once an empty value grew the text in place, the rest, past one scan batch too, must still be masked.
TEST_F(XmlLogging, ARequestLongerThanOneScanIsMaskedToItsEnd) {
  ToDebugLog(5);
  std::string xml = "<ClientSetup>", masked = xml;
  const std::string entry = "<clientComposition><clientInfo><client clientPassword=\"", end = "\"/></clientInfo>";
  for (int i = 0; i < 2000; ++i) xml += entry + (i < 50 ? "~s3cret~" : "") + end + "</clientComposition>";
  for (int i = 0; i < 2000; ++i) masked += entry + "********" + end + "</clientComposition>";
  ZUSimLog log("Installer");
  ASSERT_EQ(log.LogXML("fn", xutest::Parse(xml + "</ClientSetup>").get(), 1, 1), 0);
  EXPECT_EQ(DebugLines("Installer", true),
            Lines{"XML Request :" + xutest::Xml(*xutest::Parse(masked + "</ClientSetup>"))});
}

// A null request or text is logged at -1 unless at level 3, where requests are skipped (the stand-in never sets
// that level) and texts written; a request the encoder refuses leaves its number in one line.
TEST_F(XmlLogging, NullInputLevelThreeAndSerializeFailure) {
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
  auto broken = xutest::Parse(R"(<ClientSetup><dxInfo/></ClientSetup>)");  // XML cannot carry invalid UTF-8
  zumsg::objectCreate<ZUInstallManager::ClientSetup::dxInfo>(*broken).setstring(ZUInstallManager::DXInfo::connectionUrl,
                                                                                "https://\xff\xfe");
  EXPECT_EQ(log.LogXML("fn", broken.get(), 0, 1), -1);
  EXPECT_EQ(
      DebugLines("Installer"),
      (Lines{"0 -1 Invalid input XML", "0 -1 Invalid input XML", "0 3 XML Request :<ClientSetup jobId=\"3\"/>",
             // Regression: the format's own line feed ended the entry with an empty line after it.
             "0 -1 Failed to serialize XML, check XML format error " + std::to_string(XMLEncoder::kInvalidUtf8)}));
}

}  // namespace

// An event opens the log as an entry does: with the instance, what follows it goes to the debug log.
TEST_F(LogTest, ConsoleEventInitialisesTheLogger) {
  ToDebugLog(5);
  ZUSimLog log("Installer");
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%d", 1);
  EXPECT_TRUE(log.IsReady());
  log.LogMessage("", 0, "next");
  EXPECT_EQ(DebugLines("Installer"), Lines{"0 0 next"});
}
