// Marker wordings, console events with their typed arguments, and the bounded formatter.
#include <climits>
#include <cstdint>
#include <map>

#include "LogTestSupport.h"
#include "ZUInstallLog.h"

namespace {

class Markers : public logtest::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    SetFocus("Instance001");
    SetDebugLevel(0);  // markers are written at level 0
  }
};

TEST_F(Markers, ClientMarkerWordingForEveryOperationType) {
  // Each is followed by " [p1] for client [c1]"; a type not listed is invalid.
  const std::map<int, std::string> wordings = {
      {0, "Install client/packages"}, {1, "Checks install requirements"},
      {2, "get configuration of installed client / packages"}, {3, "get default XML for user"},
      {5, "check uninstall requirements"}, {6, "Agent Uninstall"}, {7, "Client Uninstall"}, {8, "Agent Uninstall"},
      {9, "MA Uninstall"}, {10, "Client Uninstall"}, {11, "Install client/packages"},
      {14, "Install client/packages"}, {15, "get client list for silent install"},
      {16, "synchronize package information"}, {19, "Deactivate Client"}, {20, "Bulk Client Install"},
      {21, "synchronize OS Info With Client"}, {31, "Send Job status"}, {33, "Update SP version"},
      {36, "Send async install response"}, {38, "Update third party patch level"},
  };
  std::vector<int> types = {INT_MIN, INT_MAX};
  for (int type = -1; type <= 39; ++type) types.push_back(type);

  ZUSimLog log("Installer");
  std::vector<std::string> expected;
  for (int type : types) {
    log.AddClientMarker("c1", "p1", type);
    const auto found = wordings.find(type);
    expected.push_back(found != wordings.end() ? found->second + " [p1] for client [c1]"
                                               : "Invalid operation type [" + std::to_string(type) + "]");
  }
  const std::vector<logtest::DebugLine> lines = DebugLines("Installer");
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].text, expected[i]) << "type " << types[i];
    EXPECT_EQ(lines[i].level, 0);
  }
}

TEST_F(Markers, PlatformAndPhaseWordings) {
  ZUSimLog log("Installer");
  log.AddPlatformMarker("Install", "started");
  log.AddPhaseMarker("Copy", "started");
  log.AddPlatformMarker(nullptr, nullptr);
  log.AddClientMarker(nullptr, nullptr, 0);
  EXPECT_EQ(DebugTexts("Installer"),
            (std::vector<std::string>{"Operation [Install] is [started]", "Phase [Copy]is [started]",
                                      "Operation [] is []", "Install client/packages [] for client []"}));
}

TEST_F(Markers, TextIsCutTo1023Characters) {
  const std::string phase(2000, 'p');
  const std::string client(2000, 'c');
  ZUSimLog log("Installer");
  log.AddPhaseMarker(phase.c_str(), "done");
  log.AddClientMarker(client.c_str(), "s", 20);
  const std::vector<std::string> texts = DebugTexts("Installer");
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], ("Phase [" + phase).substr(0, 1023));
  EXPECT_EQ(texts[1], ("Bulk Client Install [s] for client [" + client).substr(0, 1023));
}

TEST_F(Markers, PreInstallMarkerEndsWithLineFeed) {
  unsetenv("ZU_FOCUS");
  ZUSimLog log("Installer");
  log.AddClientMarker("c1", "p1", 14);
  std::string text;
  ASSERT_TRUE(logtest::IsOwnPreInstallEntry(logtest::ReadFile(logtest::kPreInstallPath), since_, &text));
  EXPECT_EQ(text, "Install client/packages [p1] for client [c1]\n");
}

class ConsoleEvents : public logtest::LogTest {
 protected:
  std::vector<std::string> Events() const { return logtest::SplitLines(logtest::ReadFile(dir_ + "/ConsoleEvents.log")); }
};

TEST_F(ConsoleEvents, ArgumentsFollowTheFormatTokensInOrderWithTheirTypes) {
  ZUSimLog log("Installer");
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%d %s", 7, "disk full");
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "  %s\t%d  ", "first", -5);
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%d\n%s\r\v%d", 1, "two", 3);
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%d,%s", 7, "ignored");
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%x %s %% %d %ld", "kept", 2);
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "%s %s", "a", "b");
  log.SendEventToConsole(1033, 7, EVENT_STATUS, "");
  const std::string head = R"({"severity":"information","eventId":7,"localeId":1033,"args":)";
  EXPECT_EQ(Events(), (std::vector<std::string>{head + R"([7,"disk full"]})", head + R"(["first",-5]})",
                                                head + R"([1,"two",3]})", head + R"([]})", head + R"(["kept",2]})",
                                                head + R"(["a","b"]})", head + R"([]})"}));
}

TEST_F(ConsoleEvents, TypeSelectsInformationOrCriticalAndOthersRaiseNothing) {
  ZUSimLog log("Installer");
  for (int type : {int(EVENT_CRITICAL), 0, 3, int(EVENT_STATUS)}) log.SendEventToConsole(9, 12, type, "%d", type);
  EXPECT_EQ(Events(), (std::vector<std::string>{
                          R"({"severity":"critical","eventId":12,"localeId":9,"args":[)" +
                              std::to_string(EVENT_CRITICAL) + "]}",
                          R"({"severity":"information","eventId":12,"localeId":9,"args":[)" +
                              std::to_string(EVENT_STATUS) + "]}",
                      }));
}

TEST_F(ConsoleEvents, NullFormatAddsNoArgumentsNullTextIsAddedEmptyAndIdKeepsLow32Bits) {
  ZUSimLog log("Installer");
  log.SendEventToConsole(1033, 0x100000005L, EVENT_STATUS, nullptr);
  log.SendEventToConsole(1033, 0x100000005L, EVENT_STATUS, "%s %d %s", static_cast<const char*>(nullptr), 4, "after");
  log.SendEventToConsole(1033, 0xFFFFFFFFL, EVENT_CRITICAL, nullptr);
  const std::string head = R"({"severity":"information","eventId":5,"localeId":1033,"args":)";
  EXPECT_EQ(Events(), (std::vector<std::string>{head + "[]}", head + R"(["",4,"after"]})",
                                                R"({"severity":"critical","eventId":-1,"localeId":1033,"args":[]})"}));
}

TEST(StringCbPrintfA, KeepsAtMostSizeMinusOneCharactersAndRefusesImpossibleSizes) {
  struct Case {
    std::size_t size;
    std::size_t length;
    int result;
    const char* buffer;  // afterwards
  };
  const Case cases[] = {
      {24, 23, 0, "xxxxxxxxxxxxxxxxxxxxxxx"},
      {24, 30, kStrSafeTruncated, "xxxxxxxxxxxxxxxxxxxxxxx"},
      {24, 24, kStrSafeTruncated, "xxxxxxxxxxxxxxxxxxxxxxx"},
      {1, 5, kStrSafeTruncated, ""},
      {0, 5, kStrSafeInvalidParameter, "keep"},
      {2147483648u, 5, kStrSafeInvalidParameter, "keep"},
      {SIZE_MAX, 5, kStrSafeInvalidParameter, "keep"},
  };
  for (const Case& c : cases) {
    char buffer[64] = "keep";
    const std::string text(c.length, 'x');
    EXPECT_EQ(StringCbPrintfA(buffer, c.size, "%s", text.c_str()), c.result) << c.size << " " << c.length;
    EXPECT_STREQ(buffer, c.buffer) << c.size << " " << c.length;
  }
}

}  // namespace
