// Log files that another user planted, linked or can write are never written
// to; fresh ones are private. Each test runs again as root in a private mount
// namespace with a tmpfs on /tmp, so it can chown to nobody and own the fixed
// pre-install path without touching the machine's.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ZUInstallLog.h"
#include "common/TestSupport.h"

namespace {

using zutest::ReadFile;

constexpr uid_t kNobody = 65534;
constexpr char kLogs[] = "/tmp/logs";

// True in the private run, where modes are the library's alone; otherwise
// runs the current test there (or skips when not root) and returns false.
bool InPrivateTmp() {
  if (!zutest::InPrivateMount("/tmp")) return false;
  ::umask(0);
  return true;
}

// Writes a new file with exactly that mode and owner.
void MakeFile(const std::string& path, mode_t mode, uid_t owner) {
  std::ofstream(path, std::ios::binary) << "kept\n";
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
  ASSERT_EQ(::chown(path.c_str(), owner, owner), 0) << path;
}

// What stands at a log file's path before the first entry: nothing, or a
// file of that mode and owner, or a hard link to one.
struct Planted {
  const char* what;
  mode_t mode;  // 0: nothing
  uid_t owner;
  bool linked;
  bool taken;  // entries are appended to it
};

const Planted kPlantedFiles[] = {
    {"nothing: created private", 0, 0, false, true},      {"an own file", 0600, 0, false, true},
    {"another user's file", 0600, kNobody, false, false}, {"a hard link to an own file", 0600, 0, true, false},
    {"a group-writable file", 0620, 0, false, false},     {"an other-writable file", 0602, 0, false, false},
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
    if (row.mode != 0) MakeFile(row.linked ? "/tmp/victim" : path, row.mode, row.owner);
    if (row.linked) {
      ASSERT_EQ(::link("/tmp/victim", path.c_str()), 0);
    }
    const std::string before = ReadFile(path);
    write();
    const std::string after = ReadFile(path);
    EXPECT_EQ(after.size() > before.size(), row.taken);
    EXPECT_EQ(row.taken ? after.substr(0, before.size()) : after, before);
    if (before.empty()) {
      EXPECT_EQ(ModeOf(path), freshMode);
    }
  }
}

TEST(LogFileOwnership, PreInstallFileIsPrivateAndNeverAnotherUsersOrLinked) {
  if (!InPrivateTmp()) return;
  ExpectOnlyOwnFilesTaken(zutest::kPreInstallPath, 0600, [] { ZUSimLog("owner").LogMessage("fn", 0, "entry"); });
  // The tool says that the entry was dropped, and why.
  const std::string tool = std::string(ZU_BINARY_DIR) + "/tools/zu-request/zu-request";
  if (!zutest::Exists(tool)) GTEST_SKIP() << "no " << tool;
  const std::string request = std::string(ZU_EXAMPLES_DIR) + "/single-client-install.xml";
  const std::string run = tool + " log " + request + " >/tmp/out 2>&1";
  MakeFile(zutest::kPreInstallPath, 0600, kNobody);
  EXPECT_EQ(WEXITSTATUS(std::system(run.c_str())), 1);
  EXPECT_EQ(ReadFile("/tmp/out"), "zu-request: " + request + ": dropped: the pre-install file " +
                                      zutest::kPreInstallPath +
                                      " is refused: it belongs to another user (uid 65534)\n");
}

TEST(LogFileOwnership, RuntimeFilesArePrivateAndNeverAnotherUsersOrLinked) {
  if (!InPrivateTmp()) return;
  const zutest::EnvGuard env{{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", std::string(kLogs)}};
  ExpectOnlyOwnFilesTaken(std::string(kLogs) + "/owner.log", 0640,
                          [] { ZUSimLog("owner").LogMessage("fn", -1, "entry"); });
  EXPECT_EQ(ModeOf(kLogs), 0750u);
  ExpectOnlyOwnFilesTaken(std::string(kLogs) + "/ConsoleEvents.log", 0640,
                          [] { ZUSimLog("owner").SendEventToConsole(1033, 7, EVENT_STATUS, "%d", 7); });
}

TEST(LogFileOwnership, LogDirectoryAndLinksToItBelongToUsOrRoot) {
  if (!InPrivateTmp()) return;
  const struct {
    const char* what;
    const char* logs;  // ZU_LOG_DIR
    mode_t mode;       // of the directory planted
    uid_t owner;
    const char* link;  // a link to it, or none; then `owner` owns the link
    bool used;
  } rows[] = {
      {"root's directory", "/tmp/own", 0755, 0, nullptr, true},
      {"another user's directory", "/tmp/theirs", 0755, kNobody, nullptr, false},
      {"a group-writable directory", "/tmp/shared", 0770, 0, nullptr, false},
      {"root's link to a directory", "/tmp/root-link", 0750, 0, "/tmp/root-link", true},
      {"another user's link to a directory", "/tmp/their-link", 0750, kNobody, "/tmp/their-link", false},
      {"another user's link on the way", "/tmp/their-way/logs", 0750, kNobody, "/tmp/their-way", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string directory = row.link != nullptr ? std::string(row.link) + "-target" : row.logs;
    ASSERT_EQ(::mkdir(directory.c_str(), row.mode), 0);
    ASSERT_EQ(::chown(directory.c_str(), row.link ? 0 : row.owner, row.link ? 0 : row.owner), 0);
    if (row.link != nullptr) {
      ASSERT_EQ(::symlink(directory.c_str(), row.link), 0);
      ASSERT_EQ(::lchown(row.link, row.owner, row.owner), 0);
    }
    const zutest::EnvGuard env{{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", std::string(row.logs)}};
    ZUSimLog("owner").LogMessage("fn", -1, "entry");
    EXPECT_EQ(zutest::Exists(std::string(row.logs) + "/owner.log"), row.used);
  }
}

}  // namespace
