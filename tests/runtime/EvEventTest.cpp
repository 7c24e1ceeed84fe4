// Console events: one JSON line per event in ConsoleEvents.log.
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "runtime/RuntimeTestSupport.h"

namespace {

using zutest::ReadFile;

std::string Line(const char* severity, int id, const std::string& args, unsigned long locale = 0) {
  return std::string(R"({"severity":")") + severity + R"(","eventId":)" + std::to_string(id) + R"(,"localeId":)" +
         std::to_string(locale) + R"(,"args":[)" + args + "]}\n";
}

class ConsoleEvent : public RuntimeTest {
 protected:
  std::string Events() { return ReadFile(logDir_ + "/ConsoleEvents.log"); }
};

TEST_F(ConsoleEvent, AppendsOneLinePerEventCreatingTheDirectoryArgumentsStayWithTheEvent) {
  std::filesystem::create_directories(logDir_);
  std::ofstream(logDir_ + "/ConsoleEvents.log") << "kept\n";
  {
    EvEvent event;
    event.setLocaleId(1033);
    event << 7L << "disk full";
    event.InfoEvent(7, -1, 0);
  }
  EvEvent event;
  event << "first" << -42L << "" << 0L;
  event.CriticalEvent(65000, -1, 0);
  event.InfoEvent(-3, -1, 0);
  EXPECT_EQ(Events(), "kept\n" + Line("information", 7, R"(7,"disk full")", 1033) +
                          Line("critical", 65000, R"("first",-42,"",0)") + Line("information", -3, R"("first",-42,"",0)"));
  std::filesystem::remove_all(root_.path());
  EvEvent().InfoEvent(2, -1, 0);
  EXPECT_EQ(Events(), Line("information", 2, ""));
}

// Texts escaped as JSON, integers read as little-endian 64 bits, values
// copied when added, and unusable arguments kept in place as null.
TEST_F(ConsoleEvent, RendersEveryArgumentInOrder) {
  EvEvent event;
  event << "say \"hi\" C:\\dir\\ tab\tline\ncr\r\x01\x1f" << "del\x7f caf\xc3\xa9 \xff\xfe </script>";
  // Integers are read as little-endian 64 bits.
  const unsigned char bytes[][8] = {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}, {0, 0, 0, 0, 0, 0, 0, 0x80},
                                    {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f}};
  for (const auto& b : bytes) event.addArgument(b, EvEvent::kInteger64);
  std::string expected = R"("say \"hi\" C:\\dir\\ tab\u0009line\u000acr\u000d\u0001\u001f",)"
                         "\"del\x7f caf\xc3\xa9 \xff\xfe </script>\",578437695752307201,-9223372036854775808,9223372036854775807";
  char text[] = "original";
  long long host = 0x0102030405060708LL;
  littleEndianLongLong(&host);
  littleEndianLongLong(nullptr);  // tolerated
  event.addArgument(text, EvEvent::kText);
  event.addArgument(&host, EvEvent::kInteger64);
  event.addArgument(nullptr, EvEvent::kText);
  event.addArgument(nullptr, EvEvent::kInteger64);
  event.addArgument(text, 3);  // a type code this library does not know
  event << LONG_MIN << LONG_MAX;
  std::strcpy(text, "changed!");
  host = 0;
  expected += R"(,"original",72623859790382856,"",null,null,-9223372036854775808,9223372036854775807)";
  event.CriticalEvent(2, -1, 0);
  EXPECT_EQ(Events(), Line("critical", 2, expected));
}

TEST_F(ConsoleEvent, DropsEventsItCannotWriteSafely) {
  std::filesystem::create_directories(logDir_);
  std::filesystem::create_symlink(root_.write("target", "untouched"), logDir_ + "/ConsoleEvents.log");
  EvEvent event;
  event << "secret-free";
  event.CriticalEvent(3, -1, 0);
  EXPECT_EQ(ReadFile(root_ / "target"), "untouched");
  zutest::EnvGuard blocked{{"ZU_LOG_DIR", root_.write("plainfile", "x") + "/logs"}};
  event.InfoEvent(3, -1, 0);  // no directory can be made here: dropped quietly
  EXPECT_EQ(ReadFile(root_ / "plainfile"), "x");
}

}  // namespace
