#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ZuRuntime.h"
#include "runtime/RuntimeTestSupport.h"

namespace {

using zu_test::Lines;
using zu_test::ReadFile;

class ConsoleEvent : public zu_test::RuntimeEnvTest {
 protected:
  std::string Events() { return ReadFile(logDir_ + "/ConsoleEvents.log"); }
  static std::string Line(const char* severity, int id, const std::string& args) {
    return std::string(R"({"severity":")") + severity + R"(","eventId":)" + std::to_string(id) +
           R"(,"localeId":0,"args":[)" + args + "]}\n";
  }
};

TEST_F(ConsoleEvent, AppendsOneJsonLinePerEventInArgumentOrderCreatingTheDirectory) {
  std::string nested = root_ + "/deep/er/logs";
  setenv("ZU_LOG_DIR", nested.c_str(), 1);
  std::filesystem::create_directories(nested);
  std::ofstream(nested + "/ConsoleEvents.log") << "kept\n";
  {
    EvEvent event;
    event.setLocaleId(1033);
    event << 7L << "disk full";
    event.InfoEvent(7, -1, 0);
  }
  {
    EvEvent event;
    event << "first" << -42L << "" << 0L;
    event.CriticalEvent(65000, -1, 0);
    event.InfoEvent(-3, -1, 0);  // the arguments stay with the event
  }
  std::vector<std::string> lines = Lines(ReadFile(nested + "/ConsoleEvents.log"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "kept\n");
  EXPECT_EQ(lines[1],
            R"({"severity":"information","eventId":7,"localeId":1033,"args":[7,"disk full"]})"
            "\n");
  EXPECT_EQ(lines[2], Line("critical", 65000, R"("first",-42,"",0)"));
  EXPECT_EQ(lines[3], Line("information", -3, R"("first",-42,"",0)"));

  std::filesystem::remove_all(root_ + "/deep");
  EvEvent empty;
  empty.InfoEvent(2, -1, 0);
  EXPECT_EQ(ReadFile(nested + "/ConsoleEvents.log"), Line("information", 2, ""));
}

TEST_F(ConsoleEvent, EscapesTextsAsJson) {
  struct Case {
    const char* text;
    const char* json;
  } cases[] = {
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\Program Files\\", R"("C:\\Program Files\\")"},
      {"tab\tline\ncr\r", R"("tab\u0009line\u000acr\u000d")"},
      {"\x01\x1f", R"("\u0001\u001f")"},
      {"del\x7f", "\"del\x7f\""},
      {"caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\""},
      {"\xff\xfe raw bytes", "\"\xff\xfe raw bytes\""},
      {"</script>", R"("</script>")"},
  };
  for (const Case& c : cases) {
    EvEvent event;
    event << c.text;
    event.InfoEvent(1, -1, 0);
  }
  std::vector<std::string> lines = Lines(Events());
  ASSERT_EQ(lines.size(), sizeof cases / sizeof cases[0]);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i], Line("information", 1, cases[i].json));
  }
}

TEST_F(ConsoleEvent, DecodesLittleEndianIntegers) {
  struct Case {
    unsigned char bytes[8];
    const char* json;
  } cases[] = {
      {{0x07, 0, 0, 0, 0, 0, 0, 0}, "7"},
      {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}, "578437695752307201"},
      {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, "-1"},
      {{0, 0, 0, 0, 0, 0, 0, 0x80}, "-9223372036854775808"},
      {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f}, "9223372036854775807"},
  };
  EvEvent event;
  std::string expected;
  for (const Case& c : cases) {
    event.addArgument(c.bytes, EvEvent::kInteger64);
    expected += expected.empty() ? "" : ",";
    expected += c.json;
  }
  // A host value converted by hand, and by the inline operator: all paths agree.
  long long host = 0x0102030405060708LL;
  littleEndianLongLong(&host);
  littleEndianLongLong(nullptr);  // tolerated
  const unsigned char leastFirst[8] = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(std::memcmp(&host, leastFirst, sizeof leastFirst), 0);
  event.addArgument(&host, EvEvent::kInteger64);
  event << LONG_MIN << LONG_MAX << 1033L;
  expected += ",72623859790382856,-9223372036854775808,9223372036854775807,1033";
  event.CriticalEvent(2, -1, 0);
  EXPECT_EQ(Events(), Line("critical", 2, expected));
}

TEST_F(ConsoleEvent, CopiesArgumentsAtOnceAndKeepsPositionsOfUnusable) {
  char text[] = "original";
  long long number = 5;
  littleEndianLongLong(&number);
  EvEvent event;
  event.addArgument(text, EvEvent::kText);
  event.addArgument(&number, EvEvent::kInteger64);
  event.addArgument(nullptr, EvEvent::kText);
  event.addArgument(nullptr, EvEvent::kInteger64);
  event.addArgument(text, 3);  // a type code this library does not know
  std::strcpy(text, "changed!");
  number = 0;
  event.InfoEvent(9, -1, 0);
  EXPECT_EQ(Events(), Line("information", 9, R"("original",5,"",null,null)"));
}

TEST_F(ConsoleEvent, DropsEventsItCannotWriteSafely) {
  std::filesystem::create_directories(logDir_);
  std::ofstream(root_ + "/target") << "untouched";
  std::filesystem::create_symlink(root_ + "/target", logDir_ + "/ConsoleEvents.log");
  EvEvent event;
  event << "secret-free";
  event.CriticalEvent(3, -1, 0);
  EXPECT_EQ(ReadFile(root_ + "/target"), "untouched");

  std::ofstream(root_ + "/plainfile") << "x";
  setenv("ZU_LOG_DIR", (root_ + "/plainfile/logs").c_str(), 1);
  event.InfoEvent(3, -1, 0);  // no directory can be made here: dropped quietly
  EXPECT_EQ(ReadFile(root_ + "/plainfile"), "x");
}

}  // namespace
