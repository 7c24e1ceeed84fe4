#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ZUInstallUtils.h"
#include "utils/UtilsTestSupport.h"

namespace {

namespace fs = std::filesystem;

using Pieces = std::vector<std::string>;

TEST(UtilSplitRelAndBuild, SplitsReleaseAndBuild) {
  const struct {
    const char* input;
    Pieces buildAndRelease;
    bool result;
  } cases[] = {
      {"11.0.0 (B80)", {" (B80)", "11.0"}, true},
      {"abc(x)", {"c(x)", "abc"}, false},
      {"11.80", {"", "11.8"}, true},
      {"x", {"", ""}, true},
      // Nothing to split: both outputs untouched.
      {"", {"keep-build", "keep-release"}, false},
      {"(", {"keep-build", "keep-release"}, false},
      {"11.0 (", {"keep-build", "keep-release"}, false},
  };
  for (const auto& c : cases) {
    std::string build = "keep-build", release = "keep-release";
    EXPECT_EQ(UtilSplitRelAndBuild(c.input, build, release), c.result) << c.input;
    EXPECT_EQ((Pieces{build, release}), c.buildAndRelease) << c.input;
  }
}

// A leading "(" once made the build start one character before the input.
TEST(UtilSplitRelAndBuild, LeadingParenthesisKeepsWholeInput) {
  std::string build = "keep";
  std::string release = "keep";
  EXPECT_FALSE(UtilSplitRelAndBuild("(B80) 11.0", build, release));
  EXPECT_EQ(build, "(B80) 11.0");
  EXPECT_EQ(release, "");
}

TEST(UtilSplitOsInformation, TakesPiecesBetweenSeparators) {
  const struct {
    const char* input;
    Pieces outputs;
    bool result;
  } cases[] = {
      {"A:-B:-C:-D", {"B", "C", "A", "D"}, true},
      {"A:-B:-C:-", {"B", "C", "A", ""}, true},
      {":-:-:-", {"", "", "", ""}, true},
      {"Linux:-x86_64:-6.1:-Debian 12", {"x86_64", "6.1", "Linux", "Debian 12"}, true},
      // A missing separator stops at once; earlier pieces keep their new values.
      {"", {"k1", "k2", "k3", "k4"}, false},
      {"A:-B", {"k1", "k2", "A", "k4"}, false},
      {"A:-B:-C", {"B", "k2", "A", "k4"}, false},
      {"A:B:C:D", {"k1", "k2", "k3", "k4"}, false},
  };
  for (const auto& c : cases) {
    std::string out1 = "k1", out2 = "k2", out3 = "k3", out4 = "k4";
    EXPECT_EQ(UtilSplitOsInformation(c.input, out1, out2, out3, out4), c.result) << c.input;
    EXPECT_EQ((Pieces{out1, out2, out3, out4}), c.outputs) << c.input;
  }
}

// A fourth separator once moved piece 3 into out3 and left out4 untouched.
TEST(UtilSplitOsInformation, FourthSeparatorStaysInLastPiece) {
  std::string out1, out2, out3, out4 = "keep";
  EXPECT_TRUE(UtilSplitOsInformation("A:-B:-C:-D:-E", out1, out2, out3, out4));
  EXPECT_EQ(out3, "A");
  EXPECT_EQ(out4, "D:-E");
}

TEST(UtilSplitDirAndFile, BackslashWinsOverSlash) {
  const struct {
    const char* path;
    Pieces directoryAndFile;
    bool result;
  } cases[] = {
      {"/opt/a/b.log", {"/opt/a", "b.log"}, true},
      {"/b.log", {"", "b.log"}, true},
      {"C:\\x/y", {"C:", "x/y"}, true},
      {"a\\b/", {"a", "b/"}, true},
      {"/opt/a/", {"keep-dir", "keep-file"}, false},
      {"C:\\dir\\", {"keep-dir", "keep-file"}, false},
      {"file.txt", {"keep-dir", "keep-file"}, false},
      {"", {"keep-dir", "keep-file"}, false},
  };
  for (const auto& c : cases) {
    std::string directory = "keep-dir", file = "keep-file";
    EXPECT_EQ(UtilSplitDirAndFile(c.path, directory, file), c.result) << c.path;
    EXPECT_EQ((Pieces{directory, file}), c.directoryAndFile) << c.path;
  }
}

// Two hours east of UTC, no daylight saving; the previous zone is restored.
class LocalTime : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("TZ")) oldTz_ = old;
    setenv("TZ", "XXX-2", 1);
    tzset();
  }
  void TearDown() override {
    if (oldTz_) setenv("TZ", oldTz_->c_str(), 1); else unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> oldTz_;
};

TEST_F(LocalTime, ScheduleTimeIsLocalHoursAndMinutes) {
  int seconds = -1;
  // 2024-01-01 11:45:59 UTC is 13:45:59 local; the seconds are dropped.
  EXPECT_EQ(getAtTimeForScheds(1704109559ul, seconds), 0);
  EXPECT_EQ(seconds, 49500);
  EXPECT_EQ(getAtTimeForScheds(1704067200ul - 7200, seconds), 0);
  EXPECT_EQ(seconds, 0) << "local midnight";
}

TEST_F(LocalTime, UnconvertibleTimeGivesZero) {
  int seconds = 123;
  EXPECT_EQ(getAtTimeForScheds(static_cast<unsigned long>(LONG_MAX), seconds), 0);
  EXPECT_EQ(seconds, 0);
}

TEST(SetValueIfNotSet, AssignsOnlyUnsetTargets) {
  int number = 5;
  SetValueIfNotSet(number, 7);
  EXPECT_EQ(number, 5);
  number = 0;
  SetValueIfNotSet(number, 7);
  EXPECT_EQ(number, 7);

  unsigned long wide = 0;
  SetValueIfNotSet(wide, -1);
  EXPECT_EQ(wide, ULONG_MAX) << "the int is widened with its sign";

  std::string text;
  SetValueIfNotSet(text, "first");
  SetValueIfNotSet(text, "second");
  EXPECT_EQ(text, "first");
}

class DirectoryCreation : public ::testing::Test {
 protected:
  void SetUp() override { oldMask_ = umask(022); }
  void TearDown() override {
    umask(oldMask_);
    permFlag = 0755;
  }
  static unsigned ModeOf(const fs::path& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
  }

  uttest::ScratchDir dir_;
  mode_t oldMask_ = 0;
};

TEST_F(DirectoryCreation, CreatesMissingParentsWithPermFlag) {
  EXPECT_EQ(permFlag, 0755);
  permFlag = 0700;
  const fs::path leaf = dir_.path() / "a" / "b" / "c";
  ASSERT_EQ(CreateDirectoryRecursive(leaf.c_str()), 0);
  EXPECT_TRUE(fs::is_directory(leaf));
  EXPECT_EQ(ModeOf(dir_.path() / "a"), 0700u);
  EXPECT_EQ(ModeOf(leaf), 0700u);
  EXPECT_EQ(CreateDirectoryRecursive(leaf.c_str()), 0) << "an existing directory is fine";
}

// The errno a refused creation leaves.
int RefusalErrno(const char* path) {
  errno = 0;
  EXPECT_EQ(CreateDirectoryRecursive(path), -1);
  return errno;
}

TEST_F(DirectoryCreation, PathLengthLimitIs1024) {
  std::string path = dir_.path().string() + "/";
  while (path.size() < 1024) path += path.size() % 100 == 0 && path.back() != '/' ? '/' : 'd';
  const std::string first = path.substr(0, path.find('/', dir_.path().string().size() + 1));

  EXPECT_EQ(RefusalErrno((path + "e").c_str()), -777);
  EXPECT_FALSE(fs::exists(first)) << "a refused path creates nothing";
  ASSERT_EQ(CreateDirectoryRecursive(path.c_str()), 0);
  EXPECT_TRUE(fs::is_directory(path));
}

TEST_F(DirectoryCreation, ReportsSystemErrors) {
  EXPECT_EQ(RefusalErrno((dir_.write("plain", "x") + "/sub").c_str()), ENOTDIR);
  EXPECT_EQ(RefusalErrno(""), ENOENT) << "no '/' left to split off";
  EXPECT_EQ(RefusalErrno(nullptr), EINVAL);
}

TEST(IsPelluxVersionSupported, AcceptsFourteenToSixteen) {
  for (int version : {13, 14, 15, 16, 17}) {
    EXPECT_EQ(IsPelluxVersionSupported(version), version >= 14 && version <= 16) << version;
  }
}

}  // namespace
