// What every test program shares: files read whole, scratch directories, the
// runtime's environment set for a scope, the fixed pre-install path kept
// aside and a private mount for tests that must own a system path. One namespace, one home for each helper.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace zutest {

constexpr char kPreInstallPath[] = "/tmp/ZuInstallMgrPreInstall.log";

// The file's bytes exactly; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of `text` without their line feeds; a last unterminated piece counts.
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// A fresh directory under the system's temporary directory, removed with
// everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zu-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  // Writes `bytes` exactly (no line-end translation) and returns the file's path.
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string file = *this / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

 private:
  std::filesystem::path path_;
};

// Sets (or, with nullopt, unsets) environment variables for a scope and puts
// back what stood there before.
class EnvGuard {
 public:
  using Value = std::optional<std::string>;
  EnvGuard(std::initializer_list<std::pair<const char*, Value>> values) {
    for (const auto& [name, value] : values) {
      const char* old = ::getenv(name);
      saved_.emplace_back(name, old != nullptr ? Value(old) : std::nullopt);
      Set(name, value);
    }
  }
  ~EnvGuard() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) Set(it->first, it->second);
  }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

 private:
  static void Set(const std::string& name, const Value& value) {
    value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
  }
  std::vector<std::pair<std::string, Value>> saved_;
};

// Moves whatever stands at the pre-install path aside for the scope and puts
// it back afterwards, removing what the test left there. Test programs using
// it hold the ctest resource lock preinstall_log.
class PreInstallPathGuard {
 public:
  PreInstallPathGuard() : saved_(std::string(kPreInstallPath) + ".saved-" + std::to_string(::getpid())) {
    had_ = Exists(kPreInstallPath) && std::rename(kPreInstallPath, saved_.c_str()) == 0;
  }
  ~PreInstallPathGuard() {
    std::error_code ignored;
    std::filesystem::remove_all(kPreInstallPath, ignored);
    if (had_) std::rename(saved_.c_str(), kPreInstallPath);
  }
  PreInstallPathGuard(const PreInstallPathGuard&) = delete;
  PreInstallPathGuard& operator=(const PreInstallPathGuard&) = delete;

 private:
  std::string saved_;
  bool had_ = false;
};

// True while the current test runs in a private mount namespace with a fresh
// tmpfs on `target`. Otherwise runs the test again there, as root, or skips
// it when not root, and returns false: the caller returns at once. The test
// runs whole in the other process, so its failures are reported as usual.
// A source or build tree below `target` is bound back in place, through a
// descriptor opened before the tmpfs hides it, so the test program and its
// libraries stay where their paths say.
inline bool InPrivateMount(const std::string& target) {
  if (std::getenv("ZU_PRIVATE_MOUNT") != nullptr) return true;
  if (::geteuid() != 0) {
    [&] { GTEST_SKIP() << "needs root: runs in a private mount namespace (unshare -m) with a tmpfs on " << target; }();
    return false;
  }
  std::string open, bind, close;
  int fd = 3;
  for (const std::string tree : {ZU_SOURCE_DIR, ZU_BINARY_DIR}) {
    if (tree.compare(0, target.size() + 1, target + "/") != 0) continue;
    const std::string n = std::to_string(fd++);
    open += "exec " + n + "<\"" + tree + "\"; ";
    bind += "mkdir -p \"" + tree + "\" && mount -c --bind /proc/self/fd/" + n + " \"" + tree + "\" && exec " + n +
            "<&- && ";
  }
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string command = "ZU_PRIVATE_MOUNT=1 unshare -m sh -c '" + open + "mount -t tmpfs tmpfs \"$0\" && " +
                              bind + "exec \"$1\" --gtest_filter=\"$2\"' " + target + " " +
                              std::filesystem::read_symlink("/proc/self/exe").string() + " " + test->test_suite_name() +
                              "." + test->name();
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  return false;
}

}  // namespace zutest
