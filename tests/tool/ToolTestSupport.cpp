#include "ToolTestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "ZUInstallUtils.h"

extern char** environ;

namespace tooltest {

namespace {

// The variables that steer the runtime library are dropped unless `changes` sets them.
std::vector<std::string> ChildEnvironment(const std::filesystem::path& logDir, const EnvChanges& changes) {
  std::map<std::string, std::optional<std::string>> wanted{
      {"ZU_FOCUS", std::nullopt}, {"ZU_DEBUG_LEVEL", std::nullopt}, {"ZU_LOG_DIR", logDir.string()}};
  for (const auto& [name, value] : changes) wanted[name] = value;
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text = *entry;
    if (wanted.count(std::string(text.substr(0, text.find('=')))) == 0) entries.emplace_back(text);
  }
  for (const auto& [name, value] : wanted) {
    if (value) entries.push_back(name + '=' + *value);
  }
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/zu-tool-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp " << pattern << ": " << std::strerror(errno);
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& text) const {
  const std::filesystem::path file = path_ / name;
  std::ofstream out(file, std::ios::binary);
  out << text;
  if (!out.flush()) ADD_FAILURE() << "cannot write " << file;
  return file.string();
}

ToolResult RunTool(const std::vector<std::string>& args, const std::string& input, const EnvChanges& env) {
  const TempDir scratch;
  const std::string in = scratch.Write("stdin", input);
  const std::string out = (scratch.path() / "stdout").string();
  const std::string err = (scratch.path() / "stderr").string();
  std::vector<std::string> argv{ZU_REQUEST_TOOL};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> envp = ChildEnvironment(scratch.path() / "log", env);
  std::vector<char*> argvPointers = Pointers(argv);
  std::vector<char*> envPointers = Pointers(envp);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, ZU_REQUEST_TOOL, &actions, nullptr, argvPointers.data(), envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  ToolResult result;
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << ZU_REQUEST_TOOL << ": " << std::strerror(spawned);
    return result;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  return result;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Example(const char* name) { return std::string(ZU_EXAMPLES_DIR) + "/" + name; }

std::vector<std::string> ExampleRequests() {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(ZU_EXAMPLES_DIR)) {
    if (entry.path().extension() == ".xml") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::vector<std::string> AttributeValues(const std::string& xml, const std::string& name) {
  std::vector<std::string> values;
  const std::string key = name + "=\"";
  for (std::size_t at = xml.find(key); at != std::string::npos; at = xml.find(key, at + 1)) {
    // "password" must not match inside "clientPassword".
    if (at > 0 && std::string_view(" \t\n\r").find(xml[at - 1]) == std::string_view::npos) continue;
    const std::size_t start = at + key.size();
    const std::size_t end = xml.find('"', start);
    if (end == std::string::npos) break;
    values.push_back(xml.substr(start, end - start));
  }
  return values;
}

std::vector<std::string> PasswordValues(const std::string& xml) {
  std::vector<std::string> values;
  for (const char* name : {"password", "clientPassword", "pAccess", "pExecAccess"}) {
    for (std::string& value : AttributeValues(xml, name)) values.push_back(std::move(value));
  }
  return values;
}

std::string Decrypt(const std::string& text) {
  char* plain = nullptr;
  char error[1024] = {};
  if (ZUDecryptPassword(text.c_str(), &plain, error) != 0) {
    ADD_FAILURE() << "cannot decrypt " << text << ": " << error;
    return {};
  }
  return std::unique_ptr<char[]>(plain).get();
}

const std::vector<std::string>& ExampleSecrets() {
  static const std::vector<std::string> secrets = [] {
    std::vector<std::string> all;
    for (const std::string& path : ExampleRequests()) {
      for (const std::string& stored : PasswordValues(ReadFile(path))) {
        all.push_back(stored);
        all.push_back(Decrypt(stored));
      }
    }
    return all;
  }();
  return secrets;
}

void ExpectNoSecret(const std::string& text, const std::string& where) {
  for (const std::string& secret : ExampleSecrets()) {
    EXPECT_EQ(text.find(secret), std::string::npos) << where << " shows the password " << secret;
  }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace tooltest
