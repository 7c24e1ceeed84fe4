// Threads using the library at once, each with its own requests and loggers,
// plus the shared read-only parts (catalogue, log ids, cipher). Run under
// TSan by `make sanitize`; here they check that every thread still gets
// exactly its own answers and every log line arrives whole.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"
#include "ZUInstallXmlUtils.h"

namespace {

using ZUInstallManager::ClientSetup;

constexpr int kThreads = 8;

// Starts every body at the same moment and joins them all.
void RunTogether(int threads, const std::function<void(int)>& body) {
  std::atomic<int> waiting{threads};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      waiting.fetch_sub(1);
      while (waiting.load() > 0) std::this_thread::yield();
      body(t);
    });
  }
  for (std::thread& thread : pool) thread.join();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "the last line has no line feed";
  return lines;
}

// A private log directory and an instance, set before any thread starts.
class Concurrent : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zu-concurrency-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("ZU_LOG_DIR", dir_.c_str(), 1);
    setenv("ZU_FOCUS", "instance001", 1);
    setenv("ZU_DEBUG_LEVEL", "5", 1);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    unsetenv("ZU_LOG_DIR");
    unsetenv("ZU_FOCUS");
    unsetenv("ZU_DEBUG_LEVEL");
  }
  std::string dir_;
};

// Request `t`: its own job, client name and password, so a mix-up shows.
std::string RequestFor(int t) {
  const std::string n = std::to_string(t);
  return R"(<ClientSetup jobId=")" + n + R"(" requestFlags="4096" operationType="0"><dxInfo connectionUrl="https://dx)" + n +
         R"(.example.com"/><clientAuthentication><userAccount userName="svc)" + n + R"(" password="secret-of-thread-)" + n +
         R"("/></clientAuthentication><clientComposition><clientInfo><client clientPassword="client-secret-)" + n +
         R"("><clientEntity clientName="client-)" + n + R"(" clientId=")" + n + R"("/></client>)" +
         R"(<clientGroups clientGroupName="group-)" + n + R"("/></clientInfo><components><packages packageId="80)" + n +
         R"("/></components></clientComposition></ClientSetup>)";
}

TEST_F(Concurrent, ThreadsLoadReadAndLogTheirOwnRequests) {
  constexpr int kRounds = 40;
  std::vector<int> mismatches(kThreads, 0);
  RunTogether(kThreads, [&](int t) {
    const std::string text = RequestFor(t);
    const std::string n = std::to_string(t);
    ZUSimLog log("thread-" + n);
    log.jobId = t;
    for (int round = 0; round < kRounds; ++round) {
      ClientSetup request;
      std::string error, name, group;
      unsigned long id = 0;
      std::vector<int> packages;
      if (ConvertStringToClientSetup(text, &request, error) != 0 || XmlUtils::GetJobId(&request) != t ||
          XmlUtils::GetClientName(&request, 0, name) != 0 || name != "client-" + n ||
          XmlUtils::GetClientID(&request, 0, id) != 0 || id != static_cast<unsigned long>(t) ||
          XmlUtils::GetClientGroup(&request, 0, group) != 0 || group != "group-" + n ||
          XmlUtils::GetPackageList(&request, 0, packages) != 0 || packages != std::vector<int>{800 + t}) {
        ++mismatches[t];
      }
      log.LogXML("f", &request, 0, 1);
      log.LogMessageV("f", 0, "round %d of thread %d", round, t);
      log.AddClientMarker(name.c_str(), "packages", 0);
    }
  });
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
  for (int t = 0; t < kThreads; ++t) {
    const std::string n = std::to_string(t);
    const std::vector<std::string> lines = Lines(ReadFile(dir_ + "/thread-" + n + ".log"));
    ASSERT_EQ(lines.size(), 3u * kRounds) << "thread " << t;
    for (const std::string& line : lines) {
      EXPECT_NE(line.find(" " + n + " 0 "), std::string::npos) << "job id and level: " << line;
      EXPECT_EQ(line.find("secret"), std::string::npos) << "a password reached the log: " << line;
    }
  }
}

TEST_F(Concurrent, ParseErrorsStayWithTheirThread) {
  constexpr int kRounds = 200;
  std::vector<int> mismatches(kThreads, 0);
  RunTogether(kThreads, [&](int t) {
    // Half the threads fail on their own attribute, the others on a wrong root.
    const std::string bad = t % 2 == 0 ? R"(<ClientSetup jobId="x)" + std::to_string(t) + R"("/>)"
                                       : "<Root" + std::to_string(t) + "/>";
    const std::string reason = t % 2 == 0 ? "bad integer 'x" + std::to_string(t) + "' in attribute 'jobId'"
                                          : "unexpected root element 'Root" + std::to_string(t) + "'";
    for (int round = 0; round < kRounds; ++round) {
      ClientSetup request;
      std::string error;
      if (ConvertStringToClientSetup(bad, &request, error) != -1) ++mismatches[t];
      if (ConvertStringToClientSetup(RequestFor(t), &request, error) != 0) ++mismatches[t];
      // A later success keeps the thread's last failure.
      if (CNMessageBase::LastParseError().reason != reason) ++mismatches[t];
    }
  });
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

TEST_F(Concurrent, CatalogueAnswersAlikeFromEveryThread) {
  std::vector<int> db, base, media, dx;
  GetAllDBPackages(db);
  GetAllBasePackages(base);
  GetAllMediaAgentPackages(media);
  GetAllDXPackages(dx);
  // Every member and its neighbours; the classes are small ranges below 2100 and 6000..7000.
  std::vector<unsigned long> ids;
  for (unsigned long id = 0; id < 2100; ++id) ids.push_back(id);
  for (unsigned long id = 5990; id < 7010; id += 5) ids.push_back(id);
  std::vector<unsigned long> classes;
  for (unsigned long id : ids) {
    classes.push_back((IsDBPackage(id) ? 1u : 0u) | (IsNonDX_DBPackage(id) ? 2u : 0u) | (IsBasePackage(id) ? 4u : 0u) |
                      (IsMediaAgentPackage(id) ? 8u : 0u) | (IsFSPackage(id) ? 16u : 0u) |
                      (IsSRMAgentPackage(id) ? 32u : 0u) | (isThirdPartyPackage(static_cast<int>(id)) ? 64u : 0u));
  }
  std::vector<int> mismatches(kThreads, 0);
  RunTogether(kThreads, [&](int t) {
    for (int round = 0; round < 5; ++round) {
      std::vector<int> mine;
      GetAllDBPackages(mine);
      if (mine != db) ++mismatches[t];
      GetAllBasePackages(mine);
      if (mine != base) ++mismatches[t];
      GetAllMediaAgentPackages(mine);
      if (mine != media) ++mismatches[t];
      GetAllDXPackages(mine);
      if (mine != dx) ++mismatches[t];
      for (std::size_t i = 0; i < ids.size(); ++i) {
        const unsigned long id = ids[i];
        const unsigned long got =
            (IsDBPackage(id) ? 1u : 0u) | (IsNonDX_DBPackage(id) ? 2u : 0u) | (IsBasePackage(id) ? 4u : 0u) |
            (IsMediaAgentPackage(id) ? 8u : 0u) | (IsFSPackage(id) ? 16u : 0u) | (IsSRMAgentPackage(id) ? 32u : 0u) |
            (isThirdPartyPackage(static_cast<int>(id)) ? 64u : 0u);
        if (got != classes[i]) ++mismatches[t];
      }
      std::string list;
      if (!GetCommaSeperatedList(db, list) || list.empty()) ++mismatches[t];
    }
  });
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

TEST_F(Concurrent, PasswordsRoundTripFromEveryThread) {
  constexpr int kRounds = 30;
  std::vector<int> mismatches(kThreads, 0);
  RunTogether(kThreads, [&](int t) {
    for (int round = 0; round < kRounds; ++round) {
      const std::string plain = "password-" + std::to_string(t) + "-" + std::to_string(round);
      char* v8 = nullptr;
      char* v3 = nullptr;
      char* back = nullptr;
      char error[1024] = {};
      std::string single;
      if (ZUEncryptPassword_V8(plain.c_str(), &v8, error) != 0 || ZUPasswordConvert_V8ToV3(v8, &v3, error) != 0 ||
          ZUDecryptPassword(v3, &back, error) != 0 || plain != back || UtilDecrypt(v8, single) != 0 ||
          single != plain) {
        ++mismatches[t];
      }
      delete[] v8;
      delete[] v3;
      delete[] back;
    }
  });
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

TEST_F(Concurrent, LogIdsAreStableAndDistinctAcrossThreads) {
  constexpr int kNames = 64;
  std::vector<std::vector<int>> seen(kThreads, std::vector<int>(kNames, 0));
  RunTogether(kThreads, [&](int t) {
    // Each thread walks the names from its own starting point, so first registrations race.
    for (int round = 0; round < 4; ++round) {
      for (int i = 0; i < kNames; ++i) {
        const int name = (i + t * 7) % kNames;
        const int id = EvDebug::getLogId(("concurrent-log-" + std::to_string(name)).c_str());
        if (seen[t][name] == 0) seen[t][name] = id;
        if (seen[t][name] != id) seen[t][name] = -2;
      }
    }
  });
  std::map<int, int> owners;
  for (int name = 0; name < kNames; ++name) {
    EXPECT_GT(seen[0][name], 0);
    for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t][name], seen[0][name]) << "name " << name << " thread " << t;
    EXPECT_TRUE(owners.emplace(seen[0][name], name).second) << "two names share id " << seen[0][name];
  }
}

TEST_F(Concurrent, ConsoleEventsAndPreInstallEntriesArriveWhole) {
  // Without an instance every logger writes the fixed pre-install file; this
  // test holds its ctest lock and puts back what was there.
  unsetenv("ZU_FOCUS");
  const std::string preInstall = "/tmp/ZuInstallMgrPreInstall.log";
  const std::string saved = preInstall + ".concurrency-" + std::to_string(getpid());
  const bool had = std::rename(preInstall.c_str(), saved.c_str()) == 0;
  constexpr int kRounds = 50;
  RunTogether(kThreads, [&](int t) {
    ZUSimLog log("events");
    const unsigned long locale = 1033;
    for (int round = 0; round < kRounds; ++round) {
      const long event = 100 + t;
      log.SendEventToConsole(locale, event, EVENT_STATUS, "%d %s", round, "text with \"quotes\"");
      log.LogMessageV("f", 0, "pre-install %d %d %s", t, round, std::string(3000, 'x').c_str());
    }
  });
  const std::vector<std::string> events = Lines(ReadFile(dir_ + "/ConsoleEvents.log"));
  const std::vector<std::string> entries = Lines(ReadFile(preInstall));
  std::filesystem::remove(preInstall);
  if (had) std::rename(saved.c_str(), preInstall.c_str());
  EXPECT_EQ(events.size(), static_cast<std::size_t>(kThreads * kRounds));
  for (const std::string& line : events) {
    EXPECT_EQ(line.compare(0, 36, R"({"severity":"information","eventId":)"), 0) << line;
    EXPECT_EQ(line.back(), '}') << line;
  }
  ASSERT_EQ(entries.size(), static_cast<std::size_t>(kThreads * kRounds));
  for (const std::string& line : entries) {
    EXPECT_NE(line.find(" pre-install "), std::string::npos) << line.substr(0, 80);
    EXPECT_EQ(line.substr(line.size() - 3000), std::string(3000, 'x')) << "a torn entry";
  }
}

TEST_F(Concurrent, HelpersAnswerAlikeFromEveryThread) {
  int expectedSeconds = 0;
  (void)getAtTimeForScheds(1700000000ul, expectedSeconds);
  std::vector<int> mismatches(kThreads, 0);
  RunTogether(kThreads, [&](int t) {
    const std::string own = dir_ + "/helpers/thread-" + std::to_string(t) + "/a/b/c";
    if (CreateDirectoryRecursive(own.c_str()) != 0) ++mismatches[t];
    for (int round = 0; round < 500; ++round) {
      int seconds = -1;
      (void)getAtTimeForScheds(1700000000ul, seconds);
      if (seconds != expectedSeconds) ++mismatches[t];
      std::string build, release, a, b, c, d, directory, file;
      if (!UtilSplitRelAndBuild("11.0.0 (B80)", build, release) || release != "11.0") ++mismatches[t];
      if (!UtilSplitOsInformation("A:-B:-C:-D", a, b, c, d) || d != "D") ++mismatches[t];
      if (!UtilSplitDirAndFile(own, directory, file) || file != "c") ++mismatches[t];
    }
  });
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

}  // namespace
