// Log files that another user planted or linked are never written to; fresh
// ones are private, loose own ones moved aside. The log directory is walked
// so that a swap on the way leads nowhere. Each test runs again as root in a
// private mount namespace with a tmpfs on /tmp, so it can chown to nobody and
// own the fixed pre-install path without touching the machine's.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

// Plants at `path` nothing, or a file of that mode and owner, or a hard link to one, opened before as a group
// member or an older version would, writes through `write`, and checks where the entry landed: in the file as
// it stood, or in a fresh one of mode `freshMode` after the loose own file was moved aside (narrowed to that mode,
// keeping its content and what the early descriptor appends, the new entry out of its reach), or nowhere.
void ExpectOnlyOwnFilesTaken(const std::string& path, mode_t freshMode, void (*write)()) {
  enum Outcome { kInPlace, kMovedAside, kRefused };
  const std::tuple<const char*, mode_t, uid_t, bool, Outcome> rows[] = {
      {"nothing: created private", 0, 0, false, kInPlace},
      {"an own file", 0600, 0, false, kInPlace},
      {"another user's file", 0600, kNobody, false, kRefused},
      {"another user's 0666 file", 0666, kNobody, false, kRefused},
      {"a hard link to an own file", 0600, 0, true, kRefused},
      {"an own group-writable file", 0620, 0, false, kMovedAside},
      {"an own 0666 file", 0666, 0, false, kMovedAside},
      {"an own 0664 file", 0664, 0, false, kMovedAside}};
  for (const auto& [what, mode, owner, linked, outcome] : rows) {  // mode 0: nothing
    SCOPED_TRACE(what);
    ::unlink(path.c_str()), ::unlink("/tmp/victim");
    const std::string file = linked ? "/tmp/victim" : path;
    if (mode != 0) std::ofstream(file, std::ios::binary) << "kept\n";
    ASSERT_TRUE((mode == 0 || (::chmod(file.c_str(), mode) == 0 && ::chown(file.c_str(), owner, owner) == 0)) &&
                (!linked || ::link(file.c_str(), path.c_str()) == 0));
    const int early = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    const std::string before = ReadFile(path), stays = outcome == kMovedAside ? "" : before;
    const std::time_t since = std::time(nullptr);
    write();
    std::string aside, after = ReadFile(path);
    for (std::time_t t = since; t <= std::time(nullptr) && !zutest::Exists(aside); ++t)
      aside = path + ".loose-" + std::to_string(t) + "-" + std::to_string(::getpid());
    EXPECT_TRUE(after.compare(0, stays.size(), stays) == 0 && (after.size() > stays.size()) == (outcome != kRefused));
    EXPECT_TRUE(outcome == kRefused || (stays.empty() ? ModeOf(path) == freshMode : (ModeOf(path) & ~freshMode) == 0))
        << std::oct << ModeOf(path);
    EXPECT_EQ(zutest::Exists(aside), outcome == kMovedAside);
    if (outcome == kMovedAside) {  // the early descriptor reads no new entry and cannot append to the log
      char read[16] = {};
      EXPECT_TRUE(::pread(early, read, sizeof read, 0) == 5 && ::write(early, "forged\n", 7) == 7) << read;
      EXPECT_TRUE(ReadFile(aside) == "kept\nforged\n" && ModeOf(aside) == ((mode & freshMode) | S_ISVTX) &&
                  ReadFile(path) == after);
    }
    ::close(early), ::unlink(aside.c_str());
  }
}

// Then zu-request log names the file each entry reached, or says why it was
// dropped, in the same words for every level that is not written. Rows:
// ZU_LOG_DIR below /tmp with an instance (none when empty), the level, what is said.
TEST(LogFileOwnership, PreInstallFileIsPrivateNeverAnotherUsersOrLinkedAndTheToolSaysSo) {
  if (!InPrivateTmp()) return;
  ExpectOnlyOwnFilesTaken(zutest::kPreInstallPath, 0600, [] { ZUSimLog("owner").LogMessage("fn", 0, "entry"); });
  const std::string tool = std::string(ZU_BINARY_DIR) + "/tools/zu-request/zu-request",
                    request = std::string(ZU_EXAMPLES_DIR) + "/single-client-install.xml",
                    pre = zutest::kPreInstallPath;
  ASSERT_TRUE(::mkdir("/tmp/theirs", 0755) == 0 && ::chown("/tmp/theirs", kNobody, 0) == 0 &&
              ::unlink(pre.c_str()) == 0);
  const std::tuple<std::string, int, std::string> rows[] = {
      {"theirs", 0, "logged at level 0 to the pre-install file " + pre + " (the runtime refused the debug log)"},
      {"logs", 2, "dropped: level 2 is not written: the debug log /tmp/logs/zu-request.log takes levels up to 1"},
      {"logs", 3, "dropped: level 3 is not written: the logger skips XML entries at level 3"},
      {"", 0, "dropped: the pre-install file " + pre + " is refused: it belongs to another user (uid 65534)"}};
  for (const auto& [logs, level, said] : rows) {
    ASSERT_TRUE(!logs.empty() || ::chown(zutest::kPreInstallPath, kNobody, 0) == 0);
    const std::string env = logs.empty() ? "" : "ZU_FOCUS=I ZU_LOG_DIR=/tmp/" + logs;
    const int status = std::system(("env -u ZU_DEBUG_LEVEL -u ZU_FOCUS " + env + " " + tool +
                                    " log --level=" + std::to_string(level) + " " + request + " >/tmp/out 2>&1")
                                       .c_str());
    EXPECT_EQ(WEXITSTATUS(status), said[0] == 'd') << said;
    EXPECT_EQ(ReadFile("/tmp/out"), (said[0] == 'd' ? "zu-request: " : "") + request + ": " + said + "\n");
  }
}

TEST(LogFileOwnership, RuntimeFilesArePrivateAndNeverAnotherUsersOrLinked) {
  if (!InPrivateTmp()) return;
  const zutest::EnvGuard env{{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", "/tmp/logs"}};
  ExpectOnlyOwnFilesTaken("/tmp/logs/owner.log", 0640, [] { ZUSimLog("owner").LogMessage("fn", -1, "entry"); });
  EXPECT_EQ(ModeOf("/tmp/logs"), 0750u);
  ExpectOnlyOwnFilesTaken("/tmp/logs/ConsoleEvents.log", 0640,
                          [] { ZUSimLog("owner").SendEventToConsole(1033, 7, EVENT_STATUS, "%d", 7); });
}

// ZU_LOG_DIR; the mode and owner of the directory planted at its first
// component below /tmp (or of a link there to root's directory of that
// mode); whether the log is written. Directories on the way may be shared as
// /tmp is, the log directory itself not.
TEST(LogFileOwnership, LogDirectoryAndLinksToItBelongToUsOrRoot) {
  if (!InPrivateTmp()) return;
  const std::tuple<const char*, std::string, mode_t, uid_t, bool, bool> rows[] = {
      {"root's directory", "/tmp/own", 0755, 0, false, true},
      {"another user's directory", "/tmp/theirs", 0755, kNobody, false, false},
      {"a group-writable directory", "/tmp/shared", 0770, 0, false, false},
      {"root's sticky directory", "/tmp/sticky", 01777, 0, false, false},
      {"root's sticky directory on the way", "/tmp/sticky-way/logs", 01777, 0, false, true},
      {"a writable directory on the way", "/tmp/open-way/logs", 0777, 0, false, false},
      {"another user's directory on the way", "/tmp/their-way/logs", 0755, kNobody, false, false},
      {"root's link to a directory", "/tmp/root-link", 0750, 0, true, true},
      {"another user's link on the way", "/tmp/their-link-way/logs", 0750, kNobody, true, false}};
  for (const auto& [what, logs, mode, owner, linked, used] : rows) {
    SCOPED_TRACE(what);
    const std::string planted = logs.substr(0, logs.find('/', 5)), directory = planted + (linked ? "-target" : "");
    ASSERT_TRUE(::mkdir(directory.c_str(), mode) == 0 && ::chmod(directory.c_str(), mode) == 0 &&
                ::chown(directory.c_str(), linked ? 0 : owner, 0) == 0);
    ASSERT_TRUE(!linked ||
                (::symlink(directory.c_str(), planted.c_str()) == 0 && ::lchown(planted.c_str(), owner, 0) == 0));
    const zutest::EnvGuard env{{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", logs}};
    ZUSimLog("owner").LogMessage("fn", -1, "entry");
    EXPECT_EQ(zutest::Exists(logs + "/owner.log"), used);
  }
  // Another user swaps a directory and his link to root's directory, again
  // and again: entries land in the directory or nowhere, never through the link.
  ASSERT_TRUE(::mkdir("/tmp/logs", 0750) == 0 && ::mkdir("/tmp/roots", 0750) == 0 &&
              ::symlink("/tmp/roots", "/tmp/link") == 0 && ::lchown("/tmp/link", kNobody, 0) == 0);
  const zutest::EnvGuard env{{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", "/tmp/logs"}};
  std::atomic<bool> done{false};
  std::thread swapper([&done] {
    while (!done) ::renameat2(AT_FDCWD, "/tmp/logs", AT_FDCWD, "/tmp/link", RENAME_EXCHANGE);
  });
  for (int i = 0; i < 20000; ++i) ZUSimLog("owner").LogMessage("fn", -1, "entry");
  done = true;
  swapper.join();
  EXPECT_TRUE(std::filesystem::is_empty("/tmp/roots"));
  const std::string real = std::filesystem::is_symlink("/tmp/logs") ? "/tmp/link" : "/tmp/logs";
  EXPECT_FALSE(ReadFile(real + "/owner.log").empty()) << "never raced";
}

}  // namespace
