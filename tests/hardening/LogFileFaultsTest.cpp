// Something other than a regular file at the pre-install path: every entry is
// dropped, nothing blocks, nothing is written through a link or into a FIFO,
// and what was planted stays as it was.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "hardening/HardeningSupport.h"

namespace {

using zutest::Exists;
using zutest::kPreInstallPath;
using zutest::ReadFile;
using zutest::ScratchDir;

// Writes through every path that reaches the pre-install file, and through a
// logger that was never started, which writes to the name it was given.
void LogEverything(const std::string& path) {
  ZUSimLog direct(path);
  direct.LogMessagePreInstall("direct entry\n");
  ZUSimLog log("hardening");
  log.LogMessage("f", 0, "plain entry");
  log.LogMessageV("f", -1, "formatted %d", 7);
  log.LogXML("f", R"(<ClientSetup><clientAuthentication><userAccount password="s"/></clientAuthentication></ClientSetup>)",
             0, 1);
  log.AddPlatformMarker("install", "started");
}

mode_t TypeAt(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

TEST(PreInstallPathTakenBy, AnythingButARegularFileDropsEveryEntry) {
  ScratchDir dir;
  const std::string victim = dir / "victim";
  const std::string dangling = dir / "would-be-created";
  const std::string missing = dir / "no-such-directory/file.log";
  const struct Case {
    const char* name;
    std::string path;
    std::function<bool()> plant;
    std::function<bool()> intact;
  } cases[] = {
      {"a directory", kPreInstallPath, [] { return ::mkdir(kPreInstallPath, 0755) == 0; },
       [] { return ::rmdir(kPreInstallPath) == 0; }},
      {"a link to a file", kPreInstallPath, [&] { return ::symlink(dir.write("victim", "original\n").c_str(), kPreInstallPath) == 0; },
       [&] { return ReadFile(victim) == "original\n"; }},
      {"a dangling link", kPreInstallPath, [&] { return ::symlink(dangling.c_str(), kPreInstallPath) == 0; },
       [&] { return !Exists(dangling); }},
      // Regression: without O_NONBLOCK the open waits for a reader forever.
      {"a FIFO", kPreInstallPath, [] { return ::mkfifo(kPreInstallPath, 0600) == 0; }, [] { return true; }},
      {"a socket", kPreInstallPath,
       [] {
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         std::strcpy(address.sun_path, kPreInstallPath);
         const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
         const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
         ::close(s);
         return bound;
       },
       [] { return true; }},
      {"a missing directory", missing, [] { return true; }, [&] { return !Exists(dir / "no-such-directory"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    zutest::PreInstallPathGuard guard;
    zutest::EnvGuard environment{{"ZU_FOCUS", std::nullopt}, {"ZU_LOG_DIR", dir / "logs"}};
    ASSERT_TRUE(c.plant());
    const mode_t planted = TypeAt(c.path);
    std::packaged_task<void()> task([&c] { LogEverything(c.path); });
    std::future<void> done = task.get_future();
    std::thread logger(std::move(task));
    const bool returned = done.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    std::string received;
    if (!returned) {
      // Release the blocked open so the test can end, and see what it would have sent.
      const int reader = ::open(c.path.c_str(), O_RDONLY | O_NONBLOCK);
      for (int i = 0; i < 100 && done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready; ++i) {
        char buffer[4096];
        const ssize_t got = ::read(reader, buffer, sizeof buffer);
        if (got > 0) received.append(buffer, static_cast<std::size_t>(got));
      }
      ::close(reader);
    }
    logger.join();
    EXPECT_TRUE(returned) << "the logger blocked opening " << c.path;
    EXPECT_EQ(received, "") << "entries went into the FIFO";
    EXPECT_EQ(TypeAt(c.path), planted) << "what was planted was replaced";
    EXPECT_TRUE(c.intact());
  }
}

}  // namespace
