// Where entries go and how they look: the debug log, the pre-install file and
// its retry, the quiet filter, markers, console events and the bounded formatter.
#include <cstdint>
#include <functional>

#include "LogTestSupport.h"

namespace {

using logtest::kPreInstallPath;
using logtest::LogTest;
using logtest::ReadFile;

TEST_F(LogTest, DebugLogEntryIsOneLineWithJobAndLevelUnderZuInstallMgrForAnEmptyName) {
  SetFocus("Instance001");
  SetDebugLevel(5);
  ZUSimLog log("");
  log.jobId = 4711;
  log.LogMessageV("fn", 2, "copied %d of %s", 3, "7 files");
  log.LogMessage("fn", -1, nullptr);
  std::string shown;
  for (const logtest::DebugLine& line : DebugLines("ZuInstallMgr")) {
    shown += std::to_string(line.pid == getpid()) + " " + std::to_string(line.jobId) + " " +
             std::to_string(line.level) + " " + line.text + "|";
  }
  EXPECT_EQ(shown, "1 4711 2 copied 3 of 7 files|1 4711 -1 |");
  EXPECT_TRUE(log.IsReady());
  EXPECT_FALSE(zutest::Exists(kPreInstallPath));
}

// Markers, XML entries under their kind's heading and plain entries alike:
// one line each, an XML text's own line feed not doubled, a text cut after
// 20279 characters.
TEST_F(LogTest, PreInstallEntryIsParentPidTimeAndText) {
  ZUSimLog log("Installer");
  log.LogMessageV("fn", 2, "%d-%s", 42, "x");
  log.AddClientMarker("c1", "p1", 14);
  std::vector<std::string> expected = {"42-x", "Install client/packages [p1] for client [c1]"};
  const std::pair<int, const char*> kinds[] = {{1, "XML Request :"}, {2, "XML Response :"},
      {4, "Stored Procedure Input :"}, {5, "Stored Procedure Output :"}, {0, ""}, {3, ""}, {6, ""}, {-1, ""}};
  for (const auto& [kind, heading] : kinds) {
    const std::string xml = "<ClientSetup jobId=\"" + std::to_string(kind) + "\"/>";
    EXPECT_EQ(log.LogXML("fn", (xml + (kind == 2 ? "\n" : "")).c_str(), 0, kind), 0);
    expected.push_back(heading + xml);
  }
  for (const auto& [length, kept] : {std::pair{20279, 20279}, {20280, 20279}, {30000, 20279}}) {
    std::string text(length, 'x');
    for (std::size_t i = 0; i < text.size(); i += 1000) text[i] = static_cast<char>('a' + i / 1000 % 26);
    log.LogMessage("fn", 0, text.c_str());
    expected.push_back(text.substr(0, kept));
  }
  EXPECT_FALSE(log.IsReady());
  EXPECT_EQ(PreInstallTexts(), expected);
  EXPECT_EQ(ReadFile(kPreInstallPath).back(), '\n');
}

TEST_F(LogTest, FallsBackWhileTheServiceRefusesAndRetriesAtTheNextEntry) {
  SetFocus("Instance001");
  // The service cannot create its directory below a regular file.
  setenv("ZU_LOG_DIR", (dir_.write("file", "x") + "/logs").c_str(), 1);
  ZUSimLog log("Installer");
  log.LogMessage("fn", 0, "first, while the service refuses");
  EXPECT_FALSE(log.IsReady());
  setenv("ZU_LOG_DIR", dir_.path().c_str(), 1);
  log.LogMessage("fn", 0, "second, once it accepts");
  EXPECT_TRUE(log.IsReady());
  EXPECT_EQ(PreInstallTexts(), std::vector<std::string>{"first, while the service refuses"});
  // The name now holds the pre-install path, so the debug log is named after its base name.
  EXPECT_EQ(DebugTexts("ZuInstallMgrPreInstall"), std::vector<std::string>{"second, once it accepts"});
}

class LevelFilter : public LogTest, public ::testing::WithParamInterface<bool> {};

// Quiet drops all but level -1 while the debug level is 3 or less; markers
// are filtered with the rest, XML entries never.
TEST_P(LevelFilter, QuietKeepsOnlyFailuresUpToDebugLevelThree) {
  SetFocus(GetParam() ? "Instance001" : "");  // empty: no instance, the pre-install file
  const struct { bool quiet; int debugLevel, level; bool written; } cases[] = {
      {true, 3, 0, false}, {true, 3, 2, false}, {true, 3, -1, true}, {true, 0, -1, true},
      {true, 4, 0, true},  {true, 4, -1, true}, {false, 3, 0, true}, {false, 0, 0, true},
  };
  std::vector<std::string> expected;
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
  EXPECT_EQ(GetParam() ? DebugTexts("Installer") : PreInstallTexts(), expected);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, LevelFilter, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "DebugLog" : "PreInstallFile";
});

TEST_F(LogTest, MarkerWordingsAtLevelZeroCutAt1023Characters) {
  SetFocus("Instance001");
  SetDebugLevel(0);
  ZUSimLog log("Installer");
  const std::string longName(2000, 'c');
  const struct { std::function<void()> add; std::string text; } rows[] = {
      {[&] { log.AddClientMarker("c1", "p1", 0); }, "Install client/packages [p1] for client [c1]"},
      {[&] { log.AddClientMarker(nullptr, nullptr, 7); }, "Client Uninstall [] for client []"},
      {[&] { log.AddClientMarker("c1", "p1", 4); }, "Invalid operation type [4]"},
      {[&] { log.AddClientMarker("c1", "p1", 39); }, "Invalid operation type [39]"},
      {[&] { log.AddPlatformMarker("Install", nullptr); }, "Operation [Install] is []"},
      {[&] { log.AddPhaseMarker(longName.c_str(), "done"); }, ("Phase [" + longName).substr(0, 1023)},
      {[&] { log.AddClientMarker(longName.c_str(), "s", 20); },
       ("Bulk Client Install [s] for client [" + longName).substr(0, 1023)},
  };
  for (const auto& row : rows) row.add();
  const std::vector<logtest::DebugLine> lines = DebugLines("Installer");
  ASSERT_EQ(lines.size(), std::size(rows));
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(std::to_string(lines[i].level) + lines[i].text, "0" + rows[i].text);
}

// Blank-separated "%d" and "%s" tokens take the arguments in order; a type
// other than status or critical raises nothing.
TEST_F(LogTest, ConsoleEventsCarryTheTokensArgumentsAndTheTypesSeverity) {
  ZUSimLog log("Installer");
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%d %s", 7, "disk full");
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "  %s\t%d  ", "first", -5);
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%d\n%s\r\v%d", 1, "two", 3);
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%d,%s", 7, "ignored");
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%x %s %% %d %ld", "kept", 2);
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%s %d %s", static_cast<const char*>(nullptr), 4, "after");
  for (int type : {0, 3}) log.SendEventToConsole(9, 12, type, "%d", type);
  log.SendEventToConsole(9, 0x100000005L, EVENT_STATUS, nullptr);
  log.SendEventToConsole(9, 0xFFFFFFFFL, EVENT_CRITICAL, "");
  const std::string info = R"({"severity":"information","eventId":7,"localeId":1033,"args":)";
  EXPECT_EQ(logtest::SplitLines(ReadFile(dir_ / "ConsoleEvents.log")),
            (std::vector<std::string>{info + R"([7,"disk full"]})", info + R"(["first",-5]})",
                                      info + R"([1,"two",3]})", info + "[]}", info + R"(["kept",2]})",
                                      info + R"(["",4,"after"]})",
                                      R"({"severity":"information","eventId":5,"localeId":9,"args":[]})",
                                      R"({"severity":"critical","eventId":-1,"localeId":9,"args":[]})"}));
}

TEST(StringCbPrintfA, KeepsAtMostSizeMinusOneCharactersAndRefusesImpossibleSizes) {
  const struct { std::size_t size, length; int result; const char* buffer; } cases[] = {  // buffer: afterwards
      {24, 23, 0, "xxxxxxxxxxxxxxxxxxxxxxx"}, {1, 5, kStrSafeTruncated, ""}, {0, 5, kStrSafeInvalidParameter, "keep"},
      {SIZE_MAX, 5, kStrSafeInvalidParameter, "keep"},
  };
  for (const auto& c : cases) {
    char buffer[64] = "keep";
    EXPECT_EQ(StringCbPrintfA(buffer, c.size, "%s", std::string(c.length, 'x').c_str()), c.result) << c.size;
    EXPECT_STREQ(buffer, c.buffer) << c.size << " " << c.length;
  }
}

}  // namespace
