// The runtime: its log services and the password cipher. The debug log: entry
// format, level filter, the file it opens and refuses, and the log directory's
// default. Console events: one JSON line per event in ConsoleEvents.log. Each
// log test has a private log directory, the other variables cleared.
#include <fcntl.h>
#include <sys/syscall.h>

#include <climits>
#include <cstdarg>
#include <cstring>
#include <regex>
#include <thread>
#include <tuple>

#include "ZuRuntime.h"
#include "common/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using zutest::ReadFile;

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

// What follows the first entry's fields "PID TID DATE TIME JOBID LEVEL ", to the end of the log (the entry
// test checks the fields themselves).
std::string TextOf(const std::string& log) {
  std::size_t at = 0;
  for (int field = 0; field < 6 && at != std::string::npos; ++field) at = log.find(' ', at + (field != 0));
  return at == std::string::npos ? "<no entry>" : log.substr(at + 1);
}

TEST_F(DebugLog, EntryCarriesPidTidLocalTimeJobLevelAndTextAppendedToAnExistingLog) {
  fs::create_directories(logDir_);
  std::ofstream(logDir_ + "/EntryFormat.log") << "earlier line\n";
  fs::permissions(logDir_ + "/EntryFormat.log", fs::perms(0640));  // not loose: kept in place
  OpenedLog opened("EntryFormat");
  const auto now = [](const std::time_t t = std::time(nullptr)) {
    char text[20];
    struct tm local;
    return std::string(text, std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", localtime_r(&t, &local)));
  };
  const std::string earliest = now();
  WriteNew(opened.log, 1, 123456789012LL, "copied %d of %s", 3, "packages");
  opened.log.setJobId(-7);
  long tid = 0;
  std::thread([&] { opened.log.DebugLvl("", -1, "%s", "from worker"), tid = ::syscall(SYS_gettid); }).join();
  const std::string latest = now(), pid = std::to_string(getpid()) + " ", time = " (\\S+ \\S+) ",
                    text = LogText("EntryFormat.log");
  std::smatch stamps;
  ASSERT_TRUE(std::regex_match(
      text, stamps,
      std::regex("earlier line\n" + pid + std::to_string(::syscall(SYS_gettid)) + time +
                 "123456789012 1 copied 3 of packages\n" + pid + std::to_string(tid) + time + "-7 -1 from worker\n")))
      << text;
  for (int i : {1, 2})
    EXPECT_TRUE(stamps.str(i).size() == 19 && stamps[i] >= earliest && stamps[i] <= latest) << stamps[i];
}

// The level is read at each call, also by a service not yet initialised; an
// entry is written when its level is at most that, negative ones always.
TEST_F(DebugLog, FollowsTheDebugLevelAndWritesNegativeLevelsAlways) {
  const std::pair<const char*, int> cases[] = {{nullptr, 1}, {"3", 3},  {"0", 0},  {"-5", -5}, {"", 1},  // null: unset
                                               {"abc", 1},   {"2x", 1}, {" 7", 7}, {"4 ", 1},  {"99999999999", 1}};
  OpenedLog opened("Levels");
  for (const auto& [env, level] : cases) {
    zutest::EnvGuard guard{{"ZU_DEBUG_LEVEL", env ? std::optional<std::string>(env) : std::nullopt}};
    EXPECT_EQ(EvDebug(nullptr).getDebugLevel(), level) << (env ? env : "(unset)");
    for (int entry : {-100, -1, 0, level, level + 1}) {
      const std::size_t before = LogText("Levels.log").size();
      opened.log.DebugLvl("", entry, "%s", "entry");
      EXPECT_EQ(LogText("Levels.log").size() > before, entry < 0 || entry <= level) << entry;
    }
  }
}

// A bare "%s" is gathered, any other format goes through the formatter; both
// add a line feed only when the text has none. Lengths around the service's
// in-place buffer, and well beyond it.
TEST_F(DebugLog, WritesEachTextWholeWithOneLineFeed) {
  std::vector<std::string> texts = {"plain", "ends\n", "", "two\n\n", "multi\nline", "cr\r", std::string(1 << 20, 'z')};
  for (std::size_t n = 3990; n <= 4110; ++n) texts.push_back(std::string(n - 1, 'x') + "y");
  for (const std::string& text : texts) {
    for (const char* format : {"%s", "%s%s"}) {  // an empty formatted text still makes an entry
      fs::remove(logDir_ + "/Texts.log");
      OpenedLog opened("Texts");
      WriteNew(opened.log, 0, 1, format, text.c_str(), "");
      EXPECT_TRUE(TextOf(LogText("Texts.log")) == (text.empty() || text.back() != '\n' ? text + "\n" : text))
          << format << " of " << text.size() << " bytes: " << text.substr(0, 20);
    }
  }
}

// Console events are dropped the same way, quietly.
TEST_F(DebugLog, RefusesWhatItCannotOpenSafelyAndRetriesWithTheDirectoryReadAnew) {
  fs::create_directories(logDir_ + "/IsDir.log");
  fs::create_symlink(root_.write("target", "untouched"), logDir_ + "/Linked.log");
  fs::create_symlink(root_ / "target", logDir_ + "/ConsoleEvents.log");
  (EvEvent() << "secret-free").CriticalEvent(3, -1, 0);
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
std::string Line(const char* severity, int id, const std::string& args, unsigned long locale = 0) {
  return std::string(R"({"severity":")") + severity + R"(","eventId":)" + std::to_string(id) + R"(,"localeId":)" +
         std::to_string(locale) + R"(,"args":[)" + args + "]}\n";
}

// One line per event appended to what is there, the directory created anew;
// texts escaped as JSON (invalid UTF-8 as U+FFFD), integers read as
// little-endian 64 bits, values copied when added and kept with the event,
// and unusable arguments (null, a type code this library does not know) kept
// in place as null.
TEST_F(ConsoleEvent, AppendsOneLinePerEventRenderingEveryArgumentInOrder) {
  fs::create_directories(logDir_);
  std::ofstream(logDir_ + "/ConsoleEvents.log") << "kept\n";
  fs::permissions(logDir_ + "/ConsoleEvents.log", fs::perms(0600));
  EvEvent event;
  event.setLocaleId(1033);
  event << "say \"hi\" C:\\dir\\ tab\tline\ncr\r\x01\x1f"
        << "del\x7f caf\xc3\xa9 \xff\xfe\xc0\xaf </script>\xc3";  // overlong, then cut short
  const unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};        // the extremes come through operator<< below
  char text[] = "original";
  long long host = 0x0102030405060708LL;
  littleEndianLongLong(&host);
  littleEndianLongLong(nullptr);  // tolerated
  const std::pair<const void*, int> arguments[] = {{bytes, 9},    {text, 11},   {&host, 9},
                                                   {nullptr, 11}, {nullptr, 9}, {text, 3}};
  for (const auto& [argument, type] : arguments) event.addArgument(argument, type);
  event << LONG_MIN << LONG_MAX;
  std::strcpy(text, "changed!");
  host = 0;
  event.CriticalEvent(65000, -1, 0);
  event.InfoEvent(-3, -1, 0);
  const std::string args =
      R"("say \"hi\" C:\\dir\\ tab\tline\ncr\r\u0001\u001f","del)"
      "\x7f caf\xc3\xa9 \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd </script>\xef\xbf\xbd\",578437695752307201,"
      R"("original",72623859790382856,"",null,null,-9223372036854775808,9223372036854775807)";
  EXPECT_EQ(LogText("ConsoleEvents.log"),
            "kept\n" + Line("critical", 65000, args, 1033) + Line("information", -3, args, 1033));
  fs::remove_all(root_.path());
  EvEvent().InfoEvent(2, -1, 0);
  EXPECT_EQ(LogText("ConsoleEvents.log"), Line("information", 2, ""));
}

// The password cipher: both forms and their conversions, the length protocol,
// and refusal of anything but canonical texts under the right key.
using Operation = int (ZUPassword::*)(const char*, char*, unsigned long*);
constexpr unsigned long kBadInput = 22;  // error numbers as callers see them in the wrappers' texts (34: no room)
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
  EXPECT_NE((cipher.*operation)(input.c_str(), buffer.data(), &room), 0) << "refused after the size query";
  EXPECT_TRUE(room == length && buffer[length] == '\0') << room;
  return std::string(buffer.data(), room);
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

// Round trips and conversions are the wrappers' tests' to show; here: the
// shape (base64 of a 12-byte nonce, the text and a 16-byte tag), a fresh nonce
// each time, the built-in keys unchanged, and every other text refused.
TEST(PasswordCipher, RefusesMalformedTextsAndAnyFlippedBit) {
  const std::string body = Call(&ZUPassword::encrypt, "s").substr(3),
                    v8 = Call(&ZUPassword::encryptV8, "s");  // 29-byte payload: one '='
  ASSERT_EQ(body.substr(body.size() - 2, 1).find('='), std::string::npos);
  EXPECT_TRUE(body.size() == 40 && v8.size() == 43 &&
              Call(&ZUPassword::encrypt, "s").substr(3, 16) != body.substr(0, 16));
  for (const char* text : {kPinnedV3, kPinnedV8}) EXPECT_EQ(Call(&ZUPassword::decrypt, text), "pinned") << text;
  // Same payload bits, but unused bits before the padding set: not canonical.
  std::string loose = body, loose2 = kPinnedV3 + 3;  // "...lw==": four unused bits in 'w'
  loose[loose.size() - 2] = Flipped(loose[loose.size() - 2], 1);
  loose2[loose2.size() - 3] = Flipped(loose2[loose2.size() - 3], 1);
  const std::string head = "V3:" + body.substr(0, 8), tail = body.substr(9);
  // Malformed; then well-formed: nonce and tag only, the other form's prefix or key, and every bit of every
  // base64 character flipped, so each payload bit is changed once.
  std::vector<std::pair<std::string, bool>> cases;
  for (const std::string& text :
       {std::string(), std::string("V3"), std::string("V3:"), "V5:" + body, "v3:" + body, body,
        head + " " + body.substr(8), "V3:" + body + "\n", head + "*" + tail, head + "-" + tail,
        "V3:" + body.substr(0, body.size() - 1), "V3:" + body.substr(0, 6) + "==" + body.substr(8), "V3:" + loose,
        "V3:" + loose2, "V3:" + body.substr(0, body.size() - 4),
        "V3:" + std::string(36, 'A')})  // 27 bytes: shorter than nonce and tag
    cases.push_back({text, false});
  for (const std::string& text : {"V3:" + std::string(38, 'A') + "==", "V8:" + body, "V3:" + v8.substr(3)})
    cases.push_back({text, true});
  for (const std::string& text : {"V3:" + body, v8})
    for (std::size_t at = 3; at < text.size() - 2; ++at)
      for (int bit = 0; bit < 6; ++bit)
        cases.push_back({text.substr(0, at) + Flipped(text[at], 1 << bit) + text.substr(at + 1), true});
  for (const auto& [text, wellFormed] : cases) {
    SCOPED_TRACE(text);
    ExpectRefused(&ZUPassword::decrypt, text, wellFormed);
    // ConvertToV8 takes only V3: other texts are refused by their shape.
    ExpectRefused(&ZUPassword::ConvertToV8, text, wellFormed && text.compare(0, 3, "V3:") == 0);
  }
}

// A stray length beside a null output, or too little room, is refused with
// its error number and leaves buffer and length alone; more room than needed
// gets the length written; an empty plaintext still gets its terminator.
TEST(PasswordCipher, RefusesAStrayLengthAndTooLittleRoomAndReportsTheLengthWritten) {
  const std::string v3 = Call(&ZUPassword::encrypt, "room-check"), empty = Call(&ZUPassword::encrypt, "");
  ZUPassword cipher(0);
  char buffer[16] = "#";
  unsigned long lengths[] = {5, 9, 15, 0};  // "room-check" has 10 characters
  const bool done[] = {
      cipher.decrypt(v3.c_str(), nullptr, &lengths[0]) != 0, cipher.getLastError() == 22,
      cipher.decrypt(v3.c_str(), buffer, &lengths[1]) != 0,  cipher.getLastError() == 34 && *buffer == '#',
      cipher.decrypt(v3.c_str(), buffer, &lengths[2]) != 0,  cipher.decrypt(empty.c_str(), buffer, &lengths[3]) != 0};
  EXPECT_EQ(std::vector<bool>(std::begin(done), std::end(done)),
            std::vector<bool>({false, true, false, true, true, true}));
  EXPECT_EQ(std::vector<unsigned long>(std::begin(lengths), std::end(lengths)),
            std::vector<unsigned long>({5, 9, 10, 0}));
  EXPECT_EQ(buffer[0], '\0');
}

}  // namespace
