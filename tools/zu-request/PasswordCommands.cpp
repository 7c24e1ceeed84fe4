// zu-request convert-passwords, password and packages: the password services
// and the package catalogue from the command line.
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Commands.h"
#include "RequestFacts.h"
#include "ZUInstallUtils.h"

namespace zutool {

namespace {

using Wrapper = int (*)(const char*, char**, char*);

struct PasswordOperation {
  const char* name;
  Wrapper run;
  const char* prompt;  // asked on a terminal before each line
  bool stores;         // writes a stored form, which decrypt must take back
};

constexpr PasswordOperation kPasswordOperations[] = {
    {"encrypt", ZUEncryptPassword, "Password: ", true},
    {"encrypt-v8", ZUEncryptPassword_V8, "Password: ", true},
    {"decrypt", ZUDecryptPassword, "Stored password: ", false},
    {"v8-to-v3", ZUPasswordConvert_V8ToV3, "Stored V8 password: ", true},
    {"v3-to-v8", ZUPasswordConvert_V3ToV8, "Stored V3 password: ", true},
};

// The terminal as it was and as it is while echo is off, for the signal
// handler: no way out may leave the operator's terminal silent.
struct termios gTerminal;
struct termios gQuiet;
// Every signal whose default ends the process (SIGPIPE is ignored in main),
// and the stop and continue pair.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGILL,    SIGTRAP, SIGABRT, SIGBUS,  SIGFPE,
                                  SIGUSR1, SIGSEGV, SIGUSR2, SIGALRM,   SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM,
                                  SIGPROF, SIGPOLL, SIGPWR,  SIGSTKFLT, SIGSYS,  SIGTSTP, SIGCONT};

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
    std::vector<int> signals(std::begin(kEndingSignals), std::end(kEndingSignals));
    for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) signals.push_back(number);
    for (const int number : signals) {
      struct sigaction previous {};
      // A signal the caller ignores (nohup) stays ignored.
      if (::sigaction(number, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
      if (::sigaction(number, &action, &previous) == 0) previous_.emplace_back(number, previous);
    }
    installed_ = true;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &gQuiet);
  }
  ~QuietTerminal() {
    if (!installed_) return;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &gTerminal);
    for (const auto& [number, previous] : previous_) ::sigaction(number, &previous, nullptr);
  }
  QuietTerminal(const QuietTerminal&) = delete;
  QuietTerminal& operator=(const QuietTerminal&) = delete;

 private:
  bool installed_ = false;
  std::vector<std::pair<int, struct sigaction>> previous_;
};

// The longest text the library decrypts; no line may be longer, and an
// encrypted text is refused when its stored form would be.
constexpr std::size_t kMaxLine = 2048;

enum class LineRead { kLine, kEnd, kTooLong, kNul, kError };

// Standard input by blocks, read directly so that a read error is told from
// the end of the input.
class LineReader {
 public:
  // Reads one line without its line feed, never more than kMaxLine bytes of
  // it: a longer line is refused at once, without reading the rest.
  LineRead Next(std::string& line) {
    line.clear();
    for (;;) {
      if (next_ == end_) {
        const ssize_t count = ::read(STDIN_FILENO, block_, sizeof block_);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return LineRead::kError;
        if (count == 0) return line.empty() ? LineRead::kEnd : LineRead::kLine;
        next_ = 0;
        end_ = static_cast<std::size_t>(count);
      }
      const char c = block_[next_++];
      if (c == '\n') return LineRead::kLine;
      if (c == '\0') return LineRead::kNul;
      if (line.size() == kMaxLine) return LineRead::kTooLong;
      line.push_back(c);
    }
  }

 private:
  char block_[4096];
  std::size_t next_ = 0;
  std::size_t end_ = 0;
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

std::vector<const char*> PackageClasses(int id, const std::vector<int>& centralServerPackages) {
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
  std::vector<const char*> names;
  for (const auto& c : classes) {
    if (c.member) names.push_back(c.name);
  }
  return names;
}

std::string NotInCatalogue(long long id) { return "package id " + std::to_string(id) + " is not in the catalogue"; }

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
  LineReader input;
  std::string line;
  for (unsigned long number = 1; prompt(); ++number) {
    const std::string where = "line " + std::to_string(number) + ": ";
    const LineRead read = input.Next(line);
    if (read == LineRead::kEnd) break;
    if (read == LineRead::kError) return Fail("cannot read standard input: " + std::string(std::strerror(errno)));
    if (read == LineRead::kTooLong) return Fail(where + "longer than " + std::to_string(kMaxLine) + " bytes");
    if (read == LineRead::kNul) return Fail(where + "holds a NUL byte, which no password can");
    char* output = nullptr;
    char error[kErrorRoom] = {};
    const int result = operation->run(line.c_str(), &output, error);
    std::unique_ptr<char[]> owned(output);
    if (result != 0) {
      const std::string reason = error[0] != '\0' ? error : "out of memory";
      return Fail(where + reason);
    }
    if (std::strlen(owned.get()) > kMaxLine && operation->stores) {
      return Fail(where + "the stored form would be longer than " + std::to_string(kMaxLine) +
                  " bytes, more than decrypt takes");
    }
    std::cout << owned.get() << '\n';
    // A reader that has gone away is an error now, not after the next password.
    if (terminal) std::cout.flush();
    if (!std::cout) return Fail("cannot write to standard output");
  }
  if (terminal) std::cerr << '\n';
  std::cout.flush();
  return std::cout ? kOk : Fail("cannot write to standard output");
}

int Packages(const Args& args) {
  Parsed parsed;
  if (const std::optional<int> exit = ParseOptions("packages", args, {{"json", false}}, parsed)) return *exit;
  if (parsed.operands.empty()) return UsageError("packages: missing ID");
  const bool asJson = parsed.options.count("json") != 0;
  std::vector<int> ids;
  ids.reserve(parsed.operands.size());
  for (const std::string& arg : parsed.operands) {
    int id = 0;
    if (!ParsePackageId(arg, id)) return UsageError("packages: '" + arg + "' is not a package id");
    ids.push_back(id);
  }
  std::vector<int> centralServerPackages;
  GetAllDXPackages(centralServerPackages);
  int status = kOk;
  for (int id : ids) {
    const std::vector<const char*> classes = PackageClasses(id, centralServerPackages);
    if (asJson) {
      Json line = {{"id", id}, {"classes", classes}};
      if (classes.empty()) line["error"] = NotInCatalogue(id);
      std::cout << JsonLine(line);
    } else if (!classes.empty()) {
      std::cout << id << ':';
      for (std::size_t i = 0; i < classes.size(); ++i) std::cout << (i == 0 ? " " : ", ") << classes[i];
      std::cout << '\n';
    }
    if (classes.empty()) {
      std::cout.flush();  // the lines keep the order of the ids
      status = Fail(NotInCatalogue(id));
    }
  }
  std::cout.flush();
  return std::cout ? status : Fail("cannot write to standard output");
}

}  // namespace zutool
