// The request commands on the bundled examples: what show, check, mask, log and
// convert-passwords write, and that no password ever reaches their output.
#include "ToolTestSupport.h"

namespace tooltest {
namespace {

std::vector<std::string> Masked(const std::string& xml) {
  return std::vector<std::string>(AttributeValues(xml).size(), "********");
}

TEST(ToolShow, ExamplesCheckCleanAndShowEveryClientWithItsHostButNoPassword) {
  for (const std::string& example : ExampleRequests()) {
    const ToolResult check = RunTool({"check", example}), text = RunTool({"show", example});
    const ToolResult json = RunTool({"show", "--json", example});
    SCOPED_TRACE(example);
    EXPECT_EQ(check.status + text.status + json.status, 0) << check.out << check.err << text.err << json.err;
    EXPECT_EQ(check.out + check.err, "");
    EXPECT_EQ(json.out.find('\n'), json.out.size() - 1) << "not one JSON line";
    const std::vector<std::string> strings = JsonStrings(json.out);
    for (const std::string& value : AttributeValues(ReadFile(example), "clientName|hostName")) {
      EXPECT_NE(text.out.find(value), npos) << value << " missing:\n" << text.out;
      EXPECT_NE(std::find(strings.begin(), strings.end(), value), strings.end()) << value;
    }
    ExpectNoSecret(text.out + text.err + json.out + json.err, "show");
    for (const std::string& value : strings) ExpectNoSecret(value, "show --json");
  }
  // Quotes, backslashes, control characters and non-ASCII text come back intact from JSON.
  const std::string xml =
      "<ClientSetup><clientComposition><clientInfo><client><clientEntity clientName=\""
      "we&quot;b\\01&#9;&#10;&#13;/\xC3\xA9\xE2\x82\xAC\"/></client></clientInfo>"
      "</clientComposition></ClientSetup>";
  const std::vector<std::string> strings = JsonStrings(RunTool({"show", "--json", "-"}, xml).out);
  EXPECT_NE(std::find(strings.begin(), strings.end(), "we\"b\\01\t\n\r/\xC3\xA9\xE2\x82\xAC"), strings.end());
}

// mask writes what convert-passwords writes, every password value masked.
TEST(ToolMaskAndConvert, MaskHidesEveryPasswordAndConvertMakesClientPasswordsV3OfTheSameText) {
  const std::regex password("(\\s(?:" + std::string(kSecrets) + ")=\")[^\"]*");
  for (const std::string& example : ExampleRequests()) {
    const std::string xml = ReadFile(example);
    const ToolResult mask = RunTool({"mask", example}), convert = RunTool({"convert-passwords", example});
    SCOPED_TRACE(example);
    ASSERT_EQ(mask.status + convert.status, 0) << mask.err << convert.err;
    EXPECT_EQ(mask.out, std::regex_replace(convert.out, password, "$1********"));
    EXPECT_EQ(AttributeValues(mask.out), Masked(xml));
    EXPECT_EQ(RunTool({"show", "-"}, mask.out).status, 0) << "mask's request does not load";
    ExpectNoSecret(mask.out + mask.err, "mask");
    std::vector<std::string> before, after;
    for (const auto& v : AttributeValues(xml, "clientPassword")) before.push_back("V3:" + Decrypt(v));
    for (const auto& v : AttributeValues(convert.out, "clientPassword")) after.push_back(v.substr(0, 3) + Decrypt(v));
    EXPECT_EQ(after, before);
    EXPECT_EQ(AttributeValues(convert.out, "password"), AttributeValues(xml, "password"));
  }
}

TEST(ToolLog, WritesTheMaskedRequestUnderItsHeadingWhereTheLoggerSays) {
  // Without an instance (ZU_FOCUS) the logger writes to the pre-install file.
  const std::tuple<std::vector<std::string>, std::string, const char*, std::string> kinds[] = {
      {{"log", "FILE"}, "Instance001", "XML Request :", "debug log "},
      {{"log", "FILE", "--kind=response"}, "Instance001", "XML Response :", "debug log "},
      {{"log", "--kind", "request", "--", "FILE"},
       "",
       "XML Request :",
       std::string("pre-install file ") + zutest::kPreInstallPath}};
  for (const std::string& example : ExampleRequests()) {
    const std::string xml = ReadFile(example);
    for (auto [args, focus, heading, where] : kinds) {
      SCOPED_TRACE(example + " " + heading);
      const ScratchDir logs;
      const zutest::PreInstallPathGuard guard;
      std::replace(args.begin(), args.end(), std::string("FILE"), example);
      const ToolResult run = RunTool(args, "", {{"ZU_FOCUS", focus}, {"ZU_LOG_DIR", logs.path().string()}});
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.out, example + ": logged at level 0 to the " + where +
                             (focus.empty() ? "" : logs / "zu-request.log") + "\n");
      const std::string log = ReadFile(focus.empty() ? zutest::kPreInstallPath : logs / "zu-request.log");
      EXPECT_NE(log.find(heading), npos) << log;
      for (const std::string& name : AttributeValues(xml, "clientName")) EXPECT_NE(log.find(name), npos) << name;
      EXPECT_EQ(AttributeValues(log), Masked(xml));
      ExpectNoSecret(run.out + run.err + log, "log");
      // Debug-log entries carry the request's job.
      EXPECT_TRUE(focus.empty() || log.find(" " + AttributeValues(xml, "jobId").at(0) + " 0 ") != npos) << log;
    }
  }
}

}  // namespace
}  // namespace tooltest
