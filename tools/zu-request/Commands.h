// The subcommands of zu-request and what they share. Each subcommand takes
// the arguments after its name and returns the exit status: 0 success,
// 1 failure, 2 usage error.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ZuInstallMessages.h"

namespace zutool {

using Args = std::vector<std::string>;

enum Exit : int { kOk = 0, kFailed = 1, kUsage = 2 };

int Show(const Args& args);
int Mask(const Args& args);
int Log(const Args& args);
int ConvertPasswords(const Args& args);
int Password(const Args& args);
int Packages(const Args& args);
int Diff(const Args& args);
int Check(const Args& args);
int Schema(const Args& args);
int Redact(const Args& args);
int Bundle(const Args& args);

// One option of a command, written --name or --name=VALUE / --name VALUE, and
// -c VALUE / -cVALUE too when it has a `shortName` c. Either form is stored
// under `name`.
struct OptionSpec {
  const char* name;
  bool takesValue;
  char shortName = 0;
};

// A command's options by name (a flag maps to "", the last value wins) and
// its operands in order.
struct Parsed {
  std::map<std::string, std::string> options;
  Args operands;
};

// Parses a command's arguments as getopt_long does: options may follow
// operands, "--" ends them, --help/-h and --version/-V are known to every
// command and win over errors (--help prints the command's own help). Returns the exit status when the command must
// not run (help or version printed, or a usage error), nullopt otherwise.
// With `echo` false a usage error does not repeat the offending argument.
std::optional<int> ParseOptions(const char* command, const Args& args, const std::vector<OptionSpec>& specs,
                                Parsed& parsed, bool echo = true);
// Prints the help of `command` (the overview for "" or a name without help)
// or the version to stdout and returns the exit status.
int PrintHelp(const std::string& command = "");
int PrintVersion();

// Returns the catalogue's classes of a package id; empty when the catalogue
// does not know it. `centralServerPackages` is GetAllDXPackages'.
std::vector<const char*> PackageClasses(int id, const std::vector<int>& centralServerPackages);
// Returns the words check and packages use for an id the catalogue does not hold.
std::string NotInCatalogue(long long id);

// Returns the name errors give FILE: "<stdin>" for "-".
std::string ShownName(const std::string& path);
// The request loader's cap: a device such as /dev/zero never reaches end of
// file, and nothing larger is a request.
constexpr std::size_t kMaxRequestBytes = std::size_t{256} << 20;

// FILE, or standard input for "-", read a piece at a time against a cap: a
// regular file holding more than the cap is refused from its size before a
// byte is read, any other input once more than the cap has come.
class Input {
 public:
  explicit Input(const std::string& path, std::size_t cap = kMaxRequestBytes);
  // Reads what is left of `fd`, which stays open.
  Input(int fd, std::size_t cap);
  ~Input();
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // Fills at most `room` bytes of `buffer`, fewer only at the end; returns
  // how many, 0 at the end, -1 once the input cannot be read (see reason()).
  std::ptrdiff_t Read(char* buffer, std::size_t room);
  bool failed() const { return error_ != 0; }
  // The system's reason, or "larger than N MiB".
  std::string reason() const;

 private:
  int fd_;
  bool owned_;
  std::size_t cap_;
  std::size_t total_ = 0;
  int error_ = 0;
};

// Reads FILE, or standard input for "-", whole; false with the system's
// `reason` when it cannot be opened or read (a directory, say), or when it
// holds more than `cap` bytes.
bool ReadInput(const std::string& path, std::string& text, std::string& reason, std::size_t cap = kMaxRequestBytes);
// Reads what is left of `fd` whole, as ReadInput does.
bool ReadDescriptor(int fd, std::string& text, std::string& reason, std::size_t cap);
// Loads FILE or "-" into `request`. On failure prints
// "zu-request: FILE:LINE:COLUMN: reason" (line and column from 1), or
// "zu-request: FILE: reason" when no position is known, and returns false.
bool LoadRequest(const std::string& path, ZUInstallManager::ClientSetup& request);
// Prints "zu-request: message" to stderr and returns `status`.
int Fail(const std::string& message, int status = kFailed);
// Prints the usage error and returns kUsage.
int UsageError(const std::string& message);

}  // namespace zutool
