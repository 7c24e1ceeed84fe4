// Threads and processes using the library at once. Run under TSan by `make
// sanitize`; here every thread must get exactly its own answers and every
// entry must arrive whole, once.

#include <atomic>
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

// Every writer of a shared file, run by several threads (or processes, when
// the row says so) at once: writer w writes entry e as "<w e payload>", long
// ones past the runtime's 4 KiB in-place buffer.
TEST(Concurrent, EveryWriterKeepsEntriesWholeAndLosesNone) {
  constexpr int kEntries = 200;
  const auto payload = [](int w, int e) {
    return std::string(e % 10 == 0 ? 6000 : 40 + e % 50, static_cast<char>('a' + (w * 7 + e) % 26));
  };
  zutest::ScratchDir dir;
  zutest::PreInstallPathGuard preInstall;
  zutest::EnvGuard environment{
      {"ZU_LOG_DIR", dir.path().string()}, {"ZU_FOCUS", std::nullopt}, {"ZU_DEBUG_LEVEL", "5"}};
  using Texts = const std::vector<std::string>&;
  const std::tuple<std::string, bool, std::function<void(int w, Texts texts)>> cases[] = {
      {dir / "Shared.log", false,
       [](int, Texts texts) {  // one debug log service per thread
         EvDebugFileInstance file;
         EvDebug log(nullptr);
         if (!log.initialize(&file, static_cast<unsigned>(EvDebug::getLogId("Shared")), 0, false, "")) return;
         // A bare "%s" is gathered, any other format goes through the formatter.
         for (std::size_t e = 0; e < texts.size(); ++e)
           log.DebugLvl("", 0, e % 2 ? "%s" : "%s%s", texts[e].c_str(), "");
       }},
      {zutest::kPreInstallPath, false,
       [](int, Texts texts) {
         ZUSimLog log("events");
         for (const std::string& text : texts) log.LogMessageV("f", 0, "%s", text.c_str());
       }},
      {dir / "ConsoleEvents.log", false,
       [](int w, Texts texts) {
         ZUSimLog log("events");
         for (const std::string& text : texts)
           log.SendEventToConsole(1033ul, 100L + w, EVENT_STATUS, "%s", text.c_str());
       }},
      {dir / "shared.log", true, [&dir](int, Texts texts) {
         ZUSimLog log(dir / "shared.log");
         for (const std::string& text : texts) log.LogMessagePreInstall((text + "\n").c_str());
       }}};
  for (const auto& [file, processes, writer] : cases) {
    SCOPED_TRACE(file);
    const auto write = [&, &writer = writer](int w) {
      std::vector<std::string> texts;
      for (int e = 0; e < kEntries; ++e)
        texts.push_back("<" + std::to_string(w) + " " + std::to_string(e) + " " + payload(w, e) + ">");
      writer(w, texts);
    };
    if (!processes) RunTogether(write);
    std::vector<pid_t> children;
    for (int w = 0; processes && w < kThreads; ++w)
      if (children.emplace_back(fork()) == 0) write(w), _exit(0);
    for (int status = 0; !children.empty(); children.pop_back()) {
      const pid_t child = children.back();
      EXPECT_TRUE(child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::set<std::pair<int, int>> seen;
    for (const std::string& line : zutest::SplitLines(zutest::ReadFile(file))) {
      const std::size_t open = line.find('<'), close = line.rfind('>');
      std::istringstream in(line.substr(open + 1, close - open - 1));
      int w = -1, e = -1;
      std::string text;
      // Nothing after the entry but a closing quote or bracket of the line's own.
      EXPECT_TRUE(open != std::string::npos && close == line.find_last_not_of("\"]}") && in >> w >> e >> text &&
                  text == payload(w, e) && w >= 0 && w < kThreads && e >= 0 && e < kEntries &&
                  seen.emplace(w, e).second)
          << "torn or twice: " << line.substr(0, 120);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kEntries));
  }
}

}  // namespace
