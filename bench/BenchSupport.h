// What the benchmark units share: the generated inputs (made once per
// process), the loaded request, a scratch directory, the environment that
// steers the runtime library, and the registry of cold first-call cases.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "ZuInstallMessages.h"

namespace zubench {

// The request size that the goals are stated for.
constexpr std::size_t kClients = 10000;
constexpr std::size_t kMiB = std::size_t{1} << 20;

// Returns the generated request of `clients` entries; made on first use.
const std::string& RequestText(std::size_t clients);
// Returns the generated request of at least `bytes` bytes; made on first use.
const std::string& RequestTextOfSize(std::size_t bytes);
// Returns the request of `clients` entries loaded through ConvertStringToClientSetup; aborts when it does not load.
ZUInstallManager::ClientSetup& LoadedRequest(std::size_t clients);

// Returns a private directory under /tmp, removed with its content at exit.
const std::string& ScratchDirectory();

// The encoder flags that the logger itself uses.
EncodingFlags LoggerEncodingFlags();

// Sets (value non-null) or unsets an environment variable for its lifetime, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_;
};

// The fixed pre-install file. The guard remembers its length and cuts it
// back to that length (or removes it, when it did not exist) on rewind() and
// at the end, so a benchmark leaves no entries of its own behind.
constexpr char kPreInstallPath[] = "/tmp/ZuInstallMgrPreInstall.log";
class PreInstallFileGuard {
 public:
  PreInstallFileGuard();
  ~PreInstallFileGuard();
  PreInstallFileGuard(const PreInstallFileGuard&) = delete;
  PreInstallFileGuard& operator=(const PreInstallFileGuard&) = delete;
  void rewind() const;

 private:
  bool existed_;
  long long length_;
};

// A cold case: `prepare` does the untimed set-up in a fresh process and
// returns the operation whose first call is timed.
struct ColdCase {
  std::string name;
  std::function<std::function<void()>()> prepare;
};
void AddColdCase(std::string name, std::function<std::function<void()>()> prepare);
const std::vector<ColdCase>& ColdCases();

// Stops the program with a message: a benchmark whose input is wrong measures nothing.
[[noreturn]] void Die(const std::string& why);

// Each unit registers its benchmarks and cold cases.
void RegisterParseBenchmarks();
void RegisterWriteBenchmarks();
void RegisterMaskBenchmarks();
void RegisterLogBenchmarks();
void RegisterAccessorBenchmarks();

}  // namespace zubench
