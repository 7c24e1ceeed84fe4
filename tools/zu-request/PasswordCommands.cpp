// zu-request convert-passwords, password and packages: the password services
// and the package catalogue from the command line.
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "ZUInstallUtils.h"

namespace zutool {

namespace {

using Wrapper = int (*)(const char*, char**, char*);

struct PasswordOperation {
  const char* name;
  Wrapper run;
  const char* prompt;  // asked on a terminal before each line
};

constexpr PasswordOperation kPasswordOperations[] = {
    {"encrypt", ZUEncryptPassword, "Password: "},
    {"encrypt-v8", ZUEncryptPassword_V8, "Password: "},
    {"decrypt", ZUDecryptPassword, "Stored password: "},
    {"v8-to-v3", ZUPasswordConvert_V8ToV3, "Stored V8 password: "},
    {"v3-to-v8", ZUPasswordConvert_V3ToV8, "Stored V3 password: "},
};

// The terminal as it was and as it is while echo is off, for the signal
// handler: no way out may leave the operator's terminal silent.
struct termios gTerminal;
struct termios gQuiet;
constexpr int kTerminalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT};

void RestoreAndRaise(int number) {
  const int saved = errno;
  if (number == SIGCONT) {
    // Back from a stop: silent again, and ready for the next stop.
    ::tcsetattr(STDIN_FILENO, TCSANOW, &gQuiet);
    ::signal(SIGTSTP, RestoreAndRaise);
  } else {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &gTerminal);
    ::signal(number, SIG_DFL);
    ::raise(number);  // delivered once this handler returns
  }
  errno = saved;
}

// Turns echo off on the terminal at standard input for its lifetime and puts
// the terminal back however the command ends: return, exception or signal.
class QuietTerminal {
 public:
  QuietTerminal() {
    if (::tcgetattr(STDIN_FILENO, &gTerminal) != 0) return;
    gQuiet = gTerminal;
    gQuiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    gQuiet.c_lflag |= ECHONL;  // the line break still shows
    struct sigaction action {};
    action.sa_handler = RestoreAndRaise;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kTerminalSignals); ++i) {
      ::sigaction(kTerminalSignals[i], &action, &previous_[i]);
    }
    installed_ = true;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &gQuiet);
  }
  ~QuietTerminal() {
    if (!installed_) return;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &gTerminal);
    for (std::size_t i = 0; i < std::size(kTerminalSignals); ++i) {
      ::sigaction(kTerminalSignals[i], &previous_[i], nullptr);
    }
  }
  QuietTerminal(const QuietTerminal&) = delete;
  QuietTerminal& operator=(const QuietTerminal&) = delete;

 private:
  bool installed_ = false;
  struct sigaction previous_[std::size(kTerminalSignals)] = {};
};

// The wrappers write at most 75 characters; room as the library's own caller gives.
constexpr std::size_t kErrorRoom = 1024;

// Accepts a plain decimal package id: digits only, within int.
bool ParsePackageId(const std::string& text, int& id) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
  if (errno == ERANGE || value > static_cast<unsigned long long>(INT_MAX)) return false;
  id = static_cast<int>(value);
  return true;
}

}  // namespace

std::string PackageClasses(int id, const std::vector<int>& centralServerPackages) {
  const unsigned long wide = static_cast<unsigned long>(id);
  const bool centralServer =
      std::find(centralServerPackages.begin(), centralServerPackages.end(), id) != centralServerPackages.end();
  const struct {
    bool member;
    const char* name;
  } classes[] = {
      {IsDBPackage(wide), "database"},   {IsNonDX_DBPackage(wide), "non-central-server database"},
      {IsBasePackage(wide), "base"},     {IsMediaAgentPackage(wide), "media agent"},
      {IsFSPackage(wide), "FS"},         {IsSRMAgentPackage(wide), "SRM agent"},
      {centralServer, "central server"}, {isThirdPartyPackage(id), "third party"},
  };
  std::string text;
  for (const auto& c : classes) {
    if (!c.member) continue;
    if (!text.empty()) text += ", ";
    text += c.name;
  }
  return text;
}

int ConvertPasswords(const Args& args) {
  Parsed parsed;
  if (const std::optional<int> exit = ParseOptions("convert-passwords", args, {}, parsed)) return *exit;
  if (parsed.operands.size() != 1) return UsageError("convert-passwords: expects exactly one FILE");
  const std::string& path = parsed.operands[0];
  ZUInstallManager::ClientSetup request;
  if (!LoadRequest(path, request)) return kFailed;
  ZUInstallManager::ClientSetup* target = &request;
  std::string error;
  if (ReEncryptInputRequestNetPwdV8ToV3(target, error) != 0) return Fail(ShownName(path) + ": " + error);

  const EncodingFlags flags{true, false, false, 0, 0, -1, false, false, true, false, 1};
  XMLEncoder encoder(flags, nullptr);
  std::string xml;
  const int status = encoder.serialize(&request, xml, false);
  if (status != 0) return Fail("cannot serialize the request (error " + std::to_string(status) + ")");
  std::cout << xml << '\n';
  std::cout.flush();
  return std::cout ? kOk : Fail("cannot write to standard output");
}

int Password(const Args& args) {
  // A mistyped command line may hold a password: no argument is repeated back.
  Parsed parsed;
  if (const std::optional<int> exit = ParseOptions("password", args, {}, parsed, false)) return *exit;
  const PasswordOperation* operation = nullptr;
  for (const PasswordOperation& candidate : kPasswordOperations) {
    if (parsed.operands.size() == 1 && parsed.operands[0] == candidate.name) operation = &candidate;
  }
  if (operation == nullptr) {
    return UsageError(
        "password: expects one of encrypt, encrypt-v8, decrypt, v8-to-v3, v3-to-v8 "
        "(texts are read from standard input)");
  }

  // Typed passwords are not echoed; piped ones are read as they come.
  const bool terminal = ::isatty(STDIN_FILENO) == 1;
  std::optional<QuietTerminal> quiet;
  if (terminal) quiet.emplace();
  const auto prompt = [&] {
    if (terminal) std::cerr << operation->prompt << std::flush;
    return true;
  };
  std::string line;
  for (unsigned long number = 1; prompt() && std::getline(std::cin, line); ++number) {
    char* output = nullptr;
    char error[kErrorRoom] = {};
    const int result = operation->run(line.c_str(), &output, error);
    std::unique_ptr<char[]> owned(output);
    if (result != 0) {
      const std::string reason = error[0] != '\0' ? error : "out of memory";
      return Fail("line " + std::to_string(number) + ": " + reason);
    }
    std::cout << owned.get() << '\n';
  }
  if (terminal) std::cerr << '\n';
  if (std::cin.bad()) return Fail("cannot read standard input");
  std::cout.flush();
  return std::cout ? kOk : Fail("cannot write to standard output");
}

int Packages(const Args& args) {
  Parsed parsed;
  if (const std::optional<int> exit = ParseOptions("packages", args, {}, parsed)) return *exit;
  if (parsed.operands.empty()) return UsageError("packages: missing ID");
  std::vector<int> ids;
  ids.reserve(parsed.operands.size());
  for (const std::string& arg : parsed.operands) {
    int id = 0;
    if (!ParsePackageId(arg, id)) return UsageError("packages: '" + arg + "' is not a package id");
    ids.push_back(id);
  }
  std::vector<int> centralServerPackages;
  GetAllDXPackages(centralServerPackages);
  for (int id : ids) {
    const std::string classes = PackageClasses(id, centralServerPackages);
    std::cout << id << ": " << (classes.empty() ? "none" : classes) << '\n';
  }
  std::cout.flush();
  return std::cout ? kOk : Fail("cannot write to standard output");
}

}  // namespace zutool
