// The runtime: its log services and the password cipher. The debug log: entry
// format, level filter, the file it opens and refuses, and the log directory's
// default. Console events: one JSON line per event in ConsoleEvents.log. Each
// log test has a private log directory, the other variables cleared.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ZuRuntime.h"
#include "common/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using zutest::ReadFile;
using zutest::SplitLines;

class RuntimeTest : public ::testing::Test {
 protected:
  zutest::ScratchDir root_;
  std::string logDir_ = root_ / "logs";
  zutest::EnvGuard environment_{{"ZU_LOG_DIR", logDir_}, {"ZU_DEBUG_LEVEL", std::nullopt}, {"ZU_FOCUS", std::nullopt}};
  std::string LogText(const std::string& file) { return ReadFile(logDir_ + "/" + file); }
};
typedef RuntimeTest DebugLog, ConsoleEvent;

// One debug log as a logger holds it: a descriptor and the service over it.
struct OpenedLog {
  explicit OpenedLog(const char* name)
      : ok(log.initialize(&file, static_cast<unsigned>(EvDebug::getLogId(name)), 0, false, "")) {}
  EvDebugFileInstance file;
  EvDebug log{nullptr};
  bool ok;
};

__attribute__((format(printf, 4, 5))) void WriteNew(EvDebug& log, int level, long long jobId, const char* format, ...) {
  va_list args;
  va_start(args, format);
  log.handleMsgEventDebug_NEW(level, "", -1, jobId, "", format, args);
  va_end(args);
}

// PID TID DATE TIME JOBID LEVEL TEXT: single blanks; the text runs to the end.
const std::regex kEntry(
    R"(([0-9]+) ([0-9]+) ([0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}) (-?[0-9]+) (-?[0-9]+) )");

// What follows the first entry's prefix, up to the end of the log.
std::string TextOf(const std::string& log) {
  std::smatch prefix;  // std::regex recurses per character: match the short start only
  const auto end = log.cbegin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(log.size(), 80));
  return std::regex_search(log.cbegin(), end, prefix, kEntry, std::regex_constants::match_continuous)
             ? std::string(prefix[0].second, log.cend())
             : "<no entry>";
}

TEST_F(DebugLog, EntryCarriesPidTidLocalTimeJobLevelAndTextAppendedToAnExistingLog) {
  fs::create_directories(logDir_);
  std::ofstream(logDir_ + "/EntryFormat.log") << "earlier line\n";
  OpenedLog opened("EntryFormat");
  ASSERT_TRUE(opened.ok);
  const std::time_t before = std::time(nullptr);
  WriteNew(opened.log, 1, 123456789012LL, "copied %d of %s", 3, "packages");
  opened.log.setJobId(-7);
  long workerTid = 0;
  std::thread([&] {
    workerTid = ::syscall(SYS_gettid);
    opened.log.DebugLvl("", -1, "%s", "from worker");
  }).join();
  const std::time_t after = std::time(nullptr);
  char earliest[32], latest[32];
  struct tm local;
  std::strftime(earliest, sizeof earliest, "%Y/%m/%d %H:%M:%S", localtime_r(&before, &local));
  std::strftime(latest, sizeof latest, "%Y/%m/%d %H:%M:%S", localtime_r(&after, &local));
  std::vector<std::string> lines = SplitLines(LogText("EntryFormat.log"));
  const std::string pid = std::to_string(getpid()) + " ",
                    expected[] = {
                        "earlier line",
                        pid + std::to_string(::syscall(SYS_gettid)) + " T 123456789012 1 copied 3 of packages",
                        pid + std::to_string(workerTid) + " T -7 -1 from worker"};
  ASSERT_EQ(lines.size(), 3u);
  for (int i = 1; i < 3; ++i) {
    const std::string time = lines[i].substr(expected[i].find('T'), 19);
    EXPECT_TRUE(time >= earliest && time <= latest) << time;
    lines[i].replace(expected[i].find('T'), 19, "T");
  }
  EXPECT_EQ(lines, std::vector<std::string>(std::begin(expected), std::end(expected)));
}

// The level is read at each call, also by a service not yet initialised; an
// entry is written when its level is at most that, negative ones always.
TEST_F(DebugLog, FollowsTheDebugLevelAndWritesNegativeLevelsAlways) {
  // env null: unset
  const struct {
    const char* env;
    int level;
  } cases[] = {{nullptr, 1}, {"3", 3},  {"0", 0},  {"-5", -5}, {"", 1},
               {"abc", 1},   {"2x", 1}, {" 7", 7}, {"4 ", 1},  {"99999999999", 1}};
  EvDebug bare(nullptr);
  OpenedLog opened("Levels");
  ASSERT_TRUE(opened.ok);
  for (const auto& c : cases) {
    zutest::EnvGuard level{{"ZU_DEBUG_LEVEL", c.env ? std::optional<std::string>(c.env) : std::nullopt}};
    EXPECT_EQ(bare.getDebugLevel(), c.level) << (c.env ? c.env : "(unset)");
    for (int entry : {-100, -1, 0, c.level, c.level + 1}) {
      const std::size_t before = LogText("Levels.log").size();
      opened.log.DebugLvl("", entry, "%s", "entry");
      EXPECT_EQ(LogText("Levels.log").size() > before, entry < 0 || entry <= c.level) << entry;
    }
  }
}

// A bare "%s" is gathered, any other format goes through the formatter; both
// add a line feed only when the text has none.
TEST_F(DebugLog, WritesEachTextWholeWithOneLineFeed) {
  std::vector<std::string> texts = {"plain", "ends\n", "", "two\n\n", "multi\nline", "cr\r"};
  // Lengths around the service's in-place buffer, and well beyond it.
  for (std::size_t n = 3990; n <= 4110; ++n) texts.push_back(std::string(n - 1, 'x') + "y");
  texts.push_back(std::string(1 << 20, 'z'));
  for (const std::string& text : texts) {
    for (const char* format : {"%s", "%s%s"}) {  // an empty formatted text still makes an entry
      fs::remove(logDir_ + "/Texts.log");
      OpenedLog opened("Texts");
      ASSERT_TRUE(opened.ok);
      WriteNew(opened.log, 0, 1, format, text.c_str(), "");
      EXPECT_TRUE(TextOf(LogText("Texts.log")) == (text.empty() || text.back() != '\n' ? text + "\n" : text))
          << format << " of " << text.size() << " bytes: " << text.substr(0, 20);
    }
  }
}

TEST_F(DebugLog, NamesTheFileAfterTheBaseNameWithLogSuffix) {
  const struct {
    const char *name, *file;
  } cases[] = {
      {"ZuInstallMgr", "ZuInstallMgr.log"},   {"Install.log", "Install.log"},
      {"relative/dir/Agent", "Agent.log"},    {"/tmp/ZuInstallMgrPreInstall.log", "ZuInstallMgrPreInstall.log"},
      {"Agent.log.old", "Agent.log.old.log"}, {".log", ".log"}};
  for (const auto& c : cases) EXPECT_EQ(OpenedLog(c.name).file.path(), logDir_ + "/" + c.file) << c.name;
}

// Console events are dropped the same way, quietly.
TEST_F(DebugLog, RefusesWhatItCannotOpenSafelyAndRetriesWithTheDirectoryReadAnew) {
  fs::create_directories(logDir_);
  fs::create_symlink(root_.write("target", "untouched"), logDir_ + "/Linked.log");
  fs::create_symlink(root_ / "target", logDir_ + "/ConsoleEvents.log");
  (EvEvent() << "secret-free").CriticalEvent(3, -1, 0);
  fs::create_directory(logDir_ + "/IsDir.log");
  ASSERT_EQ(mkfifo((logDir_ + "/Fifo.log").c_str(), 0644), 0);
  // Regression: a FIFO with a reader attached opened fine.
  const int reader = ::open((logDir_ + "/Fifo.log").c_str(), O_RDONLY | O_NONBLOCK);
  for (const char* name : {"Linked", "IsDir", "Fifo", "trailing/", ""}) EXPECT_FALSE(OpenedLog(name).ok) << name;
  ::close(reader);
  EXPECT_FALSE(OpenedLog("Fifo").ok) << "blocks without a reader";

  EvDebugFileInstance file;
  EvDebug log(nullptr);
  EXPECT_FALSE(log.initialize(&file, 0, 0, false, "") || log.initialize(&file, 0x7fffffffu, 0, false, "") ||
               EvDebug(nullptr).initialize(nullptr, static_cast<unsigned>(EvDebug::getLogId("x")), 0, false, ""));
  log.DebugLvl("", -1, "%s", "not open");  // dropped
  // A directory that cannot be created (a file is in the way), root or not.
  zutest::EnvGuard blocked{{"ZU_LOG_DIR", root_.write("plainfile", "x") + "/logs"}};
  const unsigned id = static_cast<unsigned>(EvDebug::getLogId("Retry"));
  EvEvent().InfoEvent(3, -1, 0);
  EXPECT_EQ(ReadFile(root_ / "target") + ReadFile(root_ / "plainfile"), "untouchedx");
  ASSERT_TRUE(!log.initialize(&file, id, 0, false, "") && file.fd() == -1);
  zutest::EnvGuard nested{{"ZU_LOG_DIR", root_ / "a/b//c/"}};
  ASSERT_TRUE(log.initialize(&file, id, 0, false, ""));
  log.DebugLvl("", 0, "%s", "second try");
  log.CloseLogFile(true);
  EXPECT_EQ(file.fd(), -1);
  log.DebugLvl("", -1, "%s", "closed");
  log.CloseLogFile(true);  // twice is harmless
  EXPECT_EQ(TextOf(ReadFile(root_ / "a/b/c/Retry.log")), "second try\n");
}

// /var/log/zu is only ever touched in a private mount namespace, each case on an empty /var/log.
TEST_F(DebugLog, UnsetOrEmptyLogDirectoryFallsBackToVarLogZu) {
  if (!zutest::InPrivateMount("/var/log")) return;
  for (const char* value : {static_cast<const char*>(nullptr), ""}) {
    SCOPED_TRACE(value ? "ZU_LOG_DIR empty" : "ZU_LOG_DIR unset");
    std::filesystem::remove_all("/var/log/zu");
    zutest::EnvGuard unset{{"ZU_LOG_DIR", value ? std::optional<std::string>(value) : std::nullopt}};
    OpenedLog opened("Fallback");
    opened.log.DebugLvl("", 0, "%s", "default");
    EvEvent().InfoEvent(1, -1, 0);
    EXPECT_TRUE(opened.ok);
    EXPECT_EQ(opened.file.path(), "/var/log/zu/Fallback.log");
    EXPECT_NE(ReadFile("/var/log/zu/Fallback.log").find("default\n"), std::string::npos);
    EXPECT_TRUE(zutest::Exists("/var/log/zu/ConsoleEvents.log"));
  }
}

std::string Line(const char* severity, int id, const std::string& args, unsigned long locale = 0) {
  return std::string(R"({"severity":")") + severity + R"(","eventId":)" + std::to_string(id) + R"(,"localeId":)" +
         std::to_string(locale) + R"(,"args":[)" + args + "]}\n";
}

TEST_F(ConsoleEvent, AppendsOneLinePerEventCreatingTheDirectoryArgumentsStayWithTheEvent) {
  fs::create_directories(logDir_);
  std::ofstream(logDir_ + "/ConsoleEvents.log") << "kept\n";
  EvEvent first, event;
  first.setLocaleId(1033);
  (first << 7L << "disk full").InfoEvent(7, -1, 0);
  (event << "first" << -42L << "" << 0L).CriticalEvent(65000, -1, 0);
  event.InfoEvent(-3, -1, 0);
  const std::string args = R"("first",-42,"",0)";
  EXPECT_EQ(LogText("ConsoleEvents.log"), "kept\n" + Line("information", 7, R"(7,"disk full")", 1033) +
                                              Line("critical", 65000, args) + Line("information", -3, args));
  fs::remove_all(root_.path());
  EvEvent().InfoEvent(2, -1, 0);
  EXPECT_EQ(LogText("ConsoleEvents.log"), Line("information", 2, ""));
}

// Texts escaped as JSON, integers read as little-endian 64 bits, values
// copied when added, and unusable arguments kept in place as null.
TEST_F(ConsoleEvent, RendersEveryArgumentInOrder) {
  EvEvent event;
  event << "say \"hi\" C:\\dir\\ tab\tline\ncr\r\x01\x1f"
        << "del\x7f caf\xc3\xa9 \xff\xfe </script>";
  // Integers are read as little-endian 64 bits.
  const unsigned char bytes[][8] = {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08},
                                    {0, 0, 0, 0, 0, 0, 0, 0x80},
                                    {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f}};
  for (const auto& b : bytes) event.addArgument(b, EvEvent::kInteger64);
  std::string expected = R"("say \"hi\" C:\\dir\\ tab\tline\ncr\r\u0001\u001f",)"  // invalid UTF-8 as U+FFFD
                         "\"del\x7f caf\xc3\xa9 \xef\xbf\xbd\xef\xbf\xbd "
                         "</script>\",578437695752307201,-9223372036854775808,9223372036854775807";
  char text[] = "original";
  long long host = 0x0102030405060708LL;
  littleEndianLongLong(&host);
  littleEndianLongLong(nullptr);  // tolerated
  // The last, a type code this library does not know.
  for (const auto& [argument, type] : {std::pair<const void*, int>{text, EvEvent::kText},
                                       {&host, EvEvent::kInteger64},
                                       {nullptr, EvEvent::kText},
                                       {nullptr, EvEvent::kInteger64},
                                       {text, 3}})
    event.addArgument(argument, type);
  event << LONG_MIN << LONG_MAX;
  std::strcpy(text, "changed!");
  host = 0;
  expected += R"(,"original",72623859790382856,"",null,null,-9223372036854775808,9223372036854775807)";
  event.CriticalEvent(2, -1, 0);
  EXPECT_EQ(LogText("ConsoleEvents.log"), Line("critical", 2, expected));
}

// The password cipher: both forms and their conversions, the length protocol,
// and refusal of anything but canonical texts under the right key.
using Operation = int (ZUPassword::*)(const char*, char*, unsigned long*);

// Error number as callers see it in the wrappers' texts (34: no room).
constexpr unsigned long kBadInput = 22;

// Written by an earlier build: the built-in keys must not change.
constexpr char kPinnedV3[] = "V3:ZZlrLfECwO4fgg1fvcdm8+iojYWsmZOFr5V7uCb0nasflw==";
constexpr char kPinnedV8[] = "V8:q/MSGgAfZJ/dMz+CelVgGLzEAjnp2iIEvEMrjBZ35gZmwQ==";

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char Flipped(char c, int bits) { return kAlphabet[(std::strchr(kAlphabet, c) - kAlphabet) ^ bits]; }

// Calls as the password wrappers do: a size query, then exactly that room,
// which must agree. Returns the text, or "error N" when the query refuses.
std::string Call(Operation operation, const std::string& input) {
  ZUPassword cipher(0);
  unsigned long length = 0;
  if ((cipher.*operation)(input.c_str(), nullptr, &length) == 0)
    return "error " + std::to_string(cipher.getLastError());
  std::vector<char> buffer(length + 1, '#');
  unsigned long room = length;
  EXPECT_NE((cipher.*operation)(input.c_str(), buffer.data(), &room), 0)
      << "refused after the size query, error " << cipher.getLastError();
  EXPECT_TRUE(room == length && buffer[length] == '\0') << room;
  return std::string(buffer.data(), room);
}

TEST(PasswordCipher, RoundTripsAndConvertsBothFormsWithAFreshNonce) {
  std::string longText;
  for (int i = 0; i < 1500; ++i) longText += static_cast<char>('!' + i % 94);
  const struct {
    Operation encrypt, toOther, toSame;
    const char *prefix, *otherPrefix;
  } forms[] = {
      {&ZUPassword::encrypt, &ZUPassword::ConvertToV8, &ZUPassword::ConvertToV3, "V3:", "V8:"},
      {&ZUPassword::encryptV8, &ZUPassword::ConvertToV3, &ZUPassword::ConvertToV8, "V8:", "V3:"},
  };
  for (const auto& form : forms) {
    // UTF-8 of 1 to 4 bytes, markup and controls, and a long text.
    for (const std::string& text :
         {std::string(), std::string("x"), std::string("p\xc3\xa4sswo\xcc\x88rd \xe2\x82\xac \xf0\x9f\x94\x91"),
          std::string("<&\"'> \t\r\n\\"), longText}) {
      SCOPED_TRACE(std::string(form.prefix) + " length " + std::to_string(text.size()));
      const std::string encrypted = Call(form.encrypt, text), converted = Call(form.toOther, encrypted);
      EXPECT_EQ(encrypted.substr(0, 3) + converted.substr(0, 3), std::string(form.prefix) + form.otherPrefix)
          << encrypted << " " << converted;
      // base64 of a 12-byte nonce, the text and a 16-byte tag, padded.
      EXPECT_EQ(encrypted.size(), 3 + 4 * ((12 + text.size() + 16 + 2) / 3));
      EXPECT_NE(Call(form.encrypt, text).substr(3, 16), encrypted.substr(3, 16)) << "the nonce repeated";
      EXPECT_EQ(Call(&ZUPassword::decrypt, encrypted) + "|" + Call(&ZUPassword::decrypt, converted) + "|" +
                    Call(form.toSame, encrypted),
                text + "|" + text + "|error 22");
    }
  }
  for (const char* text : {kPinnedV3, kPinnedV8}) EXPECT_EQ(Call(&ZUPassword::decrypt, text), "pinned") << text;
}

// A refused text is refused by a call with room, which touches neither the
// buffer nor the length; a malformed one by the size query as well, while a
// well-formed forgery passes the query (it reads only the shape).
void ExpectRefused(Operation operation, const std::string& input, bool wellFormed) {
  ZUPassword cipher(0);
  unsigned long length = 0;
  EXPECT_EQ((cipher.*operation)(input.c_str(), nullptr, &length) != 0, wellFormed);
  EXPECT_TRUE(wellFormed || cipher.getLastError() == kBadInput) << cipher.getLastError();
  char buffer[256] = {'#'};
  length = sizeof buffer - 1;
  EXPECT_EQ((cipher.*operation)(input.c_str(), buffer, &length), 0);
  EXPECT_EQ(std::make_tuple(cipher.getLastError(), length, buffer[0]),
            std::make_tuple(kBadInput, sizeof buffer - 1, '#'));
}

TEST(PasswordCipher, RefusesMalformedTextsAndAnyFlippedBit) {
  const std::string body = Call(&ZUPassword::encrypt, "s").substr(3),
                    v8 = Call(&ZUPassword::encryptV8, "s");  // 29-byte payload: one '='
  ASSERT_EQ(body.substr(body.size() - 2, 1).find('='), std::string::npos);
  // Same payload bits, but unused bits before the padding set: not canonical.
  std::string loose = body, loose2 = kPinnedV3 + 3;  // "...lw==": four unused bits in 'w'
  loose[loose.size() - 2] = Flipped(loose[loose.size() - 2], 1);
  loose2[loose2.size() - 3] = Flipped(loose2[loose2.size() - 3], 1);
  struct Case {
    std::string text;
    bool wellFormed;
  };
  std::vector<Case> cases = {
      {"", false},
      {"V3", false},
      {"V3:", false},
      {"V5:" + body, false},
      {"v3:" + body, false},
      {body, false},
      {"V3:" + body.substr(0, 8) + " " + body.substr(8), false},
      {"V3:" + body + "\n", false},
      {"V3:" + body.substr(0, 8) + "*" + body.substr(9), false},
      {"V3:" + body.substr(0, 8) + "-" + body.substr(9), false},
      {"V3:" + body.substr(0, body.size() - 1), false},
      {"V3:" + body.substr(0, 6) + "==" + body.substr(8), false},
      {"V3:" + loose, false},
      {"V3:" + loose2, false},
      {"V3:" + body.substr(0, body.size() - 4), false},
      {"V3:" + std::string(36, 'A'), false},        // 27 bytes: shorter than nonce and tag
      {"V3:" + std::string(38, 'A') + "==", true},  // nonce and tag only
      {"V8:" + body, true},
      {"V3:" + v8.substr(3), true},  // the other form's key
  };
  // Every bit of every base64 character, so each payload bit is changed once.
  for (const std::string& text : {"V3:" + body, v8})
    for (std::size_t at = 3; at < text.size() - 2; ++at)
      for (int bit = 0; bit < 6; ++bit)
        cases.push_back({text.substr(0, at) + Flipped(text[at], 1 << bit) + text.substr(at + 1), true});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ExpectRefused(&ZUPassword::decrypt, c.text, c.wellFormed);
    // ConvertToV8 takes only V3: other texts are refused by their shape.
    ExpectRefused(&ZUPassword::ConvertToV8, c.text, c.wellFormed && c.text.compare(0, 3, "V3:") == 0);
  }
}

TEST(PasswordCipher, RefusesNullArgumentsAStrayLengthAndTooLittleRoom) {
  const struct {
    Operation operation;
    std::string input;
  } cases[] = {
      {&ZUPassword::encrypt, "room-check"},
      {&ZUPassword::encryptV8, "room-check"},
      {&ZUPassword::decrypt, Call(&ZUPassword::encryptV8, "room-check")},
      {&ZUPassword::ConvertToV3, Call(&ZUPassword::encryptV8, "room-check")},
      {&ZUPassword::ConvertToV8, Call(&ZUPassword::encrypt, "room-check")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    ZUPassword cipher(0);
    unsigned long needed = 5;  // a null output is a size query only with a length of 0
    // Each refused call gives its error number; a refusal for want of room leaves buffer and length alone.
    const auto refused = [&](const char* input, char* out, unsigned long* length) {
      return (cipher.*c.operation)(input, out, length) == 0 ? std::to_string(cipher.getLastError()) : "accepted";
    };
    EXPECT_EQ(refused(c.input.c_str(), nullptr, &needed) + " " + std::to_string(needed), "22 5");
    needed = 0;
    ASSERT_NE((cipher.*c.operation)(c.input.c_str(), nullptr, &needed), 0);
    std::vector<char> buffer(needed + 8, '#');
    unsigned long room = needed + 8, small = needed - 1;
    EXPECT_EQ(refused(nullptr, buffer.data(), &room) + refused(c.input.c_str(), buffer.data(), nullptr) +
                  refused(c.input.c_str(), buffer.data(), &small),
              "222234");
    EXPECT_EQ(std::string(buffer.data(), buffer.size()) + std::to_string(small),
              std::string(buffer.size(), '#') + std::to_string(needed - 1));
    room = needed + 5;  // more room than needed: *length becomes what was written
    ASSERT_NE((cipher.*c.operation)(c.input.c_str(), buffer.data(), &room), 0);
    EXPECT_TRUE(room == needed && buffer[needed] == '\0' && buffer[needed + 1] == '#') << room;
  }
  // An empty plaintext fits no room at all, but a terminator is still written.
  ZUPassword cipher(0);
  char one = '#';
  unsigned long room = 0;
  ASSERT_NE(cipher.decrypt(Call(&ZUPassword::encryptV8, "").c_str(), &one, &room), 0);
  EXPECT_TRUE(room == 0 && one == '\0');
}

}  // namespace
