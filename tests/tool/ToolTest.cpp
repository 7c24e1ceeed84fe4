// zu-request as operators run it: every command through one table of arguments,
// standard input, exit status and a piece of what it must print; then the
// request commands on the bundled examples, where no password may show.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <future>
#include <regex>
#include <thread>

#include "ZUInstallUtils.h"
#include "common/TestSupport.h"

namespace tooltest {
namespace {

using zutest::ReadFile;
using zutest::ScratchDir;
using zutest::SplitLines;

constexpr std::size_t npos = std::string::npos;
constexpr char kSecrets[] = "password|clientPassword|pAccess|pExecAccess|authCode";

// The exit status (128 + signal when killed) and what the tool wrote.
struct ToolResult {
  int status;
  std::string out, err;
};

std::string Quoted(const std::string& text) { return '\'' + std::regex_replace(text, std::regex("'"), "'\\''") + '\''; }

// Runs zu-request with `input` on stdin, ZU_FOCUS and ZU_DEBUG_LEVEL unset and
// ZU_LOG_DIR private, before the assignments of `env` (NAME=VALUE ...) apply.
ToolResult RunTool(const std::vector<std::string>& args, const std::string& input = "", const std::string& env = "") {
  const ScratchDir scratch;
  std::string command = "env -u ZU_FOCUS -u ZU_DEBUG_LEVEL ZU_LOG_DIR=" + Quoted(scratch / "log") + ' ' + env + ' ' +
                        Quoted(ZU_REQUEST_TOOL);
  for (const std::string& arg : args) command += ' ' + Quoted(arg);
  command +=
      " <" + Quoted(scratch.write("in", input)) + " >" + Quoted(scratch / "out") + " 2>" + Quoted(scratch / "err");
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(scratch / "out"),
          ReadFile(scratch / "err")};
}

std::string Example(const char* name) { return std::string(ZU_EXAMPLES_DIR) + "/" + name; }

std::vector<std::string> ExampleRequests() {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(ZU_EXAMPLES_DIR)) paths.push_back(entry.path());
  return paths;
}

// The values of the attributes whose whole name matches `names` (a regex), in order.
std::vector<std::string> AttributeValues(const std::string& xml, const std::string& names = kSecrets) {
  std::vector<std::string> values;
  const std::regex attribute("\\s(?:" + names + ")=\"([^\"]*)\"");
  for (std::sregex_iterator it(xml.begin(), xml.end(), attribute), end; it != end; ++it) values.push_back((*it)[1]);
  return values;
}

// The plain text of a stored password; fails the current test when it cannot.
std::string Decrypt(const std::string& text) {
  char *plain = nullptr, error[1024] = {};
  const int result = ZUDecryptPassword(text.c_str(), &plain, error);
  EXPECT_EQ(result, 0) << "cannot decrypt " << text << ": " << error;
  return result == 0 ? std::unique_ptr<char[]>(plain).get() : "";
}

// Fails for every secret of the examples, stored or decrypted, found in `text`.
void ExpectNoSecret(const std::string& text, const std::string& where) {
  static std::vector<std::string> secrets;  // the authorization code is stored plain, passwords in a cipher form
  for (const std::string& path : secrets.empty() ? ExampleRequests() : std::vector<std::string>{})
    for (const std::string& v : AttributeValues(ReadFile(path)))
      for (const std::string& secret : {v, v.size() > 3 && v[0] == 'V' && v[2] == ':' ? Decrypt(v) : v})
        secrets.push_back(secret);
  EXPECT_GE(secrets.size(), 8u) << "the examples hold fewer passwords than these checks assume";
  for (const std::string& secret : secrets) EXPECT_EQ(text.find(secret), npos) << where << " shows " << secret;
}

struct Row {
  std::vector<std::string> args;
  std::string input;
  int status;
  std::string expect;  // found in stdout followed by stderr
};

const std::string kClient = "<ClientSetup><clientComposition><clientInfo><client";
const std::string kClientEnd = "</clientInfo></clientComposition></ClientSetup>";

// `findings` are check's lines for standard input, each without its "<stdin>:".
Row Check(const std::string& xml, const std::string& findings, int status = 1) {
  return {{"check", "-"}, xml, status, std::regex_replace(findings, std::regex(".+\n"), "<stdin>:$&")};
}

TEST(ToolCommands, EachRowRunsWithItsInputAndPrintsItsPieceUnderItsStatus) {
  const std::string help = RunTool({"--help"}).out, version = RunTool({"-V"}).out;
  const std::string request = Example("single-client-install.xml"), usage = "\nTry 'zu-request --help'.\n";
  const std::string secret = "Tr0ub4dor&3";  // passwords are never taken from the command line
  const std::string v3 = SplitLines(RunTool({"password", "encrypt"}, "already-v3\n").out).at(0);
  const std::string client = "<clientComposition><clientInfo><client>", notHeld = " is not in the catalogue";
  const std::string named = kClient + "><clientEntity clientName=\"q&quot;b\\1&#9;&#10;&#13;\xC3\xA9\"/></client>";
  const std::string deep = std::regex_replace("<ClientSetup>" + std::string(64, 'x'), std::regex("x"), "<x>");
  const std::string jobID = "<ClientSetup\n jobID=\"1\"";
  EXPECT_TRUE(std::regex_match(version, std::regex("zu-request [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version;
  std::vector<Row> rows = {
      // Regression: help after a command (even after its options) used to be a usage error.
      {{"-h"}, "", 0, help},
      {{"log", "--level", "2", "--help"}, "", 0, RunTool({"help", "log"}).out},
      {{"mask", request, "-V"}, "", 0, version},
      {{"show", "--", "--json"}, "", 1, "zu-request: --json: cannot read"},
      {{}, "", 2, "missing command"},
      {{"bogus", request}, "", 2, "unknown command 'bogus'\n"},
      {{"shwo", request}, "", 2, "unknown command 'shwo'; did you mean 'show'?\n"},
      {{"show"}, "", 2, "show: missing FILE" + usage},
      {{"log", request, "--kind"}, "", 2, "--kind needs a value"},
      {{"log", "--level=99999999999", request}, "", 2, "--level takes an integer"},
      {{"check", "--yaml", "-"}, "<ClientSetup/>", 2, "zu-request: check: unknown option '--yaml'" + usage},
      {{"schema", "out.xsd"}, "", 2, "zu-request: schema: takes no arguments" + usage},
      {{"diff", request}, "", 2, "diff: expects two files"},
      {{"diff", "-", "-"}, request, 2, "diff: standard input cannot be read twice" + usage},
      {{"packages", "12x"}, "", 2, "'12x' is not a package id"},
      {{"packages", "801", "409", "1002"}, "", 1, "central server\n1002: base, FS\nzu-request: package id 409"},
      {{"packages", "--json", "409"}, "", 1, R"({"id":409,"classes":[],"error":"package id 409)" + notHeld + "\"}\n"},
      // JSON keeps quotes, backslashes, control characters and non-ASCII text.
      {{"show", "--json", "-"}, named + kClientEnd, 0, "\"q\\\"b\\\\1\\t\\n\\r\xC3\xA9\""},
      // The password commands never repeat an argument; a refused line is named by number.
      {{"password", "encrypt", secret}, "", 2, ""},
      {{"password", "decrypt", "--" + secret}, "", 2, "password: unknown option\n"},
      {{"password", "decrypt"}, "not-a-cipher-text\n", 1, "zu-request: line 1: "},
      {{"password", "decrypt"}, v3 + "\n\n", 1, "already-v3\nzu-request: line 2: "},  // an empty text too
      // Regression: a NUL used to cut the text short, and a line was read without limit.
      {{"password", "encrypt"}, std::string("abc\0def\n", 8), 1, "zu-request: line 1: holds a NUL byte"},
      {{"password", "encrypt"}, "a\n" + std::string(4096, 'a'), 1, "zu-request: line 2: longer than 2048 bytes\n"},
      {{"password", "encrypt"}, std::string(2048, 'a'), 1, "zu-request: line 1: the stored form would be longer"},
      {{"convert-passwords", "-"}, kClient + " clientPassword=\"" + v3 + "\"/>" + kClientEnd, 1, "<stdin>: "},
      // check: a document it cannot take is a finding like the others, on stdout.
      {{"check"}, "", 2, "zu-request: check: missing FILE" + usage},
      Check("<ClientSetup>\n  <dxInfo>\n</ClientSetup>", "3:3: error: mismatched tag\n"),
      Check("<!DOCTYPE ClientSetup [<!ENTITY a 'b'>]>\n<ClientSetup/>", "1:23: error: DOCTYPE is not allowed\n"),
      Check(deep, "1:203: error: nesting deeper than 64\n"),
      Check("<ClientSetup reqeustFlgas=\"2\" dxInfo=\"x\" xml:lang=\"en\" xmlns:e=\"u\"/>",
            "1:14: warning: unknown attribute 'reqeustFlgas' in 'ClientSetup'; did you mean 'requestFlags'?\n"
            "1:31: warning: 'dxInfo' is an element of 'ClientSetup', not an attribute\n"),
      Check("<ClientSetup\n jobId=\"x\" localeId=\"9223372036854775808\" requestType=\"+-1\""
            " xmlRequestId=\"-9223372036854775808\" subscriptionId=\"+7\"/>",
            "2:2: error: 'jobId' in 'ClientSetup' is not a decimal 64-bit integer\n"
            "2:12: error: 'localeId' in 'ClientSetup' is not a decimal 64-bit integer\n"
            "2:43: error: 'requestType' in 'ClientSetup' is not a decimal 64-bit integer\n"),
      Check("<ClientSetup remoteClient=\"true\"><installOptions upgradeMode=\"false\" restoreOnlyAgentsMode=\"-1\""
            " userAuthenticationRequested=\"TRUE\"/><clientComposition><patchInformation spNumber11=\"1\"/>"
            "</clientComposition></ClientSetup>",
            "1:97: error: 'userAuthenticationRequested' in 'InstallOptions' is not a boolean (true, false or an "
            "integer)\n"
            "1:170: warning: unknown attribute 'spNumber11' in 'PatchInformation'; did you mean 'spNumber1'?\n"),
      Check("<ClientSetup>\n\n  <dxInfo/><dxInfo><dxClient/></dxInfo>\n  <jobId/>\n"
            "  <future><dxInfo/><bogus jobID=\"1\"/></future>\n</ClientSetup>",
            "3:12: error: second 'dxInfo' element in 'ClientSetup'\n"
            "4:3: warning: 'jobId' is an attribute of 'ClientSetup', not an element\n"
            "5:3: warning: unknown element 'future' in 'ClientSetup'\n"),
      // Only client entries count as clients, and an empty name or GUID as none.
      Check(
          "<ClientSetup operationType=\"20\">\n<dxInfo><dxClient clientName=\"w1\" clientGUID=\"G-1\"/></dxInfo>\n" +
              client + "<clientEntity clientName=\"w1\" clientGUID=\"g-1\"/></client></clientInfo>\n<components>" +
              "<packages packageId=\"1002\"/><packages packageId=\"4294968298\"/><packages packageId=\"x\"/>" +
              "</components></clientComposition>\n<clientComposition operationType=\"12\"><clientInfo><client>" +
              "<clientEntity clientName=\"W1\" clientGUID=\"G-1\"/></client><pmAssociatedClients clientName=\"w1\"/>" +
              "</clientInfo></clientComposition>\n" + client + "<clientEntity clientName=\"\" clientGUID=\"\"/>" +
              "</client></clientInfo></clientComposition>\n" + client + "<clientEntity clientName=\"\"/></client>" +
              "</clientInfo></clientComposition></ClientSetup>",
          "4:51: warning: package id 4294968298 is not in the catalogue\n"
          "4:85: error: 'packageId' in 'PackageInformation' is not a decimal 64-bit integer\n"
          "5:20: warning: 'operationType' in 'ClientsComposition': 12 names no operation\n"
          "5:73: warning: same clientName as an earlier client (case ignored)\n3:54: note: the earlier client\n"
          "5:89: warning: same clientGUID as an earlier client (case ignored)\n3:70: note: the earlier client\n"),
      Check("<clientSetup jobId=\"x\"><dxInfo/></clientSetup>",
            "1:1: error: root element 'clientSetup' is not 'ClientSetup'\n"),
      // Columns as the GNU Coding Standards count them: tab stops every 8, one per UTF-8 character.
      Check("<ClientSetup\tx=\"\xC3\xA9\"\tjobID=\"1\">\n\t<!-- \xC3\xA9 -->\t<dxinfo/></ClientSetup>",
            "1:17: warning: unknown attribute 'x' in 'ClientSetup'\n"
            "1:25: warning: unknown attribute 'jobID' in 'ClientSetup'; did you mean 'jobId'?\n"
            "2:25: warning: unknown element 'dxinfo' in 'ClientSetup'; did you mean 'dxInfo'?\n"),
      // Regression: a 1 MiB name cost seconds and hundreds of megabytes, and was printed whole.
      Check("<ClientSetup " + std::string(1 << 20, 'a') + "=\"1\"/>",
            "1:14: warning: unknown attribute '" + std::string(64, 'a') + "...' (1048576 bytes) in 'ClientSetup'\n"),
      {{"check", "--json", "-"},
       jobID + "/>",
       1,
       R"({"file":"<stdin>","findings":[{"line":2,"column":2,"severity":"warning","kind":"unknown-attribute",)"
       R"("message":"unknown attribute 'jobID' in 'ClientSetup'; did you mean 'jobId'?","suggestion":"jobId"}]})"},
      {{"check", "--json", "-"}, jobID + "><dxInfo>", 1, R"({"line":2,"column":20,"reason":"no element found"})"},
  };
  // Regression: a directory used to abort the tool, and read errors gave no reason.
  const ScratchDir dir;
  const std::string missing = dir / "missing.xml", folder = dir.path().string(), huge = dir.write("huge.xml", "");
  std::filesystem::resize_file(huge, (std::uintmax_t{256} << 20) + 1);  // sparse NULs: refused from its size, unread
  rows.push_back({{"check", "/dev/zero"}, "", 1, "/dev/zero:1:1: error: not well-formed (invalid token)\n"});
  for (const std::string loader : {"show", "mask", "log", "convert-passwords"}) {
    for (const auto& [arg, input, error] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {missing, "", missing + ": cannot read: No such file or directory\n"},
             {folder, "", folder + ": cannot read: Is a directory\n"},
             {huge, "", huge + ": cannot read: larger than 256 MiB\n"},
             {"/dev/zero", "", "/dev/zero:1:1: Failed to unserialize XML: not well-formed (invalid token)\n"},
             {"-", "", "<stdin>:1:1: "},
             {"-", "<?xml version=\"1.0\"?>\n<!-- a request -->\n<Foo/>", "<stdin>:3:1: Failed to unserialize XML: "},
             {"-", "<ClientSetup>\n  <dxInfo/>\n  <dxInfo/>\n</ClientSetup>", "<stdin>:3:3: "},
             {"-", "<ClientSetup>\n <user userId=\"12x\"/></ClientSetup>", "<stdin>:2:2: "}})
      rows.push_back({{loader, arg}, input, 1, "zu-request: " + error});
  }
  // Files in turn, a bad one failing alone and the worst status winning; standard input reads as a file.
  const std::string bad = dir.write("bad.xml", "<ClientSetup>\n  <dxInfo>\n</ClientSetup>\n"),
                    first = Example("bulk-install.xml");
  for (const auto& [name, option] :
       {std::pair<std::string, std::string>{"show", "--"}, {"show", "--json"}, {"mask", "--"}}) {
    std::string one = RunTool({name, option, first}).out, fromStdin = one;
    for (std::size_t at; (at = fromStdin.find(first)) != npos;) fromStdin.replace(at, first.size(), "<stdin>");
    rows.push_back({{name, option, "-"}, ReadFile(first), 0, fromStdin});
    const std::string both =
        one + (name == "show" && option == "--" ? "\n" : "") + RunTool({name, option, request}).out;
    rows.push_back({{name, option, first, bad, request}, "", 1, both + "zu-request: " + bad + ":3:3: "});
  }
  for (const std::string& example : ExampleRequests()) rows.push_back({{"check", example}, "", 0, ""});  // clean
  // Each password operation maps lines to lines; decrypt gives back the text.
  const std::string plain = "alpha\nbeta gamma\n\xC3\xA9t\xC3\xA9\n";
  for (const auto& [steps, prefix] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"encrypt"}, "V3:"}, {{"encrypt-v8", "v8-to-v3"}, "V3:"}, {{"encrypt", "v3-to-v8"}, "V8:"}}) {
    std::string text = plain;
    for (const std::string& step : steps) text = RunTool({"password", step}, text).out;
    EXPECT_TRUE(std::regex_match(text, std::regex("(" + prefix + "[^\n]+\n){3}"))) << text;
    rows.push_back({{"password", "decrypt"}, text, 0, plain});
  }
  // diff: each row edits an example and compares the edit with the file; exit as diff(1).
  const std::string bulk = Example("bulk-install.xml"), response = Example("install-response.xml");
  const std::string stored = AttributeValues(ReadFile(bulk), "clientPassword").at(0);
  const std::string login = AttributeValues(ReadFile(bulk), "password").at(0);
  const auto v8 = SplitLines(RunTool({"password", "encrypt-v8"}, Decrypt(stored) + "\n0ther-Secret\n").out);
  for (const auto& [file, from, to, status, lines] :
       std::vector<std::tuple<std::string, std::string, std::string, int, std::string>>{
           {bulk, "", "", 0, ""},
           {bulk, "app01.example", "app09.example", 1, "client app01: host: app01.example.com -> app09.example.com\n"},
           {bulk, "\"db01\"", "\"db99\"", 1, "client db01: name: db01 -> db99\n"},  // matched by GUID
           {bulk, stored, v8.at(0), 0, ""},  // the same password under a fresh nonce
           {bulk, stored, v8.at(1), 1, "client db01: password: changed\n"},
           {bulk, login, v8.at(1), 1, "request: login password: changed\n"},
           // No GUID: matched by name.
           {response, "\"files02\"", "\"files03\"", 1, "client files02: removed\nclient files03: added\n"},
           {response, "Installation completed.", "Failed.", 1,
            "client files01: status: 0  Installation completed. -> 0  Failed.\n"}}) {
    std::string edited = ReadFile(file);
    edited.replace(edited.find(from), from.size(), to);
    rows.push_back({{"diff", file, "-"}, edited, status, lines});
    rows.push_back(
        {{"diff", "-", "--json", file}, edited, status, status ? "same\":false" : "same\":true,\"changes\":[]"});
  }
  rows.push_back({{"diff", bulk, "/none"}, "", 2, "zu-request: /none: cannot read"});  // trouble, as diff(1) says
  // Regression: a client with neither name nor GUID was "removed" and "added" when diffed with itself.
  const std::string twin = client + "<clientEntity clientGUID=\"$1\" hostName=\"$2\"/></client></clientInfo>";
  const std::string twins =
      dir.write("twins.xml", std::regex_replace("<ClientSetup>h1 h2 G:h3 G:h4 </ClientSetup>",
                                                std::regex("(G?):?(h.) "), twin + "</clientComposition>"));
  rows.push_back({{"diff", twins, twins}, "", 0, ""});
  // redact: the value after any of the five names written as XML or the logger's escapes of blanks allow,
  // whatever surrounds it, in UTF-16 too; nothing else. --check says where each value starts, never what it is.
  const std::string text = "authCode='s' it's password=\\t\"s3cret\"\r\nauthCode\n =\n 'AC-1'\n<a pAccess='x\"y";
  const char* redacted =
      "authCode='********' it's password=\\t\"********\"\r\nauthCode\n =\n '********'\n<a pAccess='********";
  rows.push_back({{"redact", "-"}, text, 0, redacted});
  rows.push_back({{"redact", "--check", "-", "/none"},
                  text,
                  1,
                  "<stdin>:1:11: secret value of authCode\n<stdin>:1:31: secret value of password\n"
                  "<stdin>:4:3: secret value of authCode\n<stdin>:5:13: secret value of pAccess\n"});
  const auto utf16 = [](const std::string& ascii, bool big) {
    std::string units;
    for (const char c : ascii) units += big ? std::string{'\0', c} : std::string{c, '\0'};
    return units;
  };
  rows.push_back({{"redact", "-"}, "\xFF\xFE" + utf16("<a password='s3cret'/>", false), 0, utf16("'********'/>", 0)});
  rows.push_back({{"redact", "-"}, utf16("<?xml?><a pAccess=\"s3cret\"/>", true), 0, utf16("\"********\"/>", 1)});
  rows.push_back({{"redact", "/none", bulk}, "", 1, "clientPassword=\"********\" zudPort=\"8400\">"});
  rows.push_back({{"redact", "--in-place", "-"}, "", 2, "redact: --in-place cannot replace standard input"});
  rows.push_back({{"redact", "--in-place", "--check", bulk}, "", 2, "exclude each other"});
  rows.push_back({{"bundle", "--since", "2026-02-30"}, "", 2, "zu-request: bundle: --since: '2026-02-30' is not a"});
  // A password must have the cipher text's shape or be a masked one (the first four), in either place.
  const char* shapes[] = {"V3:#AA==", "V8:#AAAA", "V8:#AAQ=", "********", "V8:#AB==", "V8:#AAR=", "V8:#",
                          "V5:#AA==", "V8:#AAA!", "V8:#=AAA", "S3cret!",  ""};  // # stands for 36 base64 digits
  for (const char*& shape : shapes) {
    const bool good = &shape < shapes + 4;
    const std::string value = std::regex_replace(shape, std::regex("#"), std::string(36, 'A'));
    rows.push_back(Check("<ClientSetup><clientAuthentication><userAccount password=\"" + value + "\"/>" +
                             "</clientAuthentication></ClientSetup>",
                         good ? "" : "1:49: warning: 'password' in 'UserAccount' is not a V3 or V8 password\n", !good));
    rows.push_back(Check(kClient + " clientPassword=\"" + value + "\"/>" + kClientEnd,
                         good ? "" : "1:53: warning: 'clientPassword' in 'Client' is not a V3 or V8 password\n",
                         !good));
  }
  for (const Row& row : rows) {
    const ToolResult run = RunTool(row.args, row.input);
    SCOPED_TRACE(::testing::PrintToString(row.args) + " on " + row.input.substr(0, 200) + "\n" + run.out + run.err);
    EXPECT_EQ(run.status, row.status);
    EXPECT_NE((run.out + run.err).find(row.expect), npos);
    EXPECT_EQ(run.err.find("zu-request --help") != npos, row.status == 2 && row.expect.find("cannot read") == npos);
    EXPECT_TRUE(run.err.empty() || (row.status != 0 && run.err.rfind("zu-request: ", 0) == 0));
    EXPECT_TRUE(row.status != 1 || run.err.find('\n') + 1 == run.err.size()) << "not one line";
    for (const std::string& hidden : {secret, v3, std::string("0ther-Secret")}) EXPECT_EQ(run.err.find(hidden), npos);
    ExpectNoSecret(run.out + run.err, "output");
  }
}

// Each bundled example: show names every client and host, mask writes what convert-passwords writes with
// every secret value masked, convert keeps each password's text, log writes the masked request where the
// logger says (the debug log with an instance, ZU_FOCUS, else the pre-install file); no password shows.
TEST(ToolExamples, ShowMaskConvertAndLogEachExampleWithoutAPassword) {
  const std::regex secret("(\\s(?:" + std::string(kSecrets) + ")=\")[^\"]*");
  for (const std::string& example : ExampleRequests()) {
    SCOPED_TRACE(example);
    const std::string xml = ReadFile(example);
    const ToolResult text = RunTool({"show", example}), json = RunTool({"show", "--json", example});
    const ToolResult mask = RunTool({"mask", example}), convert = RunTool({"convert-passwords", example});
    ASSERT_EQ(text.status + json.status + mask.status + convert.status, 0) << text.err << json.err << mask.err;
    EXPECT_TRUE(json.out.find('\n') == json.out.size() - 1 && nlohmann::json::accept(json.out)) << "not one JSON line";
    for (const std::string& value : AttributeValues(xml, "clientName|hostName"))
      EXPECT_TRUE(text.out.find(value) != npos && json.out.find('"' + value + '"') != npos) << value;
    EXPECT_EQ(mask.out, std::regex_replace(convert.out, secret, "$1********"));
    EXPECT_EQ(RunTool({"show", "-"}, mask.out).status, 0) << "mask's request does not load";
    ExpectNoSecret(text.out + json.out + mask.out, "show or mask");
    std::vector<std::string> before, after;
    for (const auto& v : AttributeValues(xml, "clientPassword")) before.push_back("V3:" + Decrypt(v));
    for (const auto& v : AttributeValues(convert.out, "clientPassword")) after.push_back(v.substr(0, 3) + Decrypt(v));
    EXPECT_EQ(after, before);
    EXPECT_EQ(AttributeValues(convert.out, "password"), AttributeValues(xml, "password"));
    for (const bool focus : {true, false}) {  // a response to the debug log, a request to the pre-install file
      const ScratchDir logs;
      const zutest::PreInstallPathGuard guard;
      const std::string file = focus ? logs / "zu-request.log" : zutest::kPreInstallPath;
      const ToolResult run =
          RunTool({"log", example, "--kind", focus ? "response" : "request"}, "",
                  std::string("ZU_FOCUS=") + (focus ? "Instance001" : "") + " ZU_LOG_DIR=" + Quoted(logs.path()));
      EXPECT_EQ(std::tie(run.status, run.out),
                std::make_tuple(0, example + ": logged at level 0 to the " +
                                       (focus ? "debug log " : "pre-install file ") + file + "\n"))
          << run.err;
      const std::string log = ReadFile(file);
      EXPECT_NE(log.find(focus ? "XML Response :" : "XML Request :"), npos) << log;
      for (const std::string& name : AttributeValues(xml, "clientName")) EXPECT_NE(log.find(name), npos) << name;
      EXPECT_EQ(AttributeValues(log), std::vector<std::string>(AttributeValues(xml).size(), "********"));
      ExpectNoSecret(run.out + run.err + log, "log");
      // Debug-log entries carry the request's job.
      EXPECT_TRUE(!focus || log.find(" " + AttributeValues(xml, "jobId").at(0) + " 0 ") != npos) << log;
    }
  }
}

// The schema must take every request the loader takes and refuse values the loader refuses.
TEST(ToolSchema, XmllintAgreesWithTheLoader) {
  if (std::system("command -v xmllint >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint (libxml2-utils) is missing";
  const ScratchDir dir;
  const std::string xsd = dir.write("request.xsd", RunTool({"schema"}).out);  // the examples fail on a bad schema
  std::vector<std::string> documents = {
      "<ClientSetup futureFlag=\"x\" xmlns:e=\"urn:e\" e:a=\"1\" remoteClient=\"-1\">text<future a=\"b\"><more/>"
      "</future><dxInfo futureAttr=\"1\"><e:ext/></dxInfo><installOptions upgradeMode=\"true\"/></ClientSetup>",
      "<ClientSetup jobId=\"x\"/>", "<ClientSetup jobId=\"9223372036854775808\"/>",
      "<ClientSetup remoteClient=\"yes\"/>", "<ClientSetup><user userId=\"1.5\"/></ClientSetup>"};
  for (const std::string& example : ExampleRequests()) documents.push_back(ReadFile(example));
  for (const std::string& xml : documents) {
    ZUInstallManager::ClientSetup request;
    std::string error, file = dir.write("request.xml", xml);
    EXPECT_EQ(std::system(("xmllint --noout --schema " + xsd + " " + file + " >/dev/null 2>&1").c_str()) == 0,
              ConvertStringToClientSetup(xml, &request, error) == 0)
        << xml;
  }
}

// redact --in-place replaces a file whole (mode kept, nothing left beside it) or not at all: not when the write
// fails as on a full disk, nor while another process has it open for writing; an appender that opens it meanwhile
// loses no entry (the file redacted, or as it was); a directory swapped for a link once the new file exists does
// not lead that file elsewhere.
TEST(ToolRedact, InPlaceReplacesWholeOrNotAtAllLosesNoEntryAndFollowsNoSwappedDirectory) {
  const ScratchDir dir;
  std::string big;  // long enough to be written to, or swapped, while it is redacted
  for (int i = 0; big.size() < (32u << 20); ++i) big += "entry " + std::to_string(i) + " password=\"s3cret\"\n";
  const std::string held = dir.write("held", big.substr(0, 99)), growing = dir.write("growing", big);
  const int writer = ::open(held.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  const ToolResult refused = RunTool({"redact", "--in-place", held});
  ::close(writer);
  EXPECT_EQ(std::make_pair(refused.status, ReadFile(held)), std::make_pair(1, big.substr(0, 99)));
  EXPECT_NE(refused.err.find("stop the writer, or redact to standard output instead"), npos) << refused.err;
  const ToolResult full = RunTool({"redact", "--in-place", held}, "", "sh -c 'ulimit -f 0; exec \"$0\" \"$@\"'");
  EXPECT_EQ(std::make_pair(full.status, ReadFile(held)), std::make_pair(1, big.substr(0, 99))) << full.err;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "a file was left beside it";

  std::atomic<bool> done{false};
  std::vector<std::string> appended;
  std::thread appender([&] {  // opens, writes and closes for each entry, as the pre-install logger does
    for (int i = 0; !done || i < 3; ++i) {
      appended.push_back("appended " + std::to_string(i) + "\n");
      const int fd = ::open(growing.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
      EXPECT_EQ(::write(fd, appended.back().data(), appended.back().size()), ssize_t(appended.back().size()));
      ::close(fd);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const ToolResult raced = RunTool({"redact", "--in-place", growing});
  done = true;
  appender.join();
  const std::string grown = ReadFile(growing);
  for (const std::string& entry : appended) EXPECT_NE(grown.find(entry), npos) << "lost: " << entry;
  EXPECT_EQ(grown.find("s3cret") == npos, raced.status == 0) << raced.err;
  EXPECT_TRUE(raced.status == 0 || grown.compare(0, big.size(), big) == 0) << "neither redacted nor as it was";

  std::filesystem::create_directories(dir / "sub");
  std::filesystem::create_directories(dir / "elsewhere");
  const std::string log = dir.write("sub/log", big.substr(0, 8u << 20));
  ::chmod(log.c_str(), 0604);
  const int watch = ::inotify_init1(IN_CLOEXEC);
  ASSERT_GE(::inotify_add_watch(watch, (dir / "sub").c_str(), IN_CREATE), 0);
  std::future<ToolResult> swapped = std::async(std::launch::async, [&] {
    return RunTool({"redact", "--in-place", log});
  });
  pollfd created{watch, POLLIN, 0};
  ASSERT_EQ(::poll(&created, 1, 10000), 1) << "no new file beside the log";
  std::filesystem::rename(dir / "sub", dir / "moved");
  std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "sub");
  EXPECT_EQ(swapped.get().status, 0);
  ::close(watch);
  EXPECT_TRUE(std::filesystem::is_empty(dir / "elsewhere"));
  EXPECT_EQ(ReadFile(dir / "moved/log").find("s3cret"), npos);
  EXPECT_EQ(std::filesystem::status(dir / "moved/log").permissions(), std::filesystem::perms(0604));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "moved"), {}), 1) << "a file was left beside it";
}

// Typed passwords never show, and the terminal echoes again however the command ends.
TEST(ToolPassword, OnATerminalPromptsWithEchoOffAndPutsTheTerminalBackHoweverItEnds) {
  // Each row: the signal sent at the first prompt (0: a password is typed, then Ctrl-D), whether standard output
  // is a pipe nobody reads any more (as after `| head -1`), the exit status and what the screen shows.
  // Regression: SIGPIPE, SIGUSR1 and SIGALRM used to leave the terminal at echo off.
  const std::tuple<int, bool, int, std::string> rows[] = {
      {0, false, 0, "Password: \r\nPassword: \r\n"},
      {0, true, 1, "Password: \r\nzu-request: cannot write to standard output\r\n"},
      {SIGUSR1, false, 128 + SIGUSR1, "Password: "},
      {SIGALRM, false, 128 + SIGALRM, "Password: "},
      {SIGTERM, false, 128 + SIGTERM, "Password: "}};
  for (const auto& [signal, readerGone, expectedStatus, screenText] : rows) {
    int screen = -1, terminal = -1, out[2];
    ASSERT_EQ(::openpty(&screen, &terminal, nullptr, nullptr, nullptr) + ::pipe(out), 0);
    if (readerGone) ::close(out[0]);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(terminal, STDIN_FILENO), ::dup2(out[1], STDOUT_FILENO), ::dup2(terminal, STDERR_FILENO);
      ::signal(SIGPIPE, SIG_DFL);  // as a shell starts it
      ::execl(ZU_REQUEST_TOOL, "zu-request", "password", "encrypt", nullptr);
      ::_exit(127);
    }
    ::close(out[1]);
    std::string seen;  // what the operator's screen shows, read until it holds `until`
    const auto show = [&](const std::string& until) {
      char block[256];
      pollfd ready{screen, POLLIN, 0};
      while (seen.find(until) == npos && ::poll(&ready, 1, 5000) == 1)
        seen.append(block, static_cast<std::size_t>(std::max<ssize_t>(::read(screen, block, sizeof block), 0)));
    };
    termios during{}, after{};
    show("Password: ");
    ::tcgetattr(terminal, &during);
    EXPECT_TRUE(signal != 0 ? ::kill(pid, signal) == 0 : ::write(screen, "Typed-Secret\n", 13) == 13);
    if (signal == 0 && !readerGone) show("Password: \r\nPassword: ");
    EXPECT_TRUE(signal != 0 || readerGone || ::write(screen, "\x04", 1) == 1);
    int status = -1;
    ::waitpid(pid, &status, 0);
    show(screenText);
    ::tcgetattr(terminal, &after);
    for (const int fd : {terminal, screen, readerGone ? -1 : out[0]}) ::close(fd);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    EXPECT_EQ(std::tie(code, seen), std::tie(expectedStatus, screenText)) << signal;
    EXPECT_EQ(during.c_lflag & ECHO, 0u);
    EXPECT_NE(after.c_lflag & ECHO, 0u) << signal << readerGone;
  }
}

// bundle stores what its manifest lists, with the sizes and SHA-256 that tar and sha256sum see, no planted secret and
// nothing redact would mask; --max-size cuts the masked text at a line; a failure leaves no file behind.
TEST(ToolBundle, StoresWhatItsManifestListsMaskedAndLeavesNothingOnAFailure) {
  const ScratchDir dir;
  const zutest::PreInstallPathGuard guard;
  const std::string bulk = Example("bulk-install.xml"), x = dir / "x", log = dir / "log",
                    tgz = Quoted(dir / "b.tar.gz");
  const std::string env = "ZU_LOG_DIR=" + Quoted(log) + " ZU_NOTE=" + Quoted("password='Planted-1'");
  std::filesystem::create_directories(x + "/taken.tar.gz"), std::filesystem::create_directories(log);
  // The value opened on the line --max-size cuts away is masked still.
  dir.write("log/zu-request.log", std::string(100, '.') + " pExecAccess = 'x\nPlanted-2'/>\ntail\n");
  dir.write("log/ConsoleEvents.log", R"({"severity":"critical","eventId":7,"localeId":1033,"args":[7,"disk full"]})");
  std::ofstream(zutest::kPreInstallPath) << "authCode=\"Planted-3\"\n";
  std::filesystem::create_symlink(log + "/zu-request.log", log + "/link.log");
  ASSERT_EQ(::mkfifo((log + "/fifo.log").c_str(), 0600), 0);
  const ToolResult run = RunTool({"bundle", "-o", dir / "b.tar.gz", "--max-size", "100", bulk}, "", env);
  ASSERT_EQ(std::tie(run.status, run.out), std::make_tuple(0, dir / "b.tar.gz\n")) << run.err;
  ASSERT_EQ(std::system(("tar -tzf " + tgz + " >" + Quoted(dir / "tf") + " && tar -xzf " + tgz + " -C " + x).c_str()),
            0);
  const auto manifest = nlohmann::json::parse(ReadFile(x + "/b/manifest.json"));
  std::string sums, members;
  std::vector<unsigned> masked;
  for (const auto& file : manifest["files"]) {
    const std::string member = file["member"], text = ReadFile(x + '/' + member);
    members += ' ' + member, sums += file["sha256"].get<std::string>() + "  " + member + '\n';
    masked.push_back(file["masked"]);
    EXPECT_EQ(text.size(), file["size"]) << member;
    EXPECT_EQ(RunTool({"redact", "-"}, text).out, text) << member;  // nothing left to mask
    EXPECT_EQ(text.find("Planted-"), npos) << member;
    ExpectNoSecret(text, member);
  }
  ASSERT_EQ(std::system(("cd " + x + " && sha256sum" + members + " >../sums").c_str()), 0);
  EXPECT_EQ(ReadFile(dir / "sums"), sums);
  EXPECT_EQ(ReadFile(dir / "tf"),
            "b/\nb/logs/ConsoleEvents.log\nb/logs/zu-request.log\n"
            "b/preinstall/ZuInstallMgrPreInstall.log\nb/requests/1-bulk-install.xml\n"
            "b/requests/1-bulk-install.xml.show.json\nb/requests/1-bulk-install.xml.check.json\n"
            "b/summary.txt\nb/manifest.json\n");
  EXPECT_EQ(masked, std::vector<unsigned>({0, 1, 1, unsigned(AttributeValues(ReadFile(bulk)).size()), 0, 0, 1}));
  EXPECT_EQ(ReadFile(x + "/b/logs/zu-request.log"), "tail\n");
  EXPECT_EQ(ReadFile(x + "/b/requests/1-bulk-install.xml.show.json"), RunTool({"show", "--json", bulk}).out);
  EXPECT_EQ(manifest["skipped"].dump(), R"([{"reason":"a FIFO","source":")" + log +
                                            R"(/fifo.log"},{"reason":"a symbolic link","source":")" + log +
                                            "/link.log\"}]");
  // Refused before, while and after the archive is written: by its directory, by a request, at the rename.
  for (const std::string& to :
       {std::string("/proc/b.tar.gz"), dir / "none/b.tar.gz", x + "/c.tar.gz", x + "/taken.tar.gz"})
    EXPECT_EQ(RunTool({"bundle", "-o", to, to == x + "/c.tar.gz" ? "/none" : bulk}, "", env).status, 1) << to;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(x), {}), 2) << "a file was left behind";
}

}  // namespace
}  // namespace tooltest
