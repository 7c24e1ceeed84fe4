// zu-request's command line: help, usage errors, how FILE arguments are read,
// and the password and packages commands over standard input and argv.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>

#include "ToolTestSupport.h"

namespace tooltest {
namespace {

// The commands that load a request, with the options they are run with.
const std::vector<std::vector<std::string>> kLoaders = {
    {"show"}, {"show", "--json"}, {"mask"}, {"log"}, {"convert-passwords"}};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& files) {
  args.insert(args.end(), files.begin(), files.end());
  return args;
}

// Regression: help asked after a command (even after its options) used to be a usage error.
TEST(ToolUsage, OptionsAnywhereHelpAndVersionEverywhereUsageErrorsExitTwoWithoutEchoingAPassword) {
  const std::string help = RunTool({"--help"}).out, version = RunTool({"--version"}).out;
  const std::string request = Example("single-client-install.xml");
  const std::string secret = "Tr0ub4dor&3";  // passwords are never taken from the command line
  for (const char* command : {"show", "mask", "log", "convert-passwords", "password", "packages", "diff"}) {
    EXPECT_NE(help.find(std::string("  ") + command + ' '), npos) << command;
  }
  EXPECT_TRUE(std::regex_match(version, std::regex("zu-request [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version;
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{"-h"}, 0, help},
      {{"show", "--help"}, 0, help},
      {{"log", "--level", "2", "--help"}, 0, help},
      {{"mask", request, "--version"}, 0, version},
      {{"show", "--", "--json"}, 1, ""},
      {{}, 2, ""},
      {{"bogus", request}, 2, ""},
      {{"show"}, 2, ""},
      {{"show", "--json=yes", request}, 2, ""},
      {{"mask", request, "--bogus"}, 2, ""},
      {{"log", "--kind", "sideways", request}, 2, ""},
      {{"log", request, "--kind"}, 2, ""},
      {{"log", "--level=99999999999", request}, 2, ""},
      {{"password", "encrypt", secret}, 2, ""},
      {{"password", "decrypt", "--" + secret}, 2, ""},
      {{"packages", "12x"}, 2, ""},
      {{"packages", "-5"}, 2, ""},
      {{"diff", request}, 2, ""},
      {{"packages", "801", "409"}, 0, "801: database, central server\n409: none\n"},
  };
  for (const auto& [args, status, out] : cases) {
    const ToolResult run = RunTool(args);
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err.empty(), status == 0) << run.err;
    EXPECT_TRUE(status == 0 || run.err.rfind("zu-request: ", 0) == 0) << run.err;
    EXPECT_EQ(run.err.find("zu-request --help") != npos, status == 2) << run.err;
    EXPECT_EQ(run.err.find(secret), npos) << run.err;
  }
}

// Regression: a directory used to abort the tool, and read errors gave no reason.
TEST(ToolInput, UnreadableOrMalformedInputFailsWithOneLineNamingFileAndPosition) {
  const ScratchDir dir;
  const struct {
    const char* document;  // nullptr: `path` as it is
    std::string path;
    const char* error;  // what follows "zu-request: FILE"
  } cases[] = {
      {nullptr, dir / "missing.xml", ": cannot read: No such file or directory\n"},
      {nullptr, dir.path().string(), ": cannot read: Is a directory\n"},
      {nullptr, "/dev/zero", ": cannot read: larger than 256 MiB\n"},  // the request loader's cap
      {"", "", ":1:1: "},
      {"<?xml version=\"1.0\"?>\n<!-- a request -->\n<Foo/>", "", ":3:1: Failed to unserialize XML: "},
      {"<ClientSetup>\n  <dxInfo/>\n  <dxInfo/>\n</ClientSetup>", "", ":3:3: "},
      {"<ClientSetup>\n <user userId=\"12x\"/></ClientSetup>", "", ":2:2: "},
  };
  for (const auto& c : cases) {
    const std::string file = c.document != nullptr ? dir.write("bad.xml", c.document) : c.path;
    for (const auto& loader : kLoaders) {
      for (const std::string& path : {file, std::string("-")}) {
        if (c.document == nullptr && path == "-") continue;
        const std::string shown = path == "-" ? "<stdin>" : path;
        const ToolResult run = RunTool(With(loader, {path}), c.document != nullptr ? c.document : "");
        SCOPED_TRACE(loader.back() + " on " + shown);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind("zu-request: " + shown + c.error, 0), 0u) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "not one line: " << run.err;
        EXPECT_TRUE(loader[0] == "log" || run.out.empty()) << run.out;
      }
    }
  }
}

// A bad file among good ones fails alone; standard input reads as the file does.
TEST(ToolInput, FilesAndStdinAreProcessedInTurnAndTheWorstStatusWins) {
  const ScratchDir dir;
  const std::string bad = dir.write("bad.xml", "<ClientSetup>\n  <dxInfo>\n</ClientSetup>\n");
  const std::string first = Example("bulk-install.xml"), last = Example("single-client-install.xml");
  for (const auto& [command, separator] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"show"}, "\n"}, {{"show", "--json"}, ""}, {{"mask"}, ""}}) {
    SCOPED_TRACE(command.back());
    const std::string one = RunTool(With(command, {first})).out;
    std::string fromStdin = RunTool(With(command, {"-"}), ReadFile(first)).out;
    if (command[0] == "show") fromStdin = std::regex_replace(fromStdin, std::regex("<stdin>"), first);
    EXPECT_EQ(fromStdin, one);
    const std::string expected = one + separator + RunTool(With(command, {last})).out;
    const ToolResult run = RunTool(With(command, {first, bad, last}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, expected);
    // --json writes JSON Lines: one compact document per file.
    for (const std::string& line : SplitLines(command.back() == "--json" ? run.out : "")) JsonStrings(line);
    EXPECT_EQ(run.err.rfind("zu-request: " + bad + ":3:3: ", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "not one line: " << run.err;
  }
}

TEST(ToolPassword, EachOperationMapsStdinLinesToStdoutLinesOrNamesTheRefusedLine) {
  const std::string plain = "alpha\nbeta gamma\n\xC3\xA9t\xC3\xA9\n";
  for (const auto& [steps, prefix] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"encrypt"}, "V3:"}, {{"encrypt-v8", "v8-to-v3"}, "V3:"}, {{"encrypt", "v3-to-v8"}, "V8:"}}) {
    std::string text = plain;
    for (const std::string& step : steps) text = RunTool({"password", step}, text).out;
    const std::vector<std::string> cipher = SplitLines(text);
    ASSERT_EQ(cipher.size(), 3u) << text;
    for (const std::string& line : cipher) EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
    const ToolResult decrypted = RunTool({"password", "decrypt"}, text);
    EXPECT_EQ(decrypted.status, 0) << decrypted.err;
    EXPECT_EQ(decrypted.out, plain) << steps.back();
  }
  const std::string v3 = RunTool({"password", "encrypt"}, "x\n").out;
  const std::tuple<const char*, std::string, const char*> refused[] = {
      {"decrypt", "not-a-cipher-text\n", "1"},
      {"decrypt", v3 + "\n", "2"},  // an empty text never reaches the cipher
  };
  for (const auto& [operation, input, line] : refused) {
    const ToolResult run = RunTool({"password", operation}, input);
    EXPECT_EQ(run.status, 1) << operation << " of " << input;
    EXPECT_EQ(run.err.rfind(std::string("zu-request: line ") + line + ": ", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "not one line: " << run.err;
  }
}

// Typed passwords never show, and the terminal echoes again afterwards.
TEST(ToolPassword, OnATerminalPromptsWithEchoOffAndPutsTheTerminalBack) {
  const int screen = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(screen >= 0 && ::grantpt(screen) == 0 && ::unlockpt(screen) == 0);
  const int terminal = ::open(::ptsname(screen), O_RDWR | O_NOCTTY);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(terminal, STDIN_FILENO);
    ::dup2(terminal, STDERR_FILENO);
    ::execl("/bin/sh", "sh", "-c", "exec \"$0\" password encrypt >/dev/null", ZU_REQUEST_TOOL, nullptr);
    ::_exit(127);
  }
  std::string seen;  // what the operator's screen shows
  const auto showPrompt = [&](long count) {
    char block[256];
    pollfd ready{screen, POLLIN, 0};
    while (std::count(seen.begin(), seen.end(), ':') < count && ::poll(&ready, 1, 5000) == 1) {
      const ssize_t got = ::read(screen, block, sizeof block);
      seen.append(block, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
  };
  termios during{}, after{};
  showPrompt(1);
  ::tcgetattr(terminal, &during);
  EXPECT_EQ(::write(screen, "Typed-Secret\n", 13), 13);
  showPrompt(2);
  EXPECT_EQ(::write(screen, "\x04", 1), 1);
  int status = -1;
  ::waitpid(pid, &status, 0);
  ::tcgetattr(terminal, &after);
  ::close(terminal);
  ::close(screen);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(seen, "Password: \r\nPassword: ");
  EXPECT_EQ(during.c_lflag & ECHO, 0u);
  EXPECT_NE(after.c_lflag & ECHO, 0u);
}

}  // namespace
}  // namespace tooltest
