// The debug log service: entry format, level filter, the file it opens and
// refuses, and the log directory's default.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdarg>
#include <filesystem>
#include <memory>
#include <regex>
#include <thread>

#include "runtime/RuntimeTestSupport.h"

namespace {

namespace fs = std::filesystem;
using zutest::ReadFile;
using zutest::SplitLines;

// One debug log as a logger holds it: a descriptor and the service over it.
struct OpenedLog {
  EvDebugFileInstance file;
  EvDebug log{nullptr};
  bool ok = false;
};

std::unique_ptr<OpenedLog> Open(const char* name) {
  auto opened = std::make_unique<OpenedLog>();
  opened->ok = opened->log.initialize(&opened->file, static_cast<unsigned>(EvDebug::getLogId(name)), 0, false, "");
  return opened;
}

__attribute__((format(printf, 4, 5))) void WriteNew(EvDebug& log, int level, long long jobId, const char* format, ...) {
  va_list args;
  va_start(args, format);
  log.handleMsgEventDebug_NEW(level, "", -1, jobId, "", format, args);
  va_end(args);
}

long ThreadId() { return static_cast<long>(::syscall(SYS_gettid)); }

// PID TID DATE TIME JOBID LEVEL TEXT: single blanks; the text runs to the end.
const std::regex kEntry(R"(([0-9]+) ([0-9]+) ([0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}) (-?[0-9]+) (-?[0-9]+) )");

// What follows the first entry's prefix, up to the end of the log.
std::string TextOf(const std::string& log) {
  std::smatch prefix;
  // std::regex recurses per character: match the short start only.
  const auto end = log.cbegin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(log.size(), 80));
  if (!std::regex_search(log.cbegin(), end, prefix, kEntry, std::regex_constants::match_continuous)) return "<no entry>";
  return std::string(prefix[0].second, log.cend());
}

class DebugLog : public RuntimeTest {
 protected:
  std::string LogText(const std::string& file) { return ReadFile(logDir_ + "/" + file); }
};

TEST_F(DebugLog, EntryCarriesPidTidLocalTimeJobLevelAndTextAppendedToAnExistingLog) {
  fs::create_directories(logDir_);
  std::ofstream(logDir_ + "/EntryFormat.log") << "earlier line\n";
  auto opened = Open("EntryFormat");
  ASSERT_TRUE(opened->ok);
  const std::time_t before = std::time(nullptr);
  WriteNew(opened->log, 1, 123456789012LL, "copied %d of %s", 3, "packages");
  opened->log.setJobId(-7);
  long workerTid = 0;
  std::thread worker([&] {
    workerTid = ThreadId();
    opened->log.DebugLvl("", -1, "%s", "from worker");
  });
  worker.join();
  const std::time_t after = std::time(nullptr);
  char earliest[32], latest[32];
  struct tm local;
  std::strftime(earliest, sizeof earliest, "%Y/%m/%d %H:%M:%S", localtime_r(&before, &local));
  std::strftime(latest, sizeof latest, "%Y/%m/%d %H:%M:%S", localtime_r(&after, &local));
  const std::string pid = std::to_string(getpid()) + " ";
  const std::vector<std::string> lines = SplitLines(LogText("EntryFormat.log"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "earlier line");
  const std::string expected[] = {pid + std::to_string(ThreadId()) + " T 123456789012 1 copied 3 of packages",
                                  pid + std::to_string(workerTid) + " T -7 -1 from worker"};
  for (int i = 0; i < 2; ++i) {
    const std::string time = lines[i + 1].substr(expected[i].find('T'), 19);
    EXPECT_TRUE(time >= earliest && time <= latest) << time;
    EXPECT_EQ(std::string(lines[i + 1]).replace(expected[i].find('T'), 19, "T"), expected[i]);
  }
}

// The level is read at each call, also by a service not yet initialised; an
// entry is written when its level is at most that, negative ones always.
TEST_F(DebugLog, FollowsTheDebugLevelAndWritesNegativeLevelsAlways) {
  const struct {
    const char* env;  // null: unset
    int level;
  } cases[] = {{nullptr, 1}, {"3", 3}, {"0", 0}, {"-5", -5}, {"", 1}, {"abc", 1}, {"2x", 1}, {" 7", 7}, {"4 ", 1}, {"99999999999", 1}};
  EvDebug bare(nullptr);
  auto opened = Open("Levels");
  ASSERT_TRUE(opened->ok);
  for (const auto& c : cases) {
    zutest::EnvGuard level{{"ZU_DEBUG_LEVEL", c.env ? std::optional<std::string>(c.env) : std::nullopt}};
    EXPECT_EQ(bare.getDebugLevel(), c.level) << (c.env ? c.env : "(unset)");
    for (int entry : {-100, -1, 0, c.level, c.level + 1}) {
      const std::size_t before = LogText("Levels.log").size();
      opened->log.DebugLvl("", entry, "%s", "entry");
      EXPECT_EQ(LogText("Levels.log").size() > before, entry < 0 || entry <= c.level) << entry;
    }
  }
}

// A bare "%s" is gathered, any other format goes through the formatter; both
// add a line feed only when the text has none.
TEST_F(DebugLog, WritesEachTextWholeWithOneLineFeed) {
  std::vector<std::string> texts = {"plain", "ends\n", "", "two\n\n", "multi\nline", "cr\r"};
  // Lengths around the service's in-place buffer, and well beyond it.
  for (std::size_t n = 3990; n <= 4110; ++n) texts.push_back(std::string(n - 1, 'x') + "y");
  texts.push_back(std::string(1 << 20, 'z'));
  for (const std::string& text : texts) {
    for (const char* format : {"%s", "%s%s"}) {  // an empty formatted text still makes an entry
      fs::remove(logDir_ + "/Texts.log");
      auto opened = Open("Texts");
      ASSERT_TRUE(opened->ok);
      WriteNew(opened->log, 0, 1, format, text.c_str(), "");
      EXPECT_TRUE(TextOf(LogText("Texts.log")) == (text.empty() || text.back() != '\n' ? text + "\n" : text))
          << format << " of " << text.size() << " bytes: " << text.substr(0, 20);
    }
  }
}

TEST_F(DebugLog, NamesTheFileAfterTheBaseNameWithLogSuffix) {
  const struct {
    const char* name;
    const char* file;
  } cases[] = {{"ZuInstallMgr", "ZuInstallMgr.log"},          {"Install.log", "Install.log"},
               {"/tmp/ZuInstallMgrPreInstall.log", "ZuInstallMgrPreInstall.log"}, {"relative/dir/Agent", "Agent.log"},
               {"Agent.log.old", "Agent.log.old.log"},         {".log", ".log"}};
  for (const auto& c : cases) EXPECT_EQ(Open(c.name)->file.path(), logDir_ + "/" + c.file) << c.name;
}

TEST_F(DebugLog, RefusesWhatItCannotOpenSafelyAndRetriesWithTheDirectoryReadAnew) {
  fs::create_directories(logDir_);
  std::ofstream(root_ / "target") << "untouched";
  fs::create_symlink(root_ / "target", logDir_ + "/Linked.log");
  fs::create_directory(logDir_ + "/IsDir.log");
  ASSERT_EQ(mkfifo((logDir_ + "/Fifo.log").c_str(), 0644), 0);
  // Regression: a FIFO with a reader attached opened fine.
  const int reader = ::open((logDir_ + "/Fifo.log").c_str(), O_RDONLY | O_NONBLOCK);
  for (const char* name : {"Linked", "IsDir", "Fifo", "trailing/", ""}) EXPECT_FALSE(Open(name)->ok) << name;
  ::close(reader);
  EXPECT_FALSE(Open("Fifo")->ok) << "blocks without a reader";
  EXPECT_EQ(ReadFile(root_ / "target"), "untouched");

  EvDebugFileInstance file;
  EvDebug log(nullptr);
  EXPECT_FALSE(log.initialize(&file, 0, 0, false, ""));
  EXPECT_FALSE(log.initialize(&file, 0x7fffffffu, 0, false, ""));
  EXPECT_FALSE(EvDebug(nullptr).initialize(nullptr, static_cast<unsigned>(EvDebug::getLogId("x")), 0, false, ""));
  log.DebugLvl("", -1, "%s", "not open");  // dropped
  // A directory that cannot be created (a file is in the way), root or not.
  zutest::EnvGuard blocked{{"ZU_LOG_DIR", root_.write("plainfile", "x") + "/logs"}};
  const unsigned id = static_cast<unsigned>(EvDebug::getLogId("Retry"));
  ASSERT_FALSE(log.initialize(&file, id, 0, false, ""));
  EXPECT_EQ(file.fd(), -1);
  zutest::EnvGuard nested{{"ZU_LOG_DIR", root_ / "a/b//c/"}};
  ASSERT_TRUE(log.initialize(&file, id, 0, false, ""));
  log.DebugLvl("", 0, "%s", "second try");
  log.CloseLogFile(true);
  EXPECT_EQ(file.fd(), -1);
  log.DebugLvl("", -1, "%s", "closed");
  log.CloseLogFile(true);  // twice is harmless
  EXPECT_EQ(TextOf(ReadFile(root_ / "a/b/c/Retry.log")), "second try\n");
}

// /var/log/zu is only ever touched in a child with its own mount namespace.
TEST_F(DebugLog, UnsetOrEmptyLogDirectoryFallsBackToVarLogZu) {
  for (const char* value : {static_cast<const char*>(nullptr), ""}) {
    zutest::EnvGuard unset{{"ZU_LOG_DIR", value ? std::optional<std::string>(value) : std::nullopt}};
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          mount("tmpfs", "/var/log", "tmpfs", 0, nullptr) != 0) {
        _exit(77);
      }
      auto opened = Open("Fallback");
      opened->log.DebugLvl("", 0, "%s", "default");
      EvEvent().InfoEvent(1, -1, 0);
      const bool ok = opened->ok && opened->file.path() == "/var/log/zu/Fallback.log" &&
                      ReadFile("/var/log/zu/Fallback.log").find("default\n") != std::string::npos &&
                      zutest::Exists("/var/log/zu/ConsoleEvents.log");
      _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "ZU_LOG_DIR " << (value ? "empty" : "unset");
  }
}

}  // namespace
