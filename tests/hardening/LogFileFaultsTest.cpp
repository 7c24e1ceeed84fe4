// The logger's files under attack or out of reach: something other than a
// regular file at the pre-install path, and a debug log that cannot be
// opened. Entries are dropped or fall back to the pre-install file, nothing
// crashes or blocks, and nothing is written through a symbolic link.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "hardening/HardeningSupport.h"

namespace {

using hardening::Exists;
using hardening::kPreInstallPath;
using hardening::PreInstallPathGuard;
using hardening::ReadFile;
using hardening::RuntimeEnvironment;
using hardening::ScratchDir;

constexpr char kSecretRequest[] =
    R"(<ClientSetup jobId="3"><clientAuthentication><userAccount userName="svc" password="pre-install-secret"/>)"
    R"(</clientAuthentication></ClientSetup>)";

// Writes one entry through every path that reaches the pre-install file.
void LogEverything(ZUSimLog& log) {
  log.LogMessage("f", 0, "plain entry");
  log.LogMessageV("f", -1, "formatted %d", 7);
  log.LogMessagePreInstall("direct entry\n");
  log.LogXML("f", kSecretRequest, 0, 1);
  log.AddPlatformMarker("install", "started");
}

class PreInstallPathTakenBy : public ::testing::Test {
 protected:
  ScratchDir dir_;
  PreInstallPathGuard guard_;
  RuntimeEnvironment environment_{dir_ / "logs", nullptr};
};

TEST_F(PreInstallPathTakenBy, ADirectoryDropsEveryEntry) {
  ASSERT_EQ(::mkdir(kPreInstallPath, 0755), 0);
  ZUSimLog log("hardening");
  LogEverything(log);
  struct stat st;
  ASSERT_EQ(::lstat(kPreInstallPath, &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(::rmdir(kPreInstallPath), 0) << "the directory gained entries";
}

TEST_F(PreInstallPathTakenBy, ASymbolicLinkIsNeverWrittenThrough) {
  const std::string existing = dir_.write("victim", "original\n");
  const std::string dangling = dir_ / "would-be-created";
  for (const std::string& target : {existing, dangling}) {
    SCOPED_TRACE(target);
    ::unlink(kPreInstallPath);
    ASSERT_EQ(::symlink(target.c_str(), kPreInstallPath), 0);
    ZUSimLog log("hardening");
    LogEverything(log);
    struct stat st;
    ASSERT_EQ(::lstat(kPreInstallPath, &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced";
  }
  EXPECT_EQ(ReadFile(existing), "original\n");
  EXPECT_FALSE(Exists(dangling));
}

// A FIFO planted at the fixed path must not hold the installer: without
// O_NONBLOCK the open waits for a reader forever, and with a reader every
// entry would go to whoever holds the other end.
TEST_F(PreInstallPathTakenBy, AFifoHangsTheOpenWithoutNonblock) {
  ASSERT_EQ(::mkfifo(kPreInstallPath, 0600), 0);
  std::packaged_task<void()> task([] {
    ZUSimLog log("hardening");
    LogEverything(log);
  });
  std::future<void> done = task.get_future();
  std::thread logger(std::move(task));
  const bool returned = done.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
  std::string received;
  if (!returned) {
    // Release the blocked open so the test can end, and see what it would have sent.
    const int reader = ::open(kPreInstallPath, O_RDONLY | O_NONBLOCK);
    for (int i = 0; i < 100 && done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready; ++i) {
      char buffer[4096];
      const ssize_t got = ::read(reader, buffer, sizeof buffer);
      if (got > 0) received.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(reader);
  }
  logger.join();
  EXPECT_TRUE(returned) << "the logger blocked opening a FIFO at " << kPreInstallPath;
  EXPECT_EQ(received, "") << "entries went into the FIFO";
}

// A debug log that cannot be opened: entries fall back to the pre-install
// file, and nothing reaches the thing standing in the debug log's way.
TEST(DebugLogOutOfReach, EntriesFallBackToThePreInstallFile) {
  struct Case {
    const char* name;
    std::function<std::string(const ScratchDir&)> prepare;  // returns ZU_LOG_DIR
  };
  const Case cases[] = {
      {"directory path through a regular file",
       [](const ScratchDir& d) { return d.write("plain", "x") + "/logs"; }},
      {"directory is a regular file", [](const ScratchDir& d) { return d.write("plain", "x"); }},
      {"log file is a directory",
       [](const ScratchDir& d) {
         ::mkdir((d / "logs").c_str(), 0755);
         ::mkdir((d / "logs/hardening.log").c_str(), 0755);
         return d / "logs";
       }},
      {"log file is a symbolic link",
       [](const ScratchDir& d) {
         ::mkdir((d / "logs").c_str(), 0755);
         d.write("victim", "original\n");
         (void)::symlink((d / "victim").c_str(), (d / "logs/hardening.log").c_str());
         return d / "logs";
       }},
      {"log file is a FIFO",
       [](const ScratchDir& d) {
         ::mkdir((d / "logs").c_str(), 0755);
         ::mkfifo((d / "logs/hardening.log").c_str(), 0600);
         return d / "logs";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    PreInstallPathGuard guard;
    const std::string logDirectory = c.prepare(dir);
    RuntimeEnvironment environment(logDirectory, "instance001");
    {
      ZUSimLog log("hardening");
      log.LogMessage("f", 0, "first entry falls back");
      EXPECT_FALSE(log.IsReady());
      // The retry names the log after the pre-install path, which may open.
      log.LogXML("f", kSecretRequest, 0, 1);
    }
    const std::string preInstall = ReadFile(kPreInstallPath);
    const std::string retried = ReadFile(logDirectory + "/ZuInstallMgrPreInstall.log");
    EXPECT_NE(preInstall.find("first entry falls back\n"), std::string::npos) << preInstall;
    EXPECT_NE((preInstall + retried).find("XML Request :"), std::string::npos) << "the second entry was lost";
    EXPECT_EQ((preInstall + retried).find("pre-install-secret"), std::string::npos) << "a password reached a log";
    if (Exists(dir / "victim")) {
      EXPECT_EQ(ReadFile(dir / "victim"), "original\n");
    }
  }
}

}  // namespace
