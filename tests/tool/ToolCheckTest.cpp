// zu-request check and schema: every finding of a misspelt or mistyped
// request at its element, and a schema that takes what the loader takes.
#include "ToolTestSupport.h"

namespace tooltest {
namespace {

TEST(ToolCheck, ReportsEveryFindingAtItsElement) {
  const std::string client = "<clientComposition><clientInfo><client>";
  // Each row: a request and the lines check prints for it on stdout, after "<stdin>:".
  const std::pair<std::string, std::string> cases[] = {
      {"<ClientSetup jobID=\"1\" reqeustFlgas=\"2\" colour=\"red\" dxInfo=\"x\" xml:lang=\"en\" xmlns:e=\"urn:e\"/>",
       "1:1: unknown attribute 'jobID' in 'ClientSetup'; did you mean 'jobId'?\n"
       "1:1: unknown attribute 'reqeustFlgas' in 'ClientSetup'; did you mean 'requestFlags'?\n"
       "1:1: unknown attribute 'colour' in 'ClientSetup'\n"
       "1:1: 'dxInfo' is an element of 'ClientSetup', not an attribute\n"},
      {"<ClientSetup\n jobId=\"x\" localeId=\"9223372036854775808\" requestType=\"+-1\""
       " xmlRequestId=\"-9223372036854775808\" subscriptionId=\"+7\" remoteClient=\"yes\" operationType=\"4\"/>",
       "1:1: 'jobId' in 'ClientSetup' is not a decimal 64-bit integer\n"
       "1:1: 'localeId' in 'ClientSetup' is not a decimal 64-bit integer\n"
       "1:1: 'requestType' in 'ClientSetup' is not a decimal 64-bit integer\n"
       "1:1: 'remoteClient' in 'ClientSetup' is not a boolean (true, false or an integer)\n"
       "1:1: 'operationType' in 'ClientSetup': 4 names no operation\n"},
      {"<ClientSetup remoteClient=\"true\"><installOptions upgradeMode=\"false\" restoreOnlyAgentsMode=\"-1\""
       " userAuthenticationRequested=\"TRUE\"/><clientComposition><patchInformation spNumber11=\"1\"/>"
       "</clientComposition></ClientSetup>",
       "1:34: 'userAuthenticationRequested' in 'InstallOptions' is not a boolean (true, false or an integer)\n"
       "1:152: unknown attribute 'spNumber11' in 'PatchInformation'; did you mean 'spNumber1'?\n"},
      {"<ClientSetup>\n  <dxinfo/>\n  <dxInfo/><dxInfo><dxClient/></dxInfo>\n  <jobId/>\n"
       "  <future><dxInfo/><bogus jobID=\"1\"/></future>\n</ClientSetup>",
       "2:3: unknown element 'dxinfo' in 'ClientSetup'; did you mean 'dxInfo'?\n"
       "3:12: second 'dxInfo' element in 'ClientSetup'\n"
       "4:3: 'jobId' is an attribute of 'ClientSetup', not an element\n"
       "5:3: unknown element 'future' in 'ClientSetup'\n"},
      {"<ClientSetup operationType=\"20\">\n"
       "<dxInfo><dxClient clientName=\"w1\" clientGUID=\"G-1\"/></dxInfo>\n" +
           client +
           "<clientEntity clientName=\"w1\" clientGUID=\"g-1\"/></client></clientInfo>\n"
           "<components><packages packageId=\"1002\"/><packages packageId=\"4294968298\"/><packages packageId=\"x\"/>"
           "<packages packageId=\"6500\"/><packages packageId=\"20\"/></components></clientComposition>\n"
           "<clientComposition operationType=\"12\"><clientInfo><client><clientEntity clientName=\"W1\" "
           "clientGUID=\"G-1\"/></client><pmAssociatedClients clientName=\"w1\"/></clientInfo></clientComposition>\n" +
           client + "<clientEntity clientName=\"\" clientGUID=\"\"/></client></clientInfo></clientComposition>\n" +
           client +
           "<clientEntity clientName=\"\" clientGUID=\"\"/></client></clientInfo></clientComposition>\n"
           "</ClientSetup>",
       "4:41: package id 4294968298 is not in the catalogue\n"
       "4:75: 'packageId' in 'PackageInformation' is not a decimal 64-bit integer\n"
       "5:1: 'operationType' in 'ClientsComposition': 12 names no operation\n"
       "5:59: same clientName as the client at 3:40\n"
       "5:59: same clientGUID as the client at 3:40\n"},
      {"<clientSetup jobId=\"x\"><dxInfo/></clientSetup>", "1:1: root element 'clientSetup' is not 'ClientSetup'\n"},
  };
  for (const auto& [xml, findings] : cases) {
    const ToolResult run = RunTool({"check", "-"}, xml);
    EXPECT_EQ(run.out, std::regex_replace(findings, std::regex(".+\n"), "<stdin>:$&")) << xml;
    EXPECT_EQ(std::to_string(run.status) + run.err, "1");
  }
}

TEST(ToolCheck, PasswordsMustHaveTheCipherShapeAndNeverShow) {
  const std::string a38(38, 'A');
  const std::pair<std::string, bool> cases[] = {
      // a value and whether it has the shape
      {"V3:" + a38 + "==", true},  {"V8:" + a38 + "AA", true},
      {"V8:" + a38 + "Q=", true},  {"V8:" + a38.substr(1) + "B==", false},
      {"V8:" + a38 + "R=", false}, {"V8:" + a38.substr(2), false},
      {"V5:" + a38 + "==", false}, {"V8:" + a38 + "A", false},
      {"V8:" + a38 + "A!", false}, {"V8:" + a38.substr(2) + "=AAA", false},
      {"S3cret!", false},          {"", false},
  };
  const std::tuple<const char*, const char*, const char*> places[] = {
      {"<ClientSetup><clientAuthentication><userAccount password=\"", "\"/></clientAuthentication></ClientSetup>",
       "<stdin>:1:36: 'password' in 'UserAccount' is not a V3 or V8 password\n"},
      {"<ClientSetup><clientComposition><clientInfo><client clientPassword=\"",
       "\"/></clientInfo></clientComposition></ClientSetup>",
       "<stdin>:1:45: 'clientPassword' in 'Client' is not a V3 or V8 password\n"}};
  for (const auto& [value, good] : cases) {
    for (const auto& [head, tail, finding] : places)
      EXPECT_EQ(RunTool({"check", "-"}, head + value + tail).out, good ? "" : finding) << value;
  }
}

TEST(ToolCheck, JsonGivesOneDocumentPerFile) {
  const ScratchDir dir;
  const std::string example = Example("bulk-install.xml"),
                    broken = dir.write("broken.xml", "<ClientSetup\n jobID=\"1\"><dxInfo>");
  const ToolResult run = RunTool({"check", "--json", example, broken, "-"}, "<ClientSetup\n jobID=\"1\"/>");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, R"({"file":")" + example +
                         R"(","findings":[]})"
                         "\n"
                         R"({"file":")" +
                         broken +
                         R"(","findings":[],"error":{"line":2,"column":20,"reason":"no element found"}})"
                         "\n"
                         R"({"file":"<stdin>","findings":[{"line":1,"column":1,"kind":"unknown-attribute",)"
                         R"("message":"unknown attribute 'jobID' in 'ClientSetup'; did you mean 'jobId'?",)"
                         R"("suggestion":"jobId"}]})"
                         "\n");
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

}  // namespace
}  // namespace tooltest
