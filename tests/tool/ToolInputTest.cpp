// How the request subcommands read their FILE arguments: errors with
// positions, standard input, unreadable paths and several files in one run.
#include <gtest/gtest.h>

#include "ToolTestSupport.h"

namespace tooltest {
namespace {

// The subcommands that load a request, with the options they are run with.
const std::vector<std::vector<std::string>> kLoaders = {
    {"show"}, {"show", "--json"}, {"mask"}, {"log"}, {"convert-passwords"}};

std::vector<std::string> With(std::vector<std::string> args, const std::string& file) {
  args.push_back(file);
  return args;
}

TEST(ToolInput, MalformedRequestIsReportedWithFileLineAndColumn) {
  // Positions count from 1 and point at the offending character.
  const struct {
    const char* document;
    const char* position;
    const char* reason;
  } cases[] = {
      {"x", "1:1", ""},
      {"", "1:1", ""},
      {"<?xml version=\"1.0\"?>\n<!-- a request -->\n<Foo/>", "3:1", "Foo"},
      {"<ClientSetup>\n\n   <<", "3:5", ""},
      {"<ClientSetup>\n  <dxInfo/>\n  <dxInfo/>\n</ClientSetup>", "3:3", "dxInfo"},
      {"<ClientSetup>\n <user userId=\"12x\"/></ClientSetup>", "2:2", "userId"},
      {"<ClientSetup clientName=\"\xFF\"/>", "1:26", ""},
      {"<ClientSetup>\n\t<x></ClientSetup>", "2:7", ""},
      {"<!DOCTYPE ClientSetup>\n<ClientSetup/>", "1:", "DOCTYPE"},
  };
  const TempDir dir;
  for (const auto& c : cases) {
    const std::string file = dir.Write("bad.xml", c.document);
    for (const auto& loader : kLoaders) {
      for (const std::string& path : {file, std::string("-")}) {
        const std::string shown = path == "-" ? "<stdin>" : path;
        const ToolResult run = RunTool(With(loader, path), c.document);
        const std::string prefix = "zu-request: " + shown + ":" + c.position;
        SCOPED_TRACE(loader.back() + " on " + shown + " holding: " + c.document);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind(prefix, 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.err.back(), '\n');
        if (loader[0] != "log") {
          EXPECT_EQ(run.out, "");
        }
      }
    }
  }
}

TEST(ToolInput, MissingFileOrReadingADirectoryFailsWithTheSystemReasonInsteadOfAborting) {
  const TempDir dir;
  const std::pair<std::string, const char*> cases[] = {
      {(dir.path() / "missing.xml").string(), "No such file or directory"}, {dir.path().string(), "Is a directory"}};
  for (const auto& [path, reason] : cases) {
    for (const auto& loader : kLoaders) {
      const ToolResult run = RunTool(With(loader, path));
      EXPECT_EQ(run.status, 1) << loader[0] << run.err;
      EXPECT_EQ(run.err, "zu-request: " + path + ": cannot read: " + reason + "\n");
    }
  }
}

TEST(ToolInput, StandardInputGivesWhatTheFileGives) {
  for (const std::string& example : ExampleRequests()) {
    const std::string text = ReadFile(example);
    for (const auto& loader : kLoaders) {
      // log reports where it wrote, convert-passwords draws fresh nonces.
      if (loader[0] == "log" || loader[0] == "convert-passwords") continue;
      const ToolResult fromFile = RunTool(With(loader, example));
      const ToolResult fromStdin = RunTool(With(loader, "-"), text);
      SCOPED_TRACE(loader.back() + " " + example);
      EXPECT_EQ(fromFile.status, 0) << fromFile.err;
      EXPECT_EQ(fromStdin.status, 0) << fromStdin.err;
      EXPECT_FALSE(fromFile.out.empty());
      // show names its input; standard input is "<stdin>".
      std::string expected = fromFile.out;
      const std::size_t named = expected.find(example);
      if (loader[0] == "show" && named != std::string::npos) expected.replace(named, example.size(), "<stdin>");
      EXPECT_EQ(fromStdin.out, expected);
    }
  }
}

TEST(ToolInput, SeveralFilesAreProcessedInTurnAndTheWorstStatusWins) {
  const TempDir dir;
  const std::string bad = dir.Write("bad.xml", "<ClientSetup>\n  <dxInfo>\n</ClientSetup>\n");
  const std::vector<std::string> examples = ExampleRequests();
  ASSERT_GE(examples.size(), 2u);
  const std::string& first = examples.front();
  const std::string& last = examples.back();
  const struct {
    std::vector<std::string> command;
    const char* separator;
  } commands[] = {{{"show"}, "\n"}, {{"show", "--json"}, ""}, {{"mask"}, ""}};
  for (const auto& c : commands) {
    SCOPED_TRACE(c.command.back());
    const std::string expected =
        RunTool(With(c.command, first)).out + c.separator + RunTool(With(c.command, last)).out;
    const ToolResult run = RunTool(With(With(With(c.command, first), bad), last));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err.rfind("zu-request: " + bad + ":3:3: ", 0), 0u) << run.err;
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;

    const ToolResult good = RunTool(With(With(c.command, first), last));
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.out, expected);
  }
}

}  // namespace
}  // namespace tooltest
