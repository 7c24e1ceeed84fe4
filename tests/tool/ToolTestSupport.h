// Running the built zu-request binary, and what its tests share.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tooltest {

// What one run of the tool left behind.
struct ToolResult {
  int status = -1;  // exit status; 128 + signal when killed
  std::string out;
  std::string err;
};

// Environment changes of one run: a value sets the variable, nullopt unsets it.
using EnvChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

// A directory removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes `text` to the file `name` in this directory and returns its path.
  std::string Write(const std::string& name, const std::string& text) const;

 private:
  std::filesystem::path path_;
};

// Runs zu-request with `args`, `input` on stdin and the ZU_* variables cleared
// (ZU_LOG_DIR points into a private directory) before `env` is applied.
// Fails the current test when the process cannot be started.
ToolResult RunTool(const std::vector<std::string>& args, const std::string& input = "",
                   const EnvChanges& env = {});

// Returns a file's bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Returns the path of the bundled example request `name`.
std::string Example(const char* name);
// Returns the paths of the bundled example requests, sorted.
std::vector<std::string> ExampleRequests();
// Returns the value of every attribute `name` (a whole name, not a suffix) in the XML text, in order.
std::vector<std::string> AttributeValues(const std::string& xml, const std::string& name);
// Returns the values of every password attribute in the XML text.
std::vector<std::string> PasswordValues(const std::string& xml);
// Returns the plain text of a stored password; fails the current test when it cannot.
std::string Decrypt(const std::string& text);
// Fails the current test for every password of the examples (stored or plain) found in `text`.
void ExpectNoSecret(const std::string& text, const std::string& where);
// Returns every password of the examples: the stored texts and their decryptions.
const std::vector<std::string>& ExampleSecrets();
// Returns the lines of `text`, without their line feeds.
std::vector<std::string> Lines(const std::string& text);

}  // namespace tooltest
