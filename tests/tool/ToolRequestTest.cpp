// The request subcommands on the bundled examples: what show, mask, log and
// convert-passwords write, and that no password ever reaches their output.
#include <gtest/gtest.h>

#include <algorithm>

#include "StrictJson.h"
#include "ToolTestSupport.h"
#include "ZUInstallUtils.h"

namespace tooltest {
namespace {

constexpr char kMasked[] = "********";

bool Contains(const std::vector<std::string>& values, const std::string& value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

std::vector<std::string> Sorted(std::vector<std::string> values) {
  std::sort(values.begin(), values.end());
  return values;
}

bool Loads(const std::string& xml) {
  ZUInstallManager::ClientSetup request;
  std::string error;
  return ConvertStringToClientSetup(xml, &request, error) == 0;
}

void ExpectAllMasked(const std::string& text, std::size_t count) {
  const std::vector<std::string> values = PasswordValues(text);
  EXPECT_EQ(values.size(), count);
  for (const std::string& value : values) EXPECT_EQ(value, kMasked);
}

EnvChanges DebugLogIn(const TempDir& logs) {
  return {{"ZU_FOCUS", "Instance001"}, {"ZU_LOG_DIR", logs.path().string()}};
}

std::string DebugLog(const TempDir& logs) { return ReadFile((logs.path() / "zu-request.log").string()); }

TEST(ToolShow, TextAndStrictJsonNameEveryClientWithItsHostButNoPassword) {
  ASSERT_GE(ExampleSecrets().size(), 8u);  // the stored texts and their plain values
  for (const std::string& example : ExampleRequests()) {
    const std::string xml = ReadFile(example);
    const ToolResult text = RunTool({"show", example});
    const ToolResult json = RunTool({"show", "--json", example});
    SCOPED_TRACE(example);
    EXPECT_EQ(text.status, 0) << text.err;
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(text.err + json.err, "");
    std::vector<std::string> strings;
    ASSERT_EQ(JsonStrings(json.out, strings), "") << json.out;
    EXPECT_EQ(json.out.front(), '{');
    EXPECT_EQ(json.out.back(), '\n');
    for (const char* attribute : {"clientName", "hostName"}) {
      for (const std::string& value : AttributeValues(xml, attribute)) {
        EXPECT_NE(text.out.find(value), std::string::npos) << attribute << " " << value << " missing:\n" << text.out;
        EXPECT_TRUE(Contains(strings, value)) << attribute << " " << value;
      }
    }
    ExpectNoSecret(text.out + json.out, "show");
    for (const std::string& decoded : strings) ExpectNoSecret(decoded, "a decoded JSON string");
  }
}

TEST(ToolShow, JsonEscapesWhatARequestMayHold) {
  // Quotes, backslashes, control characters and non-ASCII text must come back intact.
  const std::string xml =
      "<ClientSetup requestType=\"1\"><clientComposition><clientInfo><client><clientEntity clientName=\""
      "we&quot;b\\01&#9;&#10;&#13;/\xC3\xA9\xE2\x82\xAC\" hostName=\"h\"/></client></clientInfo></clientComposition>"
      "</ClientSetup>";
  const ToolResult run = RunTool({"show", "--json", "-"}, xml);
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> strings;
  ASSERT_EQ(JsonStrings(run.out, strings), "") << run.out;
  EXPECT_TRUE(Contains(strings, "we\"b\\01\t\n\r/\xC3\xA9\xE2\x82\xAC")) << run.out;
}

TEST(ToolMask, MasksEveryPasswordAndKeepsTheRequestLoadable) {
  for (const std::string& example : ExampleRequests()) {
    const std::string xml = ReadFile(example);
    const ToolResult run = RunTool({"mask", example});
    SCOPED_TRACE(example);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Lines(run.out).size(), 1u);
    EXPECT_TRUE(Loads(run.out)) << run.out;
    ExpectAllMasked(run.out, PasswordValues(xml).size());
    ExpectNoSecret(run.out + run.err, "mask");
    for (const char* attribute : {"clientName", "hostName", "packageId", "jobId", "errorMessage"}) {
      EXPECT_EQ(Sorted(AttributeValues(run.out, attribute)), Sorted(AttributeValues(xml, attribute))) << attribute;
    }
  }
}

TEST(ToolLog, WritesTheMaskedRequestUnderItsHeadingToTheDebugLogWithoutAPassword) {
  const struct {
    std::vector<std::string> options;
    const char* heading;
  } kinds[] = {{{}, "XML Request :"}, {{"--kind", "request"}, "XML Request :"}, {{"--kind", "response"}, "XML Response :"}};
  for (const std::string& example : ExampleRequests()) {
    const std::string xml = ReadFile(example);
    for (const auto& kind : kinds) {
      SCOPED_TRACE(example + " " + kind.heading);
      const TempDir logs;
      std::vector<std::string> args{"log"};
      args.insert(args.end(), kind.options.begin(), kind.options.end());
      args.push_back(example);
      const ToolResult run = RunTool(args, "", DebugLogIn(logs));
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.out, example + ": logged at level 0 to the debug log zu-request\n");
      const std::string log = DebugLog(logs);
      EXPECT_NE(log.find(kind.heading), std::string::npos) << log;
      for (const std::string& value : AttributeValues(xml, "clientName")) {
        EXPECT_NE(log.find(value), std::string::npos) << value;
      }
      ExpectAllMasked(log, PasswordValues(xml).size());
      ExpectNoSecret(run.out + run.err + log, "log");
      // Entries carry the request's job.
      EXPECT_NE(log.find(" " + AttributeValues(xml, "jobId").at(0) + " 0 "), std::string::npos) << log;
    }
  }
}

TEST(ToolLog, CheckedXmlLevelIsSkipped) {
  const TempDir logs;
  const std::string example = Example("single-client-install.xml");
  const ToolResult run = RunTool({"log", "--level", "3", example}, "", DebugLogIn(logs));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, example + ": not logged: XML entries at level 3 are skipped\n");
  EXPECT_EQ(DebugLog(logs).find("XML Request :"), std::string::npos);
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
  const std::string v3 = Lines(RunTool({"password", "encrypt"}, "already-v3\n").out).at(0);
  const std::string xml = "<ClientSetup><clientComposition><clientInfo><client clientPassword=\"" + v3 +
                          "\"/></clientInfo></clientComposition></ClientSetup>";
  const ToolResult run = RunTool({"convert-passwords", "-"}, xml);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("zu-request: <stdin>: ", 0), 0u) << run.err;
  EXPECT_EQ(run.err.find(v3), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tooltest
