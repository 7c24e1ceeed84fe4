// zu-request diff: each row edits an example and compares the edit with the file.
#include "ToolTestSupport.h"

namespace tooltest {
namespace {

TEST(ToolDiff, ListsChangedFactsOfMatchedClientsAndNeverAPassword) {
  const std::string bulk = Example("bulk-install.xml"), response = Example("install-response.xml");
  const std::string stored = AttributeValues(ReadFile(bulk), "clientPassword").at(0);
  const std::string login = AttributeValues(ReadFile(bulk), "password").at(0);
  const auto v8 = SplitLines(RunTool({"password", "encrypt-v8"}, Decrypt(stored) + "\n0ther-Secret\n").out);
  const std::string again = v8.at(0), other = v8.at(1);
  const std::tuple<std::string, std::string, std::string, int, std::string> cases[] = {
      {bulk, "", "", 0, ""},
      {bulk, "app01.example", "app09.example", 1, "client app01: host: app01.example.com -> app09.example.com\n"},
      {bulk, "\"db01\"", "\"db99\"", 1, "client db01: name: db01 -> db99\n"},  // matched by GUID
      {bulk, stored, again, 0, ""},                                            // the same password under a fresh nonce
      {bulk, stored, other, 1, "client db01: password: changed\n"},
      {bulk, login, other, 1, "request: login password: changed\n"},
      // No GUID: matched by name.
      {response, "\"files02\"", "\"files03\"", 1, "client files02: removed\nclient files03: added\n"},
      {response, "Installation completed.", "Failed.", 1,
       "client files01: status: 0  Installation completed. -> 0  Failed.\n"},
  };
  for (const auto& [file, from, to, status, lines] : cases) {
    SCOPED_TRACE(file + ": " + from + " -> " + to);
    std::string edited = ReadFile(file);
    edited.replace(edited.find(from), from.size(), to);
    const ToolResult text = RunTool({"diff", file, "-"}, edited), json = RunTool({"diff", "-", "--json", file}, edited);
    EXPECT_EQ(std::tie(text.status, text.out, json.status), std::tie(status, lines, status)) << text.err << json.err;
    const nlohmann::json document = nlohmann::json::parse(json.out, nullptr, false);
    EXPECT_EQ(std::make_pair(document.value("same", !status), document["changes"].size()),
              std::make_pair(status == 0, SplitLines(lines).size()))
        << json.out;
    ExpectNoSecret(text.out + text.err + json.out + json.err, "diff");
    EXPECT_EQ((text.out + json.out).find("0ther-Secret"), npos);
  }
  EXPECT_EQ(RunTool({"diff", bulk, "/none"}).status, 2);  // trouble, as diff(1) says
}

}  // namespace
}  // namespace tooltest
