// The request subcommands on the bundled examples: what show, mask, log and
// convert-passwords write, and that no password ever reaches their output.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "StrictJson.h"
#include "ToolTestSupport.h"
#include "ZUInstallUtils.h"

namespace tooltest {
namespace {

constexpr char kMasked[] = "********";
const char* const kPasswordAttributes[] = {"password", "clientPassword", "pAccess", "pExecAccess"};

std::string Example(const char* name) { return std::string(ZU_EXAMPLES_DIR) + "/" + name; }

std::vector<std::string> Sorted(std::vector<std::string> values) {
  std::sort(values.begin(), values.end());
  return values;
}

std::vector<std::string> PasswordValues(const std::string& xml) {
  std::vector<std::string> values;
  for (const char* name : kPasswordAttributes) {
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
  std::unique_ptr<char[]> owned(plain);
  return owned.get();
}

std::string Trim(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

bool Loads(const std::string& xml) {
  ZUInstallManager::ClientSetup request;
  std::string error;
  return ConvertStringToClientSetup(xml, &request, error) == 0;
}

void ExpectNoSecret(const std::string& text, const std::string& where) {
  for (const std::string& secret : ExampleSecrets()) {
    EXPECT_EQ(text.find(secret), std::string::npos) << where << " shows the password " << secret;
  }
}

// ---- show -----------------------------------------------------------------

TEST(ToolShow, NamesTheCentralServerAndEveryClientWithItsHost) {
  for (const std::string& example : ExampleRequests()) {
    const std::string xml = ReadFile(example);
    const ToolResult run = RunTool({"show", example});
    SCOPED_TRACE(example);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    for (const char* attribute : {"clientName", "hostName"}) {
      for (const std::string& value : AttributeValues(xml, attribute)) {
        EXPECT_NE(run.out.find(value), std::string::npos) << attribute << " " << value << " missing:\n" << run.out;
      }
    }
  }
}

TEST(ToolShow, JsonIsOneStrictDocumentNamingEveryClient) {
  for (const std::string& example : ExampleRequests()) {
    const std::string xml = ReadFile(example);
    const ToolResult run = RunTool({"show", "--json", example});
    SCOPED_TRACE(example);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out.back(), '\n');
    JsonValue document;
    std::string error;
    ASSERT_TRUE(ParseJson(run.out, document, error)) << error << "\n" << run.out;
    EXPECT_EQ(document.type, JsonValue::Type::Object);
    std::vector<std::string> strings;
    CollectStrings(document, strings);
    for (const char* attribute : {"clientName", "hostName"}) {
      for (const std::string& value : AttributeValues(xml, attribute)) {
        EXPECT_NE(std::find(strings.begin(), strings.end(), value), strings.end()) << attribute << " " << value;
      }
    }
  }
}

TEST(ToolShow, JsonEscapesWhatARequestMayHold) {
  // Quotes, backslashes, control characters and non-ASCII text must come back intact.
  const std::string name = "we\"b\\01\t\n\r/\xC3\xA9\xE2\x82\xAC";
  const std::string xml =
      "<ClientSetup requestType=\"1\"><clientComposition><clientInfo><client><clientEntity clientName=\""
      "we&quot;b\\01&#9;&#10;&#13;/\xC3\xA9\xE2\x82\xAC\" hostName=\"h\"/></client></clientInfo></clientComposition>"
      "</ClientSetup>";
  const ToolResult run = RunTool({"show", "--json", "-"}, xml);
  ASSERT_EQ(run.status, 0) << run.err;
  JsonValue document;
  std::string error;
  ASSERT_TRUE(ParseJson(run.out, document, error)) << error << "\n" << run.out;
  std::vector<std::string> strings;
  CollectStrings(document, strings);
  EXPECT_NE(std::find(strings.begin(), strings.end(), name), strings.end()) << run.out;
}

// ---- mask -----------------------------------------------------------------

TEST(ToolMask, MasksEveryPasswordAndKeepsTheRequestLoadable) {
  for (const std::string& example : ExampleRequests()) {
    const std::string xml = ReadFile(example);
    const ToolResult run = RunTool({"mask", example});
    SCOPED_TRACE(example);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Lines(run.out).size(), 1u);
    EXPECT_TRUE(Loads(run.out)) << run.out;
    const std::vector<std::string> masked = PasswordValues(run.out);
    EXPECT_EQ(masked.size(), PasswordValues(xml).size());
    for (const std::string& value : masked) EXPECT_EQ(value, kMasked);
    for (const char* attribute : {"clientName", "hostName", "packageId", "jobId", "errorMessage"}) {
      EXPECT_EQ(Sorted(AttributeValues(run.out, attribute)), Sorted(AttributeValues(xml, attribute))) << attribute;
    }
  }
}

// ---- log ------------------------------------------------------------------

TEST(ToolLog, WritesTheMaskedRequestUnderItsHeadingToTheDebugLog) {
  const struct {
    std::vector<std::string> options;
    const char* heading;
  } kinds[] = {{{}, "XML Request :"}, {{"--kind", "request"}, "XML Request :"}, {{"--kind", "response"}, "XML Response :"}};
  const std::string example = Example("bulk-install.xml");
  const std::string xml = ReadFile(example);
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.heading);
    const TempDir logs;
    std::vector<std::string> args{"log"};
    args.insert(args.end(), kind.options.begin(), kind.options.end());
    args.push_back(example);
    const ToolResult run =
        RunTool(args, "", {{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", logs.path().string()}});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, example + ": logged at level 0 to the debug log zu-request\n");
    const std::string log = ReadFile((logs.path() / "zu-request.log").string());
    EXPECT_NE(log.find(kind.heading), std::string::npos) << log;
    for (const std::string& value : AttributeValues(xml, "clientName")) {
      EXPECT_NE(log.find(value), std::string::npos) << value;
    }
    EXPECT_EQ(PasswordValues(log).size(), PasswordValues(xml).size());
    for (const std::string& value : PasswordValues(log)) EXPECT_EQ(value, kMasked);
    // Entries carry the request's job.
    EXPECT_NE(log.find(" " + AttributeValues(xml, "jobId").at(0) + " 0 "), std::string::npos) << log;
  }
}

TEST(ToolLog, CheckedXmlLevelIsSkipped) {
  const TempDir logs;
  const std::string example = Example("single-client-install.xml");
  const ToolResult run = RunTool({"log", "--level", "3", example}, "",
                                 {{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", logs.path().string()}});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, example + ": not logged: XML entries at level 3 are skipped\n");
  EXPECT_EQ(ReadFile((logs.path() / "zu-request.log").string()).find("XML Request :"), std::string::npos);
}

TEST(ToolLog, WithoutAnInstanceTheRequestGoesToThePreInstallFile) {
  const std::string preInstall = "/tmp/ZuInstallMgrPreInstall.log";
  const std::string example = Example("bulk-install.xml");
  const std::size_t before = ReadFile(preInstall).size();
  const ToolResult run = RunTool({"log", example});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, example + ": logged at level 0 to the pre-install file " + preInstall + "\n");
  const std::string added = ReadFile(preInstall).substr(before);
  EXPECT_NE(added.find("XML Request :"), std::string::npos) << added;
  for (const std::string& value : PasswordValues(added)) EXPECT_EQ(value, kMasked);
  ExpectNoSecret(added, "the pre-install file");
}

// ---- convert-passwords ----------------------------------------------------

TEST(ToolConvertPasswords, ClientPasswordsBecomeV3OfTheSamePlainText) {
  const std::string xml = ReadFile(Example("bulk-install.xml"));
  const ToolResult run = RunTool({"convert-passwords", Example("bulk-install.xml")});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_TRUE(Loads(run.out)) << run.out;
  const std::vector<std::string> before = AttributeValues(xml, "clientPassword");
  const std::vector<std::string> after = AttributeValues(run.out, "clientPassword");
  ASSERT_EQ(after.size(), before.size());
  ASSERT_FALSE(before.empty());
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].rfind("V3:", 0), 0u) << after[i];
    EXPECT_EQ(Decrypt(after[i]), Decrypt(before[i]));
  }
  // Only client passwords are converted.
  EXPECT_EQ(AttributeValues(run.out, "password"), AttributeValues(xml, "password"));
}

TEST(ToolConvertPasswords, RequestWithoutClientPasswordsComesBackAsLoaded) {
  const std::string example = Example("single-client-install.xml");
  const ToolResult run = RunTool({"convert-passwords", example});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, RunTool({"mask", example}).out);
}

TEST(ToolConvertPasswords, RefusedPasswordFailsWithoutPartialOutput) {
  const std::string v3 = Trim(RunTool({"password", "encrypt"}, "already-v3\n").out);
  const std::string xml = "<ClientSetup><clientComposition><clientInfo><client clientPassword=\"" + v3 +
                          "\"/></clientInfo></clientComposition></ClientSetup>";
  const ToolResult run = RunTool({"convert-passwords", "-"}, xml);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("zu-request: <stdin>: ", 0), 0u) << run.err;
  EXPECT_EQ(run.err.find(v3), std::string::npos) << run.err;
}

// ---- privacy ----------------------------------------------------------------

TEST(ToolPrivacy, NoPasswordInAnyOutputOfShowMaskOrLog) {
  ASSERT_GE(ExampleSecrets().size(), 8u);  // the stored texts and their plain values
  for (const std::string& example : ExampleRequests()) {
    SCOPED_TRACE(example);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"show"}, {"show", "--json"}, {"mask"}}) {
      std::vector<std::string> args = command;
      args.push_back(example);
      const ToolResult shown = RunTool(args);
      EXPECT_EQ(shown.status, 0) << shown.err;
      ExpectNoSecret(shown.out + shown.err, command.back());
      JsonValue document;
      std::string error;
      if (command.back() == "--json" && ParseJson(shown.out, document, error)) {
        std::vector<std::string> strings;
        CollectStrings(document, strings);
        for (const std::string& text : strings) ExpectNoSecret(text, "a decoded JSON string");
      }
    }
    const TempDir logs;
    const ToolResult logged = RunTool({"log", example}, "", {{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", logs.path().string()}});
    EXPECT_EQ(logged.status, 0) << logged.err;
    ExpectNoSecret(logged.out + logged.err, "log");
    const std::string log = ReadFile((logs.path() / "zu-request.log").string());
    EXPECT_FALSE(log.empty());
    ExpectNoSecret(log, "the debug log");
  }
}

}  // namespace
}  // namespace tooltest
