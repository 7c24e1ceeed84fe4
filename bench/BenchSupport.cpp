#include "BenchSupport.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include "RequestGenerator.h"
#include "ZUInstallUtils.h"

namespace {

template <class Value>
using Cache = std::map<std::size_t, std::unique_ptr<Value>>;

// Removes the scratch directory when the program ends normally.
struct Scratch {
  std::string path;
  ~Scratch() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
};

std::vector<zubench::ColdCase>& ColdRegistry() {
  static std::vector<zubench::ColdCase> cases;
  return cases;
}

}  // namespace

namespace zubench {

const std::string& RequestText(std::size_t clients) {
  static Cache<std::string> cache;
  std::unique_ptr<std::string>& text = cache[clients];
  if (!text) text = std::make_unique<std::string>(GenerateRequest(clients));
  return *text;
}

const std::string& RequestTextOfSize(std::size_t bytes) {
  static Cache<std::string> cache;
  std::unique_ptr<std::string>& text = cache[bytes];
  if (!text) text = std::make_unique<std::string>(GenerateRequestOfSize(bytes));
  return *text;
}

ZUInstallManager::ClientSetup& LoadedRequest(std::size_t clients) {
  static Cache<ZUInstallManager::ClientSetup> cache;
  std::unique_ptr<ZUInstallManager::ClientSetup>& request = cache[clients];
  if (!request) {
    request = std::make_unique<ZUInstallManager::ClientSetup>();
    std::string error;
    if (ConvertStringToClientSetup(RequestText(clients), request.get(), error) != 0) {
      Die("the generated request of " + std::to_string(clients) + " clients does not load: " + error + ": " +
          CNMessageBase::LastParseError().reason);
    }
  }
  return *request;
}

const std::string& ScratchDirectory() {
  static Scratch scratch;
  if (scratch.path.empty()) {
    char pattern[] = "/tmp/zu-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) Die("cannot create a scratch directory under /tmp");
    scratch.path = pattern;
  }
  return scratch.path;
}

EncodingFlags LoggerEncodingFlags() {
  return EncodingFlags{true, false, false, 0, 0, -1, false, false, true, false, 1};
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const char* old = std::getenv(name);
  had_ = old != nullptr;
  if (had_) old_ = old;
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

PreInstallFileGuard::PreInstallFileGuard() {
  struct stat info;
  existed_ = ::lstat(kPreInstallPath, &info) == 0;
  length_ = existed_ ? static_cast<long long>(info.st_size) : 0;
}

PreInstallFileGuard::~PreInstallFileGuard() {
  if (existed_) {
    rewind();
  } else {
    ::unlink(kPreInstallPath);
  }
}

void PreInstallFileGuard::rewind() const {
  if (::truncate(kPreInstallPath, static_cast<off_t>(length_)) != 0 && existed_) {
    Die("cannot cut the pre-install file back to its length");
  }
}

void AddColdCase(std::string name, std::function<std::function<void()>()> prepare) {
  ColdRegistry().push_back(ColdCase{std::move(name), std::move(prepare)});
}

const std::vector<ColdCase>& ColdCases() { return ColdRegistry(); }

void Die(const std::string& why) {
  std::fprintf(stderr, "zu_bench: %s\n", why.c_str());
  std::fflush(stderr);
  std::exit(1);
}

}  // namespace zubench
