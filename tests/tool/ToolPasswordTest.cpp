// zu-request password and packages: the cipher wrappers over standard input
// and the package catalogue.
#include <gtest/gtest.h>

#include "ToolTestSupport.h"

namespace tooltest {
namespace {

TEST(ToolPassword, EveryFormDecryptsToTheLinesGiven) {
  const std::string plain = "alpha\nbeta gamma\n\xC3\xA9t\xC3\xA9\n";
  const std::vector<std::string> lines = Lines(plain);
  const struct {
    std::vector<const char*> steps;
    const char* prefix;
  } chains[] = {
      {{"encrypt"}, "V3:"},
      {{"encrypt-v8"}, "V8:"},
      {{"encrypt-v8", "v8-to-v3"}, "V3:"},
      {{"encrypt", "v3-to-v8"}, "V8:"},
      {{"encrypt", "v3-to-v8", "v8-to-v3"}, "V3:"},
  };
  for (const auto& chain : chains) {
    std::string text = plain;
    for (const char* step : chain.steps) {
      const ToolResult run = RunTool({"password", step}, text);
      ASSERT_EQ(run.status, 0) << step << ": " << run.err;
      EXPECT_EQ(run.err, "");
      text = run.out;
    }
    const std::vector<std::string> cipher = Lines(text);
    ASSERT_EQ(cipher.size(), lines.size()) << text;
    for (const std::string& line : cipher) {
      EXPECT_EQ(line.rfind(chain.prefix, 0), 0u) << line;
      EXPECT_EQ(line.find("alpha"), std::string::npos);
    }
    const ToolResult decrypted = RunTool({"password", "decrypt"}, text);
    EXPECT_EQ(decrypted.status, 0) << decrypted.err;
    EXPECT_EQ(decrypted.out, plain) << chain.steps.back();
  }
}

TEST(ToolPassword, RefusedTextFailsNamingItsLine) {
  const std::string v3 = RunTool({"password", "encrypt"}, "x\n").out;
  const std::string v8 = RunTool({"password", "encrypt-v8"}, "x\n").out;
  const struct {
    const char* operation;
    std::string input;
    const char* line;
  } cases[] = {
      {"decrypt", "not-a-cipher-text\n", "1"},
      {"decrypt", v3 + "V3:!!!!\n", "2"},
      {"decrypt", v8 + "V8:" + v8.substr(3, 20) + "\n", "2"},  // cut short: the tag check fails
      {"v8-to-v3", v3, "1"},
      {"v3-to-v8", v8, "1"},
      {"decrypt", v3 + "\n", "2"},  // an empty text never reaches the cipher
  };
  for (const auto& c : cases) {
    const ToolResult run = RunTool({"password", c.operation}, c.input);
    SCOPED_TRACE(std::string(c.operation) + " of " + c.input);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind(std::string("zu-request: line ") + c.line + ": ", 0), 0u) << run.err;
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
  }
}

TEST(ToolPackages, ListsTheClassesOfEachIdInTheOrderGiven) {
  const ToolResult run = RunTool({"packages", "801", "803", "1002", "51", "402", "409", "20", "6500", "99999"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "801: database, central server\n"
            "803: database, non-central-server database\n"
            "1002: base, FS\n"
            "51: media agent\n"
            "402: SRM agent\n"
            "409: none\n"
            "20: central server\n"
            "6500: third party\n"
            "99999: none\n");
}

}  // namespace
}  // namespace tooltest
