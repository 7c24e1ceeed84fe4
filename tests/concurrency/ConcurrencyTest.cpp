// Threads and processes using the library at once. Run under TSan by `make
// sanitize`; here every thread must get exactly its own answers and every
// entry must arrive whole, once.

#include <sys/file.h>
#include <sys/mount.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <sstream>
#include <thread>

#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"
#include "ZUInstallXmlUtils.h"
#include "ZuRuntime.h"
#include "common/TestSupport.h"

namespace {

constexpr int kThreads = 8;

// Starts every body at the same moment and joins them all.
void RunTogether(const std::function<void(int)>& body) {
  std::atomic<int> waiting{kThreads};
  std::vector<std::thread> pool;
  for (int t = 0; t < kThreads; ++t)
    pool.emplace_back([&, t] {
      for (waiting.fetch_sub(1); waiting.load() > 0;) std::this_thread::yield();
      body(t);
    });
  for (std::thread& thread : pool) thread.join();
}

// Each thread's own request and password, so a mix-up shows.
TEST(Concurrent, ThreadsLoadReadAndConvertTheirOwnRequests) {
  std::vector<int> mismatches(kThreads, 0);
  RunTogether([&](int t) {
    const std::string n = std::to_string(t);
    for (int round = 0; round < 30; ++round) {
      const std::string plain = "password-" + n + "-" + std::to_string(round);
      char *v8 = nullptr, error[1024] = {};
      ZUInstallManager::ClientSetup request, *pointer = &request;
      std::string text, name, back;
      if (ZUEncryptPassword_V8(plain.c_str(), &v8, error) != 0 ||
          ConvertStringToClientSetup(R"(<ClientSetup jobId=")" + n +
                                         R"("><clientComposition><clientInfo><client clientPassword=")" + v8 +
                                         R"("><clientEntity clientName="client-)" + n +
                                         R"("/></client></clientInfo></clientComposition></ClientSetup>)",
                                     &request, text) != 0 ||
          XmlUtils::GetJobId(&request) != t || XmlUtils::GetClientName(&request, 0, name) != 0 ||
          name != "client-" + n || ReEncryptInputRequestNetPwdV8ToV3(pointer, text) != 0 ||
          XmlUtils::GetClientPassword(&request, 0, text) != 0 || text.compare(0, 3, "V3:") != 0 ||
          UtilDecrypt(text.c_str(), back) != 0 || back != plain)
        ++mismatches[t];
      delete[] v8;
    }
  });
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

TEST(Concurrent, LogIdsAreStablePerNameAndDistinct) {
  constexpr int kNames = 64;
  std::vector<std::vector<int>> seen(kThreads, std::vector<int>(kNames, 0));
  RunTogether([&](int t) {
    // Each thread walks the names from its own starting point, so first registrations race.
    for (int i = 0; i < 4 * kNames; ++i) {
      const int name = (i + t * 7) % kNames, id = EvDebug::getLogId(("concurrent-log-" + std::to_string(name)).c_str());
      seen[t][name] = seen[t][name] == 0 || seen[t][name] == id ? id : -2;
    }
  });
  const std::set<int> ids(seen[0].begin(), seen[0].end());
  EXPECT_TRUE(ids.size() == kNames && *ids.begin() > 0) << "two names share an id, or one was refused";
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t], seen[0]) << "thread " << t;
  EXPECT_EQ(EvDebug::getLogId(nullptr), -1);
}

// Writer w's entry e, "<w e payload>": long ones past the runtime's 4 KiB in-place buffer, 600 KB ones from writers
// 10 and 11, one of 3 MiB from writer 20.
std::string Payload(int w, int e) {
  return std::string(w == 20 ? 3 << 20 : w >= 10 ? 600000 : e % 10 == 0 ? 6000 : 40 + e % 50, 'a' + (w * 7 + e) % 26);
}
std::string Entry(int w, int e) {
  return "<" + std::to_string(w) + " " + std::to_string(e) + " " + Payload(w, e) + ">";
}

// The writer and entry of a line that holds exactly one whole entry and nothing after it but a closing quote or
// bracket of the line's own; {-1, -1} for any other line.
std::pair<int, int> EntryOf(const std::string& line) {
  const std::size_t open = line.find('<'), close = line.rfind('>');
  std::istringstream in(open < close ? line.substr(open + 1, close - open - 1) : "");
  int w = -1, e = -1;
  std::string text;
  const bool whole = close == line.find_last_not_of("\"]}") && in >> w >> e >> text && text == Payload(w, e);
  return whole ? std::pair(w, e) : std::pair(-1, -1);
}

// Every writer of a shared file, run by several threads at once.
TEST(Concurrent, EveryWriterKeepsEntriesWholeAndLosesNone) {
  constexpr int kEntries = 200;
  zutest::ScratchDir dir;
  zutest::PreInstallPathGuard preInstall;
  zutest::EnvGuard environment{
      {"ZU_LOG_DIR", dir.path().string()}, {"ZU_FOCUS", std::nullopt}, {"ZU_DEBUG_LEVEL", "5"}};
  using Texts = const std::vector<std::string>&;
  const std::tuple<std::string, std::function<void(int w, Texts texts)>> cases[] = {
      {dir / "Shared.log",
       [](int, Texts texts) {  // one debug log service per thread
         EvDebugFileInstance file;
         EvDebug log(nullptr);
         if (!log.initialize(&file, static_cast<unsigned>(EvDebug::getLogId("Shared")), 0, false, "")) return;
         // A bare "%s" is gathered, any other format goes through the formatter.
         for (std::size_t e = 0; e < texts.size(); ++e)
           log.DebugLvl("", 0, e % 2 ? "%s" : "%s%s", texts[e].c_str(), "");
       }},
      {zutest::kPreInstallPath,
       [](int, Texts texts) {
         ZUSimLog log("events");
         for (const std::string& text : texts) log.LogMessageV("f", 0, "%s", text.c_str());
       }},
      {dir / "ConsoleEvents.log", [](int w, Texts texts) {
         ZUSimLog log("events");
         for (const std::string& text : texts)
           log.SendEventToConsole(1033ul, 100L + w, EVENT_STATUS, "%s", text.c_str());
       }}};
  for (const auto& [file, writer] : cases) {
    SCOPED_TRACE(file);
    RunTogether([&, &writer = writer](int w) {
      std::vector<std::string> texts;
      for (int e = 0; e < kEntries; ++e) texts.push_back(Entry(w, e));
      writer(w, texts);
    });
    std::set<std::pair<int, int>> seen;
    for (const std::string& line : zutest::SplitLines(zutest::ReadFile(file))) {
      const auto [w, e] = EntryOf(line);
      EXPECT_TRUE(w >= 0 && w < kThreads && e < kEntries && seen.emplace(w, e).second)
          << "torn or twice: " << line.substr(0, 120);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kEntries));
  }
}

// On a disk that runs full (a 2 MiB tmpfs over a private /tmp), each shared file: first a writer whose entry the
// disk cuts short is held in its repair (strace delays its ftruncate) while room is freed and another entry
// written; then, for two seconds, writers of 600 KB and of small entries and a program filling and freeing the disk.
// Under the file's lock an observer finds every line one whole entry and all it saw before still there; it removes
// a file grown past 1 MiB, as rotation does. strace is a test dependency.
TEST(Concurrent, OnAFullDiskNoEntryIsTornOrLost) {
  if (!zutest::InPrivateMount("/tmp")) return;
  using Write = void (*)(const std::string&);
  const std::tuple<const char*, std::string, Write> files[] = {
      {"Instance001", "/tmp/logs/shared.log",
       [](const std::string& t) { ZUSimLog("shared").LogXML("", t.c_str(), -1, 0); }},
      {nullptr, zutest::kPreInstallPath, [](const std::string& t) { ZUSimLog("shared").LogXML("", t.c_str(), -1, 0); }},
      {nullptr, "/tmp/logs/ConsoleEvents.log",
       [](const std::string& t) { ZUSimLog("shared").SendEventToConsole(1, 7, EVENT_STATUS, "%s", t.c_str()); }}};
  if (const char* row = std::getenv("ZU_HELD_WRITER")) return std::get<2>(files[std::atoi(row)])(Entry(20, 0));
  ASSERT_EQ(::mount("tmpfs", "/tmp", "tmpfs", 0, "size=2m"), 0);
  const zutest::EnvGuard logs{{"ZU_LOG_DIR", "/tmp/logs"}};
  const std::string held = " strace -qq -e trace=ftruncate -e inject=ftruncate:delay_enter=500000 " +
                           std::filesystem::read_symlink("/proc/self/exe").string() +
                           " --gtest_filter=*.*FullDisk* 2>&1";
  for (int row = 0; row < 3; ++row) {
    const auto& [focus, path, write] = files[row];
    SCOPED_TRACE(path);
    const zutest::EnvGuard env{{"ZU_FOCUS", focus ? std::optional<std::string>(focus) : std::nullopt}};
    write(Entry(0, 0));
    std::ofstream("/tmp/room") << std::string(1 << 16, 'r');
    FILE* said = ::popen(("ZU_HELD_WRITER=" + std::to_string(row) + held + " >/dev/null").c_str(), "r");
    std::string trace;
    for (int c = 0; said && trace.find("ftruncate(") == std::string::npos && (c = std::fgetc(said)) != EOF;) trace += c;
    ::unlink("/tmp/room"), write(Entry(0, 1));
    EXPECT_TRUE(said != nullptr && ::pclose(said) != -1) << trace;
    std::vector<std::pair<int, int>> entries;
    for (const std::string& line : zutest::SplitLines(zutest::ReadFile(path))) entries.push_back(EntryOf(line));
    EXPECT_EQ(entries, (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}}));
    ::unlink(path.c_str());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::vector<pid_t> children;
    for (int w : {10, 11, 0, 1, -1}) {
      if (children.emplace_back(::fork()) != 0) continue;
      const std::string chunk(1 << 16, 'f');
      for (int e = 0; std::chrono::steady_clock::now() < deadline; ++e) {
        std::ofstream fill(w < 0 ? "/tmp/fill" : "");  // up to 1.5 MiB, 64 KiB at a time, then removed
        for (int n = 0; fill && n < 24; ++n) fill << chunk << std::flush;
        w >= 0 ? write(Entry(w, e)) : (void)::unlink("/tmp/fill");
      }
      ::_exit(0);
    }
    std::string seen;  // the whole lines of the file at the last observation
    const auto observe = [&seen, &path = path] {
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) return;
      ::flock(fd, LOCK_EX);
      std::string text = zutest::ReadFile("/proc/self/fd/" + std::to_string(fd));
      text.resize(text.rfind('\n') + 1);
      EXPECT_EQ(text.compare(0, seen.size(), seen), 0) << "an entry seen whole is gone";
      for (const std::string& line : zutest::SplitLines(text.substr(std::min(seen.size(), text.size()))))
        EXPECT_NE(EntryOf(line).first, -1) << "torn, " << line.size() << " bytes: " << line.substr(0, 80);
      seen = text.size() > (1 << 20) && ::unlink(path.c_str()) == 0 ? "" : text;
      ::close(fd);
    };
    while (std::chrono::steady_clock::now() < deadline && !::testing::Test::HasFailure()) observe(), ::usleep(10000);
    for (const pid_t child : children) EXPECT_EQ(::waitpid(child, nullptr, 0), child);
    observe();
    ::unlink(path.c_str());
  }
}

}  // namespace
