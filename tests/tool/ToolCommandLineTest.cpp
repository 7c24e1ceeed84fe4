// zu-request's command line: help, usage errors, how FILE arguments are read,
// and the password and packages commands over standard input and argv.
#include <poll.h>
#include <pty.h>

#include "ToolTestSupport.h"

namespace tooltest {
namespace {

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& files) {
  args.insert(args.end(), files.begin(), files.end());
  return args;
}

// Regression: help after a command (even after its options) used to be a usage error, a refused
// password was reported without its file, and an empty text reached the cipher.
TEST(ToolUsage, HelpAnywhereUsageErrorsExitTwoAndRefusalsOneWithoutEchoingAPassword) {
  const std::string help = RunTool({"--help"}).out, version = RunTool({"--version"}).out;
  const std::string request = Example("single-client-install.xml"), usage = "\nTry 'zu-request --help'.\n";
  const std::string secret = "Tr0ub4dor&3";  // passwords are never taken from the command line
  const std::string v3 = SplitLines(RunTool({"password", "encrypt"}, "already-v3\n").out).at(0);
  for (const char* command : {"show", "mask", "log", "convert-passwords", "password", "packages", "diff", "check"})
    EXPECT_NE(help.find(std::string("  ") + command + ' '), npos) << command;
  EXPECT_TRUE(std::regex_match(version, std::regex("zu-request [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version;
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out{}, err{}, input{};
  } cases[] = {
      {{"-h"}, 0, help},
      {{"show", "--help"}, 0, help},
      {{"log", "--level", "2", "--help"}, 0, help},
      {{"mask", request, "--version"}, 0, version},
      {{"show", "--", "--json"}, 1},
      {{}, 2},
      {{"bogus", request}, 2},
      {{"show"}, 2},
      {{"show", "--json=yes", request}, 2},
      {{"mask", request, "--bogus"}, 2},
      {{"log", "--kind", "sideways", request}, 2},
      {{"log", request, "--kind"}, 2},
      {{"log", "--level=99999999999", request}, 2},
      {{"password", "encrypt", secret}, 2},
      {{"password", "decrypt", "--" + secret}, 2},
      {{"packages", "12x"}, 2},
      {{"packages", "-5"}, 2},
      {{"diff", request}, 2},
      {{"packages", "801", "409"}, 0, "801: database, central server\n409: none\n"},
      {{"check"}, 2, "", "zu-request: check: missing FILE" + usage},
      {{"check", "--yaml", "-"}, 2, "", "zu-request: check: unknown option '--yaml'" + usage, "<ClientSetup/>"},
      {{"schema", "out.xsd"}, 2, "", "zu-request: schema: takes no arguments" + usage},
      {{"check", "-"}, 1, "", "zu-request: <stdin>:3:3: mismatched tag\n", "<ClientSetup>\n  <dxInfo>\n</ClientSetup>"},
      {{"check", "-"},
       1,
       "",
       "zu-request: <stdin>:1:23: DOCTYPE is not allowed\n",
       "<!DOCTYPE ClientSetup [<!ENTITY a 'b'>]>\n<ClientSetup/>"},
      {{"check", "-"},
       1,
       "",
       "zu-request: <stdin>:1:203: nesting deeper than 64\n",
       "<ClientSetup>" + std::regex_replace(std::string(64, '.'), std::regex("\\."), "<x>")},
      {{"password", "decrypt"}, 1, "", "zu-request: line 1: ", "not-a-cipher-text\n"},
      {{"password", "decrypt"}, 1, "already-v3\n", "zu-request: line 2: ", v3 + "\n\n"},
      {{"convert-passwords", "-"},
       1,
       "",
       "zu-request: <stdin>: ",
       "<ClientSetup><clientComposition><clientInfo>"
       "<client clientPassword=\"" +
           v3 + "\"/></clientInfo></clientComposition></ClientSetup>"},
  };
  for (const auto& c : cases) {
    const ToolResult run = RunTool(c.args, c.input);
    SCOPED_TRACE(::testing::PrintToString(c.args) + run.err);
    EXPECT_EQ(std::tie(run.status, run.out), std::tie(c.status, c.out));
    EXPECT_EQ(run.err.empty(), c.status == 0);
    EXPECT_EQ(run.err.substr(0, c.err.size()), c.err);
    EXPECT_TRUE(c.status == 0 || run.err.rfind("zu-request: ", 0) == 0);
    EXPECT_EQ(run.err.find("zu-request --help") != npos, c.status == 2);
    EXPECT_TRUE(c.status != 1 || run.err.find('\n') == run.err.size() - 1) << "not one line";
    for (const std::string& hidden : {secret, v3}) EXPECT_EQ(run.err.find(hidden), npos) << hidden;
  }
}

// Regression: a directory used to abort the tool, and read errors gave no reason.
TEST(ToolInput, UnreadableOrMalformedInputFailsWithOneLineNamingFileAndPosition) {
  const ScratchDir dir;
  // A document read from a file and from stdin, or (nullptr) a path as it is; what follows "zu-request: FILE".
  const std::tuple<const char*, std::string, const char*> cases[] = {
      {nullptr, dir / "missing.xml", ": cannot read: No such file or directory\n"},
      {nullptr, dir.path().string(), ": cannot read: Is a directory\n"},
      {nullptr, "/dev/zero", ": cannot read: larger than 256 MiB\n"},  // the request loader's cap
      {"", "", ":1:1: "},
      {"<?xml version=\"1.0\"?>\n<!-- a request -->\n<Foo/>", "", ":3:1: Failed to unserialize XML: "},
      {"<ClientSetup>\n  <dxInfo/>\n  <dxInfo/>\n</ClientSetup>", "", ":3:3: "},
      {"<ClientSetup>\n <user userId=\"12x\"/></ClientSetup>", "", ":2:2: "},
  };
  for (const auto& [document, path, error] : cases) {
    const std::string file = document != nullptr ? dir.write("bad.xml", document) : path;
    for (const std::vector<std::string>& loader :
         {std::vector<std::string>{"show"}, {"show", "--json"}, {"mask"}, {"log"}, {"convert-passwords"}}) {
      for (const std::string& arg : document != nullptr ? std::vector<std::string>{file, "-"} : std::vector{file}) {
        const std::string shown = arg == "-" ? "<stdin>" : arg;
        const ToolResult run = RunTool(With(loader, {arg}), document != nullptr ? document : "");
        SCOPED_TRACE(loader.back() + " on " + shown + ": " + run.err);
        EXPECT_TRUE(run.status == 1 && (loader[0] == "log" || run.out.empty())) << run.status << run.out;
        EXPECT_EQ(run.err.rfind("zu-request: " + shown + error, 0), 0u);
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "not one line";
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
    const std::string fromStdin = RunTool(With(command, {"-"}), ReadFile(first)).out;
    EXPECT_EQ(std::regex_replace(fromStdin, std::regex("<stdin>"), first), one);
    const ToolResult run = RunTool(With(command, {first, bad, last}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, one + separator + RunTool(With(command, {last})).out);
    // --json writes JSON Lines: one compact document per file.
    for (const std::string& line : SplitLines(command.back() == "--json" ? run.out : "")) JsonStrings(line);
    EXPECT_TRUE(std::regex_match(run.err, std::regex("zu-request: " + bad + ":3:3: .*\n"))) << run.err;
  }
}

TEST(ToolPassword, EachOperationMapsStdinLinesToStdoutLines) {
  const std::string plain = "alpha\nbeta gamma\n\xC3\xA9t\xC3\xA9\n";
  for (const auto& [steps, prefix] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"encrypt"}, "V3:"}, {{"encrypt-v8", "v8-to-v3"}, "V3:"}, {{"encrypt", "v3-to-v8"}, "V8:"}}) {
    std::string text = plain;
    for (const std::string& step : steps) text = RunTool({"password", step}, text).out;
    EXPECT_TRUE(std::regex_match(text, std::regex("(" + prefix + "[^\n]+\n){3}"))) << text;
    const ToolResult decrypted = RunTool({"password", "decrypt"}, text);
    EXPECT_EQ(std::tie(decrypted.status, decrypted.out), std::make_tuple(0, plain)) << steps.back() << decrypted.err;
  }
}

// Typed passwords never show, and the terminal echoes again afterwards.
TEST(ToolPassword, OnATerminalPromptsWithEchoOffAndPutsTheTerminalBack) {
  int screen = -1, terminal = -1;
  ASSERT_EQ(::openpty(&screen, &terminal, nullptr, nullptr, nullptr), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(terminal, STDIN_FILENO);
    ::dup2(terminal, STDERR_FILENO);
    ::execl("/bin/sh", "sh", "-c", "exec \"$0\" password encrypt >/dev/null", ZU_REQUEST_TOOL, nullptr);
    ::_exit(127);
  }
  std::string seen;  // what the operator's screen shows, read until the count-th prompt
  const auto showPrompt = [&](long count) {
    char block[256];
    pollfd ready{screen, POLLIN, 0};
    while (std::count(seen.begin(), seen.end(), ':') < count && ::poll(&ready, 1, 5000) == 1)
      seen.append(block, static_cast<std::size_t>(std::max<ssize_t>(::read(screen, block, sizeof block), 0)));
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
  for (const int fd : {terminal, screen}) ::close(fd);
  EXPECT_EQ(std::tie(status, seen), std::make_tuple(0, std::string("Password: \r\nPassword: ")));
  EXPECT_EQ(during.c_lflag & ECHO, 0u);
  EXPECT_NE(after.c_lflag & ECHO, 0u);
}

}  // namespace
}  // namespace tooltest
