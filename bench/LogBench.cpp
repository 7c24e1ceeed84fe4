// Logging: LogXML of the loaded 10,000-client request into the debug log
// beside serializing it alone, and LogMessage into the pre-install file
// beside a bare open, one write and close of the same bytes.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "BenchSupport.h"
#include "ZUInstallLog.h"

namespace {

using zubench::Die;

constexpr int kLevel = 1;
constexpr int kRequestKind = 1;
constexpr char kLogName[] = "ZuBench";
// A typical marker-sized entry.
constexpr char kMessage[] =
    "Phase [Copy the client binaries to /opt/zu/Base]is [started] for client [web000123.site07.example.com]";
// The pre-install file is cut back this often, so that it stays small.
constexpr std::int64_t kRewindEvery = 4096;

// The runtime library reads its environment at each call: a focus and a
// scratch log directory send the logger to the debug log.
struct DebugLogEnvironment {
  zubench::ScopedEnv focus{"ZU_FOCUS", "zubench"};
  zubench::ScopedEnv directory{"ZU_LOG_DIR", zubench::ScratchDirectory().c_str()};
  zubench::ScopedEnv level{"ZU_DEBUG_LEVEL", "9"};
  std::string path = zubench::ScratchDirectory() + "/" + kLogName + ".log";
};

// No focus: the logger writes to the pre-install file.
struct PreInstallEnvironment {
  zubench::ScopedEnv focus{"ZU_FOCUS", nullptr};
  zubench::PreInstallFileGuard guard;
};

void EmptyFile(const std::string& path) {
  if (::truncate(path.c_str(), 0) != 0) Die("cannot empty " + path);
}

void LogRequest(ZUSimLog& log, ZUInstallManager::ClientSetup& request) {
  if (log.LogXML("bench", &request, kLevel, kRequestKind) != 0) Die("LogXML failed");
}

void LogXmlToDebugLog(benchmark::State& state) {
  ZUInstallManager::ClientSetup& request = zubench::LoadedRequest(static_cast<std::size_t>(state.range(0)));
  DebugLogEnvironment environment;
  ZUSimLog log(kLogName);
  log.InitializeLogger();
  if (!log.IsReady()) Die("the debug log did not open in " + zubench::ScratchDirectory());
  for (auto _ : state) {
    LogRequest(log, request);
    state.PauseTiming();
    EmptyFile(environment.path);
    state.ResumeTiming();
  }
}

// The pre-install entry that LogMessage writes: "PPID  PID  YYYY/MM/DD HH:MM:SS text\n".
std::string PreInstallEntry() {
  const std::time_t now = std::time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", &local);
  char prefix[96];
  std::snprintf(prefix, sizeof prefix, "%d  %d  %s ", static_cast<int>(getppid()), static_cast<int>(getpid()), stamp);
  return std::string(prefix) + kMessage + "\n";
}

void BareAppend(const std::string& entry) {
  const int fd = ::open(zubench::kPreInstallPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) Die("cannot open the pre-install file");
  if (::write(fd, entry.data(), entry.size()) != static_cast<ssize_t>(entry.size())) Die("short write");
  ::close(fd);
}

// What the entry format itself asks of every write: the two process ids (two
// system calls) and the local time, formatted, before the same open, write and close.
void OpenWriteCloseWithStamp(benchmark::State& state) {
  PreInstallEnvironment environment;
  std::int64_t n = 0;
  for (auto _ : state) {
    BareAppend(PreInstallEntry());
    if (++n % kRewindEvery == 0) {
      state.PauseTiming();
      environment.guard.rewind();
      state.ResumeTiming();
    }
  }
}

void LogMessagePreInstall(benchmark::State& state) {
  PreInstallEnvironment environment;
  ZUSimLog log(kLogName);
  std::int64_t n = 0;
  for (auto _ : state) {
    log.LogMessage("bench", 0, kMessage);
    if (++n % kRewindEvery == 0) {
      state.PauseTiming();
      environment.guard.rewind();
      state.ResumeTiming();
    }
  }
  if (log.IsReady()) Die("the logger wrote to a debug log, not the pre-install file");
}

void OpenWriteClose(benchmark::State& state) {
  PreInstallEnvironment environment;
  const std::string entry = PreInstallEntry();
  std::int64_t n = 0;
  for (auto _ : state) {
    BareAppend(entry);
    if (++n % kRewindEvery == 0) {
      state.PauseTiming();
      environment.guard.rewind();
      state.ResumeTiming();
    }
  }
}

}  // namespace

void zubench::RegisterLogBenchmarks() {
  benchmark::RegisterBenchmark("log/LogXML-debug-log", LogXmlToDebugLog)->Arg(kClients)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("log/LogMessage-pre-install", LogMessagePreInstall)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("log/open-write-close", OpenWriteClose)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("log/ids-time-stamp+open-write-close", OpenWriteCloseWithStamp)
      ->Unit(benchmark::kMicrosecond);

  // The first call opens the debug log: that is part of a cold LogXML.
  AddColdCase("LogXML-debug-log", [] {
    ZUInstallManager::ClientSetup& request = LoadedRequest(kClients);
    auto environment = std::make_shared<DebugLogEnvironment>();
    auto log = std::make_shared<ZUSimLog>(kLogName);
    return std::function<void()>([environment, log, &request] { LogRequest(*log, request); });
  });
  AddColdCase("LogMessage-pre-install", [] {
    auto environment = std::make_shared<PreInstallEnvironment>();
    auto log = std::make_shared<ZUSimLog>(kLogName);
    return std::function<void()>([environment, log] { log->LogMessage("bench", 0, kMessage); });
  });
  AddColdCase("open-write-close", [] {
    auto environment = std::make_shared<PreInstallEnvironment>();
    const std::string entry = PreInstallEntry();
    return std::function<void()>([environment, entry] { BareAppend(entry); });
  });
}
