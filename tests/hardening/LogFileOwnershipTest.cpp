// Log files that another user planted, linked or can write are never written
// to; fresh ones are private. Each test runs again as root in a private mount
// namespace with a tmpfs on /tmp, so it can chown to nobody and own the fixed
// pre-install path without touching the machine's.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ZUInstallLog.h"
#include "common/TestSupport.h"

namespace {

using zutest::ReadFile;

constexpr uid_t kNobody = 65534;
constexpr char kLogs[] = "/tmp/logs";

// True in the private run; otherwise runs the current test there (or skips
// when not root) and returns false.
bool InPrivateTmp() {
  if (std::getenv("ZU_PRIVATE_TMP") != nullptr) {
    ::umask(0);  // modes below are the library's alone
    return true;
  }
  if (::geteuid() != 0) {
    [] { GTEST_SKIP() << "needs root: runs in a private mount namespace (unshare -m) with a tmpfs on /tmp"; }();
    return false;
  }
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  char self[PATH_MAX] = {};
  EXPECT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
  const std::string command = "ZU_PRIVATE_TMP=1 unshare -m sh -c 'mount -t tmpfs tmpfs /tmp && exec \"$0\" "
                              "--gtest_filter=\"$1\"' " + std::string(self) + " " + test->test_suite_name() + "." +
                              test->name();
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  return false;
}

// Writes `text` to a new file with exactly that mode and owner.
void MakeFile(const std::string& path, mode_t mode, uid_t owner, const std::string& text = "kept\n") {
  std::ofstream(path, std::ios::binary) << text;
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
  ASSERT_EQ(::chown(path.c_str(), owner, owner), 0) << path;
}

// What stands at a log file's path before the first entry.
struct Planted {
  const char* what;
  void (*plant)(const std::string& path);
  bool taken;  // entries are appended to it
};

const Planted kPlantedFiles[] = {
    {"nothing: created private", [](const std::string&) {}, true},
    {"an own file", [](const std::string& path) { MakeFile(path, 0600, 0); }, true},
    {"another user's file", [](const std::string& path) { MakeFile(path, 0600, kNobody); }, false},
    {"a hard link to an own file",
     [](const std::string& path) {
       MakeFile("/tmp/victim", 0600, 0);
       ASSERT_EQ(::link("/tmp/victim", path.c_str()), 0);
     },
     false},
    {"a group-writable file", [](const std::string& path) { MakeFile(path, 0620, 0); }, false},
    {"an other-writable file", [](const std::string& path) { MakeFile(path, 0602, 0); }, false},
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Plants each row at `path`, writes through `write`, and checks that the
// entry landed exactly when the row allows it, in a file of `freshMode`.
void ExpectOnlyOwnFilesTaken(const std::string& path, mode_t freshMode, void (*write)()) {
  for (const Planted& row : kPlantedFiles) {
    SCOPED_TRACE(row.what);
    ::unlink(path.c_str());
    ::unlink("/tmp/victim");
    row.plant(path);
    const std::string before = ReadFile(path);
    write();
    const std::string after = ReadFile(path);
    EXPECT_EQ(after.size() > before.size(), row.taken);
    EXPECT_EQ(row.taken ? after.substr(0, before.size()) : after, before);
    if (zutest::Exists("/tmp/victim")) {
      EXPECT_EQ(ReadFile("/tmp/victim"), "kept\n");
    }
    if (before.empty()) {
      EXPECT_EQ(ModeOf(path), freshMode);
    }
  }
}

TEST(LogFileOwnership, PreInstallFileIsPrivateAndNeverAnotherUsersOrLinked) {
  if (!InPrivateTmp()) return;
  ExpectOnlyOwnFilesTaken(zutest::kPreInstallPath, 0600, [] { ZUSimLog("owner").LogMessage("fn", 0, "entry"); });
  // The tool says where the entry went, or that it was dropped and why.
  const std::string tool = std::string(ZU_BINARY_DIR) + "/tools/zu-request/zu-request";
  if (!zutest::Exists(tool)) GTEST_SKIP() << "no " << tool;
  const std::string request = std::string(ZU_EXAMPLES_DIR) + "/single-client-install.xml";
  const std::string run = tool + " log " + request + " >/tmp/out 2>&1";
  ::unlink(zutest::kPreInstallPath);
  EXPECT_EQ(WEXITSTATUS(std::system(run.c_str())), 0);
  EXPECT_EQ(ReadFile("/tmp/out"), request + ": logged at level 0 to the pre-install file " + zutest::kPreInstallPath + "\n");
  MakeFile(zutest::kPreInstallPath, 0600, kNobody);
  EXPECT_EQ(WEXITSTATUS(std::system(run.c_str())), 1);
  EXPECT_EQ(ReadFile("/tmp/out"), "zu-request: " + request + ": dropped: the pre-install file " +
                                      zutest::kPreInstallPath + " is refused: it belongs to another user (uid 65534)\n");
}

TEST(LogFileOwnership, RuntimeFilesArePrivateAndNeverAnotherUsersOrLinked) {
  if (!InPrivateTmp()) return;
  const zutest::EnvGuard env{{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", std::string(kLogs)}};
  ExpectOnlyOwnFilesTaken(std::string(kLogs) + "/owner.log", 0640, [] { ZUSimLog("owner").LogMessage("fn", -1, "entry"); });
  EXPECT_EQ(ModeOf(kLogs), 0750u);
  ExpectOnlyOwnFilesTaken(std::string(kLogs) + "/ConsoleEvents.log", 0640,
                          [] { ZUSimLog("owner").SendEventToConsole(1033, 7, EVENT_STATUS, "%d", 7); });
}

TEST(LogFileOwnership, LogDirectoryAndLinksToItBelongToUsOrRoot) {
  if (!InPrivateTmp()) return;
  const struct {
    const char* what;
    const char* logs;
    void (*plant)();
    bool used;
  } rows[] = {
      {"a directory of root's", "/tmp/own", [] { ::mkdir("/tmp/own", 0755); }, true},
      {"another user's directory", "/tmp/theirs", [] { ::mkdir("/tmp/theirs", 0755), ::chown("/tmp/theirs", kNobody, kNobody); }, false},
      {"a group-writable directory", "/tmp/shared", [] { ::mkdir("/tmp/shared", 0770); }, false},
      {"root's link to a directory", "/tmp/root-link", [] { ::mkdir("/tmp/d1", 0750), ::symlink("/tmp/d1", "/tmp/root-link"); }, true},
      {"another user's link to a directory", "/tmp/their-link",
       [] { ::mkdir("/tmp/d2", 0750), ::symlink("/tmp/d2", "/tmp/their-link"), ::lchown("/tmp/their-link", kNobody, kNobody); }, false},
      {"another user's link on the way", "/tmp/their-way/logs",
       [] { ::mkdir("/tmp/d3", 0750), ::symlink("/tmp/d3", "/tmp/their-way"), ::lchown("/tmp/their-way", kNobody, kNobody); }, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    row.plant();
    const zutest::EnvGuard env{{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", std::string(row.logs)}};
    ZUSimLog log("owner");
    log.LogMessage("fn", -1, "entry");
    EXPECT_EQ(log.IsReady(), row.used);
    EXPECT_EQ(zutest::Exists(std::string(row.logs) + "/owner.log"), row.used);
  }
}

}  // namespace
