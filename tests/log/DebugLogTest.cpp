// Entries through the debug-log service once the instance exists, and the
// quiet filter on both paths.
#include "LogTestSupport.h"
#include "ZUInstallLog.h"

namespace {

using logtest::kPreInstallPath;

class DebugLog : public logtest::LogTest {};

TEST_F(DebugLog, WritesEachEntryAsOneLineWithJobAndLevelUnderZuInstallMgrForAnEmptyName) {
  SetFocus("Instance001");
  SetDebugLevel(5);
  ZUSimLog log("");
  log.jobId = 4711;
  log.LogMessageV("fn", 2, "copied %d of %s", 3, "7 files");
  log.LogMessage("fn", -1, "failure");
  log.LogMessage("fn", 0, nullptr);

  const std::vector<logtest::DebugLine> lines = DebugLines("ZuInstallMgr");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].text, "copied 3 of 7 files");
  EXPECT_EQ(lines[0].level, 2);
  EXPECT_EQ(lines[0].jobId, 4711);
  EXPECT_EQ(lines[0].pid, getpid());
  EXPECT_EQ(lines[1].text, "failure");
  EXPECT_EQ(lines[1].level, -1);
  EXPECT_EQ(lines[2].text, "");
  EXPECT_TRUE(log.IsReady());
  EXPECT_FALSE(std::filesystem::exists(kPreInstallPath));
}

TEST_F(DebugLog, EmptyFocusMeansNoInstance) {
  SetFocus("");
  ZUSimLog log("Installer");
  log.LogMessage("fn", 0, "to the pre-install file");
  EXPECT_FALSE(log.IsReady());
  EXPECT_FALSE(std::filesystem::exists(LogPath("Installer")));
  EXPECT_EQ(PreInstallTexts(), std::vector<std::string>{"to the pre-install file"});
}

struct QuietCase {
  bool quiet;
  int debugLevel;
  int level;
  bool written;
};

class QuietFilter : public logtest::LogTest, public ::testing::WithParamInterface<bool> {};

TEST_P(QuietFilter, DropsAllButLevelMinusOneWhileDebugLevelIsThreeOrLess) {
  const bool toDebugLog = GetParam();
  if (toDebugLog) SetFocus("Instance001");
  const QuietCase cases[] = {
      {true, 3, 0, false}, {true, 3, 2, false}, {true, 3, -1, true}, {true, 0, -1, true},
      {true, 4, 0, true},  {true, 4, -1, true}, {false, 3, 0, true}, {false, 0, 0, true},
  };
  std::vector<std::string> expected;
  int n = 0;
  for (const QuietCase& c : cases) {
    SetDebugLevel(c.debugLevel);
    ZUSimLog log("Installer");
    log.quiet = c.quiet;
    const std::string text = "case " + std::to_string(n++);
    log.LogMessage("fn", c.level, text.c_str());
    if (c.written) expected.push_back(text);
  }
  EXPECT_EQ(toDebugLog ? DebugTexts("Installer") : PreInstallTexts(), expected);
}

TEST_P(QuietFilter, AppliesToMarkersButNotToXmlEntries) {
  if (GetParam()) SetFocus("Instance001");
  SetDebugLevel(3);
  ZUSimLog log("Installer");
  log.quiet = true;
  log.AddPhaseMarker("Copy", "started");
  EXPECT_EQ(log.LogXML("fn", "<ClientSetup/>", 0, 0), 0);
  EXPECT_EQ(GetParam() ? DebugTexts("Installer") : PreInstallTexts(),
            std::vector<std::string>{"<ClientSetup/>"});
}

INSTANTIATE_TEST_SUITE_P(BothPaths, QuietFilter, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "DebugLog" : "PreInstallFile";
                         });

}  // namespace
