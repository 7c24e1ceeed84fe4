#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "RuntimeSupport.h"
#include "ZuRuntime.h"

namespace {

// Log names by id, for the life of the process. Leaked on purpose: a static
// destructor elsewhere may still ask for an id during exit.
struct LogRegistry {
  std::mutex mutex;
  std::unordered_map<std::string, int> ids;
  std::vector<std::string> names;  // id n is names[n - 1]
};

LogRegistry& Registry() {
  static LogRegistry* registry = new LogRegistry;
  return *registry;
}

bool LogNameOf(unsigned int logId, std::string& name) {
  LogRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  if (logId == 0 || logId > registry.names.size()) return false;
  name = registry.names[logId - 1];
  return true;
}

int ParseDebugLevel(const char* text) {
  constexpr int kDefaultLevel = 1;
  if (text == nullptr || *text == '\0') return kDefaultLevel;
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX) {
    return kDefaultLevel;
  }
  return static_cast<int>(value);
}

// Writes "PID TID YYYY/MM/DD HH:MM:SS JOBID LEVEL " and returns its length.
int FormatPrefix(char* buffer, std::size_t size, long long jobId, int level) {
  std::time_t now = std::time(nullptr);
  struct tm local;
  if (localtime_r(&now, &local) == nullptr) std::memset(&local, 0, sizeof local);
  return std::snprintf(buffer, size, "%d %ld %04d/%02d/%02d %02d:%02d:%02d %lld %d ", static_cast<int>(::getpid()),
                       static_cast<long>(::syscall(SYS_gettid)), local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                       local.tm_hour, local.tm_min, local.tm_sec, jobId, level);
}

}  // namespace

EvDebugFileInstance::EvDebugFileInstance() = default;

EvDebugFileInstance::~EvDebugFileInstance() {
  if (fd_ >= 0) ::close(fd_);
}

EvDebug::EvDebug(EvDebugFileInstance* file) : file_(file) {}

EvDebug::~EvDebug() = default;

int EvDebug::getLogId(const char* name) {
  if (name == nullptr) return -1;
  try {
    LogRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.ids.find(name);
    if (found != registry.ids.end()) return found->second;
    if (registry.names.size() >= static_cast<std::size_t>(INT_MAX)) return -1;
    registry.names.emplace_back(name);
    int id = static_cast<int>(registry.names.size());
    registry.ids.emplace(registry.names.back(), id);
    return id;
  } catch (...) {
    return -1;
  }
}

bool EvDebug::initialize(EvDebugFileInstance* file, unsigned int logId, long long /*reserved*/, bool /*append*/,
                         const std::string& /*suffix*/) {
  try {
    if (file == nullptr) file = file_;
    if (file == nullptr) return false;
    file_ = file;
    if (file->fd_ >= 0) {
      ::close(file->fd_);
      file->fd_ = -1;
    }
    std::string logName;
    if (!LogNameOf(logId, logName)) return false;
    std::string fileName = zu_runtime::LogFileName(logName);
    if (fileName.empty()) return false;
    std::string directory = zu_runtime::LogDirectory();
    int fd = zu_runtime::OpenAppend(directory, fileName);
    if (fd < 0) return false;
    file->fd_ = fd;
    file->path_ = directory + '/' + fileName;
    return true;
  } catch (...) {
    return false;
  }
}

int EvDebug::getDebugLevel() { return ParseDebugLevel(std::getenv("ZU_DEBUG_LEVEL")); }

void EvDebug::handleMsgEventDebug_NEW(int level, const char* /*function*/, int /*line*/, long long jobId,
                                      const char* /*file*/, const char* format, va_list args) {
  write(level, jobId, format, args);
}

void EvDebug::DebugLvl(const char* /*function*/, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  write(level, jobId_, format, args);
  va_end(args);
}

void EvDebug::setJobId(long long jobId) { jobId_ = jobId; }

void EvDebug::CloseLogFile(bool /*flush*/) {
  // Entries go out with write(2) unbuffered: there is nothing to flush.
  if (file_ != nullptr && file_->fd_ >= 0) {
    ::close(file_->fd_);
    file_->fd_ = -1;
  }
}

void EvDebug::write(int level, long long jobId, const char* format, va_list args) {
  if (file_ == nullptr || file_->fd_ < 0 || format == nullptr) return;
  if (level >= 0 && level > getDebugLevel()) return;
  try {
    char stackBuffer[4096];
    char* line = stackBuffer;
    std::unique_ptr<char[]> heapBuffer;
    int prefix = FormatPrefix(stackBuffer, sizeof stackBuffer, jobId, level);
    if (prefix < 0) return;
    std::size_t start = static_cast<std::size_t>(prefix);

    va_list copy;
    if (std::strcmp(format, "%s") == 0) {
      // Whole XML documents come this way: gather them instead of formatting
      // (and copying) megabytes through vsnprintf twice.
      va_copy(copy, args);
      const char* text = va_arg(copy, const char*);
      va_end(copy);
      if (text == nullptr) text = "(null)";  // what vsnprintf would print
      const std::size_t length = std::strlen(text);
      const bool addLineFeed = length == 0 || text[length - 1] != '\n';
      struct iovec pieces[3] = {
          {stackBuffer, start}, {const_cast<char*>(text), length}, {const_cast<char*>("\n"), addLineFeed ? 1u : 0u}};
      zu_runtime::WriteOnce(file_->fd_, pieces, 3);
      return;
    }
    va_copy(copy, args);
    int text = std::vsnprintf(stackBuffer + start, sizeof stackBuffer - start, format, copy);
    va_end(copy);
    if (text < 0) return;
    std::size_t end = start + static_cast<std::size_t>(text);
    // vsnprintf needs room for its NUL, whose place a line feed may then take.
    if (end + 1 > sizeof stackBuffer) {
      heapBuffer.reset(new char[end + 1]);
      line = heapBuffer.get();
      std::memcpy(line, stackBuffer, start);
      va_copy(copy, args);
      std::vsnprintf(line + start, end + 1 - start, format, copy);
      va_end(copy);
    }
    if (text == 0 || line[end - 1] != '\n') line[end++] = '\n';
    zu_runtime::WriteOnce(file_->fd_, line, end);
  } catch (...) {
    // The log never fails its caller; an entry that cannot be built is dropped.
  }
}

// The focus lives here with the other environment-driven services.
const char* ZUPI_Focus::getFocus() {
  const char* focus = std::getenv("ZU_FOCUS");
  if (focus == nullptr) return nullptr;
  try {
    thread_local std::string copy;
    copy = focus;
    return copy.c_str();
  } catch (...) {
    return nullptr;
  }
}
