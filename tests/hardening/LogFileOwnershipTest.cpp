// Log files that another user planted, linked or can write are never written
// to; fresh ones are private. Each test runs again as root in a private mount
// namespace with a tmpfs on /tmp, so it can chown to nobody and own the fixed
// pre-install path without touching the machine's.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ZUInstallLog.h"
#include "common/TestSupport.h"

namespace {

using zutest::ReadFile;

constexpr uid_t kNobody = 65534;

// True in the private run, where modes are the library's alone; otherwise
// runs the current test there (or skips when not root) and returns false.
bool InPrivateTmp() {
  if (!zutest::InPrivateMount("/tmp")) return false;
  ::umask(0);
  return true;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Plants at `path` nothing, or a file of that mode and owner, or a hard link
// to one, writes through `write`, and checks that the entry landed exactly
// when the row allows it, in a file of `freshMode` when there was none.
void ExpectOnlyOwnFilesTaken(const std::string& path, mode_t freshMode, void (*write)()) {
  const std::tuple<const char*, mode_t, uid_t, bool, bool> rows[] = {
      {"nothing: created private", 0, 0, false, true},      {"an own file", 0600, 0, false, true},
      {"another user's file", 0600, kNobody, false, false}, {"a hard link to an own file", 0600, 0, true, false},
      {"a group-writable file", 0620, 0, false, false},     {"an other-writable file", 0602, 0, false, false}};
  for (const auto& [what, mode, owner, linked, taken] : rows) {  // mode 0: nothing
    SCOPED_TRACE(what);
    ::unlink(path.c_str());
    const std::string file = linked ? "/tmp/victim" : path;
    if (mode != 0) std::ofstream(file, std::ios::binary) << "kept\n";
    ASSERT_TRUE(mode == 0 || (::chmod(file.c_str(), mode) == 0 && ::chown(file.c_str(), owner, owner) == 0));
    ASSERT_TRUE(!linked || ::link(file.c_str(), path.c_str()) == 0);
    const std::string before = ReadFile(path);
    write();
    const std::string after = ReadFile(path);
    EXPECT_EQ(after.size() > before.size(), taken);
    EXPECT_EQ(taken ? after.substr(0, before.size()) : after, before);
    EXPECT_TRUE(!before.empty() || ModeOf(path) == freshMode) << std::oct << ModeOf(path);
    ::unlink("/tmp/victim");
  }
}

TEST(LogFileOwnership, PreInstallFileIsPrivateAndNeverAnotherUsersOrLinked) {
  if (!InPrivateTmp()) return;
  ExpectOnlyOwnFilesTaken(zutest::kPreInstallPath, 0600, [] { ZUSimLog("owner").LogMessage("fn", 0, "entry"); });
  // The tool says that the entry was dropped, and why.
  const std::string tool = std::string(ZU_BINARY_DIR) + "/tools/zu-request/zu-request",
                    request = std::string(ZU_EXAMPLES_DIR) + "/single-client-install.xml";
  if (!zutest::Exists(tool)) GTEST_SKIP() << "no " << tool;
  ASSERT_EQ(::chown(zutest::kPreInstallPath, kNobody, kNobody), 0);
  EXPECT_EQ(WEXITSTATUS(std::system((tool + " log " + request + " >/tmp/out 2>&1").c_str())), 1);
  EXPECT_EQ(ReadFile("/tmp/out"), "zu-request: " + request + ": dropped: the pre-install file " +
                                      zutest::kPreInstallPath +
                                      " is refused: it belongs to another user (uid 65534)\n");
}

TEST(LogFileOwnership, RuntimeFilesArePrivateAndNeverAnotherUsersOrLinked) {
  if (!InPrivateTmp()) return;
  const zutest::EnvGuard env{{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", "/tmp/logs"}};
  ExpectOnlyOwnFilesTaken("/tmp/logs/owner.log", 0640, [] { ZUSimLog("owner").LogMessage("fn", -1, "entry"); });
  EXPECT_EQ(ModeOf("/tmp/logs"), 0750u);
  ExpectOnlyOwnFilesTaken("/tmp/logs/ConsoleEvents.log", 0640,
                          [] { ZUSimLog("owner").SendEventToConsole(1033, 7, EVENT_STATUS, "%d", 7); });
}

// ZU_LOG_DIR, the directory planted there (or at a link's target, `owner`
// then owning the link) and whether the log is written in it.
TEST(LogFileOwnership, LogDirectoryAndLinksToItBelongToUsOrRoot) {
  if (!InPrivateTmp()) return;
  const std::tuple<const char*, const char*, mode_t, uid_t, const char*, bool> rows[] = {
      {"root's directory", "/tmp/own", 0755, 0, nullptr, true},
      {"another user's directory", "/tmp/theirs", 0755, kNobody, nullptr, false},
      {"a group-writable directory", "/tmp/shared", 0770, 0, nullptr, false},
      {"root's link to a directory", "/tmp/root-link", 0750, 0, "/tmp/root-link", true},
      {"another user's link to a directory", "/tmp/their-link", 0750, kNobody, "/tmp/their-link", false},
      {"another user's link on the way", "/tmp/their-way/logs", 0750, kNobody, "/tmp/their-way", false},
  };
  for (const auto& [what, logs, mode, owner, link, used] : rows) {
    SCOPED_TRACE(what);
    const std::string directory = link != nullptr ? std::string(link) + "-target" : logs;
    const uid_t dirOwner = link ? 0 : owner;
    ASSERT_TRUE(::mkdir(directory.c_str(), mode) == 0 && ::chown(directory.c_str(), dirOwner, dirOwner) == 0);
    ASSERT_TRUE(!link || (::symlink(directory.c_str(), link) == 0 && ::lchown(link, owner, 0) == 0));
    const zutest::EnvGuard env{{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", std::string(logs)}};
    ZUSimLog("owner").LogMessage("fn", -1, "entry");
    EXPECT_EQ(zutest::Exists(std::string(logs) + "/owner.log"), used);
  }
}

}  // namespace
