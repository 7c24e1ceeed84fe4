#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ZuRuntime.h"
#include "runtime/RuntimeTestSupport.h"

namespace {

namespace fs = std::filesystem;
using zu_test::Lines;
using zu_test::ReadFile;

// One debug log as a logger holds it: a descriptor and the service over it.
struct OpenedLog {
  EvDebugFileInstance file;
  EvDebug log{nullptr};
  bool ok = false;
};

std::unique_ptr<OpenedLog> Open(const char* name) {
  auto opened = std::make_unique<OpenedLog>();
  opened->ok = opened->log.initialize(&opened->file, static_cast<unsigned>(EvDebug::getLogId(name)),
                                      0, false, "");
  return opened;
}

__attribute__((format(printf, 4, 5))) void WriteNew(EvDebug& log, int level, long long jobId,
                                                    const char* format, ...) {
  va_list args;
  va_start(args, format);
  log.handleMsgEventDebug_NEW(level, "", -1, jobId, "", format, args);
  va_end(args);
}

std::string LocalTime(std::time_t when) {
  struct tm local;
  localtime_r(&when, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
  return text;
}

long ThreadId() { return static_cast<long>(::syscall(SYS_gettid)); }

// PID TID DATE TIME JOBID LEVEL TEXT, single blanks, one line feed.
const std::regex kEntry(
    R"(([0-9]+) ([0-9]+) ([0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}) (-?[0-9]+) (-?[0-9]+) ([^\n]*)\n)");

// The same fields up to the text, for entries whose text spans lines.
const std::regex kPrefix(R"(^[0-9]+ [0-9]+ [0-9/]{10} [0-9:]{8} -?[0-9]+ -?[0-9]+ )");

class DebugLog : public zu_test::RuntimeEnvTest {
 protected:
  std::string LogText(const char* fileName) { return ReadFile(logDir_ + "/" + fileName); }
};

TEST_F(DebugLog, EntryCarriesPidTidLocalTimeJobLevelAndTextAppendedToAnExistingLog) {
  fs::create_directories(logDir_);
  std::ofstream(logDir_ + "/EntryFormat.log") << "earlier line\n";
  auto opened = Open("EntryFormat");
  ASSERT_TRUE(opened->ok);
  std::time_t before = std::time(nullptr);
  WriteNew(opened->log, 1, 123456789012LL, "copied %d of %s", 3, "packages");
  opened->log.setJobId(-7);
  opened->log.DebugLvl("", -1, "%s", "through DebugLvl");
  long workerTid = 0;
  std::thread worker([&] {
    workerTid = ThreadId();
    opened->log.DebugLvl("", 0, "%s", "from worker");
  });
  worker.join();
  std::time_t after = std::time(nullptr);
  ASSERT_NE(workerTid, ThreadId());

  std::vector<std::string> lines = Lines(LogText("EntryFormat.log"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "earlier line\n");
  struct Expected {
    long tid;
    const char* jobId;
    const char* level;
    const char* text;
  } expected[] = {{ThreadId(), "123456789012", "1", "copied 3 of packages"},
                  {ThreadId(), "-7", "-1", "through DebugLvl"},
                  {workerTid, "-7", "0", "from worker"}};
  for (std::size_t i = 1; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[i], match, kEntry));
    EXPECT_EQ(match[1], std::to_string(getpid()));
    EXPECT_EQ(match[2], std::to_string(expected[i - 1].tid));
    EXPECT_LE(LocalTime(before), match[3].str());
    EXPECT_GE(LocalTime(after), match[3].str());
    EXPECT_EQ(match[4], expected[i - 1].jobId);
    EXPECT_EQ(match[5], expected[i - 1].level);
    EXPECT_EQ(match[6], expected[i - 1].text);
  }
}

// The level is read at each call, also by a service not yet initialised; an
// entry is written when its level is at most that, negative ones always.
TEST_F(DebugLog, FollowsTheDebugLevelAndWritesNegativeLevelsAlways) {
  struct Case {
    const char* env;  // null: unset
    int level;
  } cases[] = {{nullptr, 1}, {"3", 3},  {"0", 0},  {"-5", -5}, {"", 1},
               {"abc", 1},   {"2x", 1}, {" 7", 7}, {"4 ", 1},  {"99999999999", 1}};
  EvDebug bare(nullptr);
  auto opened = Open("Levels");
  ASSERT_TRUE(opened->ok);
  for (const Case& c : cases) {
    if (c.env)
      setenv("ZU_DEBUG_LEVEL", c.env, 1);
    else
      unsetenv("ZU_DEBUG_LEVEL");
    EXPECT_EQ(bare.getDebugLevel(), c.level) << (c.env ? c.env : "(unset)");
    for (int level : {-100, -1, 0, c.level, c.level + 1}) {
      SCOPED_TRACE(std::string("ZU_DEBUG_LEVEL=") + (c.env ? c.env : "(unset)") +
                   " level=" + std::to_string(level));
      std::size_t before = LogText("Levels.log").size();
      opened->log.DebugLvl("", level, "%s", "entry");
      EXPECT_EQ(LogText("Levels.log").size() > before, level < 0 || level <= c.level);
    }
  }
}

TEST_F(DebugLog, AddsLineFeedOnlyWhenTheTextHasNone) {
  struct Case {
    const char* text;
    const char* written;
  } cases[] = {{"plain", "plain\n"},     {"ends\n", "ends\n"},
               {"", "\n"},                {"two\n\n", "two\n\n"},
               {"multi\nline", "multi\nline\n"}, {"cr\r", "cr\r\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    fs::remove(logDir_ + "/LineFeed.log");
    auto opened = Open("LineFeed");
    ASSERT_TRUE(opened->ok);
    opened->log.DebugLvl("", 0, "%s", c.text);
    std::string line = LogText("LineFeed.log");
    std::smatch prefix;
    ASSERT_TRUE(std::regex_search(line, prefix, kPrefix)) << line;
    EXPECT_EQ(prefix.suffix().str(), c.written);
  }
}

TEST_F(DebugLog, WritesLongTextsWhole) {
  auto opened = Open("Long");
  ASSERT_TRUE(opened->ok);
  // Lengths around the service's in-place buffer, and well beyond it.
  std::vector<std::size_t> lengths;
  for (std::size_t n = 3990; n <= 4110; ++n) lengths.push_back(n);
  lengths.push_back(1 << 20);
  // A bare "%s" is gathered, any other format goes through the formatter.
  for (std::size_t n : lengths) {
    std::string text(n, 'x');
    text.back() = 'y';
    WriteNew(opened->log, 0, 1, "%s", text.c_str());
    WriteNew(opened->log, 0, 1, "%s%s", text.c_str(), "");
  }
  std::vector<std::string> lines = Lines(LogText("Long.log"));
  ASSERT_EQ(lines.size(), 2 * lengths.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    // std::regex recurses per character: match the short prefix only.
    std::smatch prefix;
    ASSERT_TRUE(std::regex_search(lines[i].cbegin(), lines[i].cbegin() + 80, prefix, kPrefix))
        << "length " << lengths[i / 2];
    std::string text(prefix[0].second, lines[i].cend());
    ASSERT_EQ(text.size(), lengths[i / 2] + 1) << "length " << lengths[i / 2] << " entry " << i;
    EXPECT_EQ(text.substr(text.size() - 2), "y\n");
  }
}

TEST_F(DebugLog, NamesTheFileAfterTheBaseNameWithLogSuffix) {
  struct Case {
    const char* name;
    const char* file;
  } cases[] = {{"ZuInstallMgr", "ZuInstallMgr.log"},
               {"Install.log", "Install.log"},
               {"/tmp/ZuInstallMgrPreInstall.log", "ZuInstallMgrPreInstall.log"},
               {"relative/dir/Agent", "Agent.log"},
               {"Agent.log.old", "Agent.log.old.log"},
               {"catalog", "catalog.log"},
               {".log", ".log"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto opened = Open(c.name);
    ASSERT_TRUE(opened->ok);
    EXPECT_EQ(opened->file.path(), logDir_ + "/" + c.file);
    opened->log.DebugLvl("", 0, "%s", c.name);
    EXPECT_NE(LogText(c.file).find(c.name), std::string::npos);
  }
  // Nothing but the listed files appeared: no directories made from the name.
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(logDir_)) {
    EXPECT_TRUE(entry.is_regular_file()) << entry.path();
    ++entries;
  }
  EXPECT_EQ(entries, sizeof cases / sizeof cases[0]);
}

TEST_F(DebugLog, RefusesWhatItCannotOpenSafely) {
  fs::create_directories(logDir_);
  std::ofstream(root_ + "/plainfile") << "x";
  std::ofstream(root_ + "/target") << "untouched";
  fs::create_symlink(root_ + "/target", logDir_ + "/Linked.log");
  fs::create_directory(logDir_ + "/IsDir.log");
  ASSERT_EQ(mkfifo((logDir_ + "/Fifo.log").c_str(), 0644), 0);

  EXPECT_FALSE(Open("Linked")->ok);
  EXPECT_EQ(ReadFile(root_ + "/target"), "untouched");
  EXPECT_FALSE(Open("IsDir")->ok);
  EXPECT_FALSE(Open("Fifo")->ok);  // and does not hang waiting for a reader
  int reader = ::open((logDir_ + "/Fifo.log").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_FALSE(Open("Fifo")->ok);  // not a regular file, even with a reader
  ::close(reader);
  EXPECT_FALSE(Open("trailing/")->ok);
  EXPECT_FALSE(Open("")->ok);

  EvDebugFileInstance file;
  EvDebug log(nullptr);
  EXPECT_FALSE(log.initialize(&file, 0, 0, false, ""));
  EXPECT_FALSE(log.initialize(&file, 0x7fffffffu, 0, false, ""));
  EvDebug withoutFile(nullptr);
  EXPECT_FALSE(
      withoutFile.initialize(nullptr, static_cast<unsigned>(EvDebug::getLogId("x")), 0, false, ""));
}

TEST_F(DebugLog, RetriesAfterARefusalWithTheDirectoryReadAnewAndCreated) {
  // A directory that cannot be created (a file is in the way), root or not.
  std::ofstream(root_ + "/plainfile") << "x";
  setenv("ZU_LOG_DIR", (root_ + "/plainfile/logs").c_str(), 1);
  EvDebugFileInstance file;
  EvDebug log(nullptr);
  unsigned id = static_cast<unsigned>(EvDebug::getLogId("Retry"));
  ASSERT_FALSE(log.initialize(&file, id, 0, false, ""));
  EXPECT_EQ(file.fd(), -1);
  log.DebugLvl("", -1, "%s", "dropped");  // must not crash
  setenv("ZU_LOG_DIR", (root_ + "/a/b//c/").c_str(), 1);
  ASSERT_TRUE(log.initialize(&file, id, 0, false, ""));
  log.DebugLvl("", 0, "%s", "second try");
  EXPECT_NE(ReadFile(root_ + "/a/b/c/Retry.log").find("second try\n"), std::string::npos);
}

TEST_F(DebugLog, WritesNothingUntilInitialisedOrAfterClosing) {
  EvDebugFileInstance file;
  EvDebug log(nullptr);
  log.DebugLvl("", -1, "%s", "not open");
  WriteNew(log, -1, 0, "%s", "not open");
  EXPECT_FALSE(fs::exists(logDir_));

  ASSERT_TRUE(
      log.initialize(&file, static_cast<unsigned>(EvDebug::getLogId("Closing")), 0, false, ""));
  log.DebugLvl("", 0, "%s", "open");
  log.CloseLogFile(true);
  EXPECT_EQ(file.fd(), -1);
  log.DebugLvl("", -1, "%s", "closed");
  log.CloseLogFile(true);  // twice is harmless
  std::vector<std::string> lines = Lines(LogText("Closing.log"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("open\n"), std::string::npos);
}

TEST_F(DebugLog, KeepsEntriesWholeWhenThreadsShareALog) {
  constexpr int kThreads = 4;
  constexpr int kEntries = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      auto opened = Open("Shared");  // one service per thread, as loggers have
      if (!opened->ok) return;
      for (int i = 0; i < kEntries; ++i) {
        std::string text(static_cast<std::size_t>(100 + 37 * i % 5000), static_cast<char>('a' + t));
        opened->log.DebugLvl("", 0, "%s", text.c_str());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<std::string> lines = Lines(LogText("Shared.log"));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kEntries));
  for (const std::string& line : lines) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, kEntry)) << line.substr(0, 80);
    std::string text = match[6];
    EXPECT_EQ(text.find_first_not_of(text[0]), std::string::npos);
  }
}

TEST(LogId, IsStablePerNameAcrossThreads) {
  constexpr int kThreads = 8;
  constexpr int kNames = 64;
  std::vector<std::vector<int>> seen(kThreads, std::vector<int>(kNames));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &seen] {
      for (int i = 0; i < kNames; ++i) {
        int n = (i * 7 + t * 13) % kNames;  // each thread asks in its own order
        seen[t][n] = EvDebug::getLogId(("LogIdName" + std::to_string(n)).c_str());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<int> distinct;
  for (int n = 0; n < kNames; ++n) {
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[t][n], seen[0][n]) << "name " << n;
    EXPECT_GT(seen[0][n], 0);
    distinct.insert(seen[0][n]);
    EXPECT_EQ(EvDebug::getLogId(("LogIdName" + std::to_string(n)).c_str()), seen[0][n]);
  }
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kNames));
  EXPECT_EQ(EvDebug::getLogId(nullptr), -1);
}

class Focus : public zu_test::RuntimeEnvTest {};

TEST_F(Focus, FollowsZuFocusAtEachCall) {
  EXPECT_EQ(ZUPI_Focus::getFocus(), nullptr);
  setenv("ZU_FOCUS", "Instance001", 1);
  const char* focus = ZUPI_Focus::getFocus();
  ASSERT_NE(focus, nullptr);
  EXPECT_STREQ(focus, "Instance001");
  setenv("ZU_FOCUS", "Instance002-with-a-longer-name-than-before", 1);
  EXPECT_STREQ(focus, "Instance001");  // a copy: valid until this thread's next call
  EXPECT_STREQ(ZUPI_Focus::getFocus(), "Instance002-with-a-longer-name-than-before");
  setenv("ZU_FOCUS", "", 1);
  ASSERT_NE(ZUPI_Focus::getFocus(), nullptr);
  EXPECT_STREQ(ZUPI_Focus::getFocus(), "");
  unsetenv("ZU_FOCUS");
  EXPECT_EQ(ZUPI_Focus::getFocus(), nullptr);
}

}  // namespace
