// The pre-install file: entry format, the cut, one write per entry, the
// fall-back from the debug log and its retry.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>

#include "LogTestSupport.h"
#include "ZUInstallLog.h"

namespace {

using logtest::kPreInstallPath;
using logtest::ReadFile;
using logtest::SplitLines;

class PreInstallLog : public logtest::LogTest {};

TEST_F(PreInstallLog, EntryIsParentIdTwoBlanksPidTwoBlanksTimeBlankTextLineFeed) {
  ZUSimLog log("Installer");
  log.LogMessage("fn", 0, "hello  world");
  log.LogMessageV("fn", 2, "%d-%s", 42, "x");

  EXPECT_EQ(PreInstallTexts(), (std::vector<std::string>{"hello  world", "42-x"}));
  // Nothing but the two entries, each with one line feed.
  const std::string ids = std::to_string(getppid()) + "  " + std::to_string(getpid()) + "  ";
  EXPECT_EQ(ReadFile(kPreInstallPath).size(), 2 * (ids.size() + 20) + 13 + 5);
  EXPECT_FALSE(log.IsReady());
}

TEST_F(PreInstallLog, FormattedTextIsCutAfter20279Characters) {
  struct Case {
    std::size_t length;
    std::size_t kept;
  };
  for (const Case c : {Case{20278, 20278}, Case{20279, 20279}, Case{20280, 20279}, Case{30000, 20279}}) {
    std::filesystem::remove(kPreInstallPath);
    std::string text(c.length, 'x');
    for (std::size_t i = 0; i < text.size(); i += 1000) text[i] = static_cast<char>('a' + i / 1000 % 26);
    ZUSimLog log("Installer");
    log.LogMessage("fn", 0, text.c_str());

    const std::string file = ReadFile(kPreInstallPath);
    std::string written;
    ASSERT_TRUE(logtest::IsOwnPreInstallEntry(file, since_, &written)) << c.length;
    EXPECT_EQ(written, text.substr(0, c.kept) + "\n") << c.length;
  }
}

TEST_F(PreInstallLog, XmlEntryEndsWithLineFeedSoNextEntryStartsItsOwnLine) {
  ZUSimLog log("Installer");
  EXPECT_EQ(log.LogXML("fn", "<ClientSetup jobId=\"1\"/>", 0, 1), 0);
  EXPECT_EQ(log.LogXML("fn", "<ClientSetup jobId=\"2\"/>\n", 0, 2), 0);
  log.LogMessage("fn", 0, "next");
  EXPECT_EQ(PreInstallTexts(), (std::vector<std::string>{"XML Request :<ClientSetup jobId=\"1\"/>",
                                                         "XML Response :<ClientSetup jobId=\"2\"/>", "next"}));
  EXPECT_EQ(ReadFile(kPreInstallPath).back(), '\n');
}

TEST_F(PreInstallLog, SymbolicLinkAtThePathDropsTheEntry) {
  const std::string target = dir_ + "/target";
  { std::ofstream(target) << ""; }
  ASSERT_EQ(symlink(target.c_str(), kPreInstallPath), 0);
  ZUSimLog log("Installer");
  log.LogMessage("fn", 0, "must not follow the link");
  EXPECT_EQ(log.LogXML("fn", "<ClientSetup/>", 0, 1), 0) << "a dropped entry is no failure";

  EXPECT_EQ(ReadFile(target), "");
  struct stat info;
  ASSERT_EQ(lstat(kPreInstallPath, &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
}

// A directory at the fixed path is the hardening tests' business.
TEST_F(PreInstallLog, UnopenablePathDropsTheEntryWithoutFailing) {
  // A logger that was never initialised names the file it was given.
  const std::string missing = dir_ + "/no-such-directory/file.log";
  ZUSimLog direct(missing);
  direct.LogMessagePreInstall("dropped");
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(PreInstallLog, FallsBackWhenTheServiceRefusesAndRetriesAtTheNextEntry) {
  SetFocus("Instance001");
  // The service cannot create its directory below a regular file.
  const std::string blocker = dir_ + "/not-a-directory";
  { std::ofstream(blocker) << "x"; }
  setenv("ZU_LOG_DIR", (blocker + "/logs").c_str(), 1);

  ZUSimLog log("Installer");
  log.LogMessage("fn", 0, "first, while the service refuses");
  EXPECT_FALSE(log.IsReady());
  EXPECT_EQ(PreInstallTexts(), std::vector<std::string>{"first, while the service refuses"});

  setenv("ZU_LOG_DIR", dir_.c_str(), 1);
  log.LogMessage("fn", 0, "second, once it accepts");
  EXPECT_TRUE(log.IsReady());
  EXPECT_EQ(PreInstallTexts(), std::vector<std::string>{"first, while the service refuses"});
  // The name now holds the pre-install path, so the debug log is named after its base name.
  EXPECT_EQ(DebugTexts("ZuInstallMgrPreInstall"), std::vector<std::string>{"second, once it accepts"});
}

TEST_F(PreInstallLog, EveryProcessAppendingAtOnceKeepsEachEntryWholeAndLosesNone) {
  constexpr int kProcesses = 8;
  constexpr int kEntries = 500;
  const std::string path = dir_ + "/shared.log";
  auto payloadLength = [](int entry) { return entry % 10 == 0 ? 20000 : 40 + entry % 50; };
  auto payloadChar = [](int process, int entry) { return static_cast<char>('a' + (process * 7 + entry) % 26); };

  std::set<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ZUSimLog log(path);
      for (int e = 0; e < kEntries; ++e) {
        const std::string text = std::to_string(p) + " " + std::to_string(e) + " " +
                                 std::string(payloadLength(e), payloadChar(p, e)) + "\n";
        log.LogMessagePreInstall(text.c_str());
      }
      _exit(0);
    }
    children.insert(child);
  }
  for (std::size_t i = 0; i < children.size(); ++i) {
    int status = 0;
    ASSERT_GT(wait(&status), 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  std::map<int, std::set<int>> seen;
  int lines = 0;
  for (const std::string& line : SplitLines(ReadFile(path))) {
    ++lines;
    // "PARENT  WRITER  DATE TIME PROCESS ENTRY PAYLOAD", by a child of this process.
    std::istringstream in(line);
    long parent = 0, writer = 0;
    int process = -1, entry = -1;
    std::string date, time, payload;
    ASSERT_TRUE(in >> parent >> writer >> date >> time >> process >> entry >> payload) << line.substr(0, 120);
    EXPECT_EQ(parent, getpid());
    EXPECT_EQ(children.count(static_cast<pid_t>(writer)), 1u);
    ASSERT_TRUE(process >= 0 && process < kProcesses && entry >= 0 && entry < kEntries) << line.substr(0, 120);
    EXPECT_EQ(payload, std::string(payloadLength(entry), payloadChar(process, entry))) << process << " " << entry;
    EXPECT_TRUE(seen[process].insert(entry).second) << "twice: " << process << " " << entry;
  }
  EXPECT_EQ(lines, kProcesses * kEntries);
  for (int p = 0; p < kProcesses; ++p) EXPECT_EQ(seen[p].size(), static_cast<std::size_t>(kEntries)) << p;
}

}  // namespace
