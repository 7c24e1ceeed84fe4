// What the system needs of the runtime library: the debug-log service, console
// events, the installation's focus, byte-order help and the password cipher.
// Declarations only; platform/runtime implements them, and the product's own
// library can stand in their place.
#pragma once

#include <cstdarg>
#include <string>

#define ZU_LIB_API __attribute__((visibility("default")))

// Where and how one debug log is written; filled in by EvDebug::initialize.
class ZU_LIB_API EvDebugFileInstance {
 public:
  EvDebugFileInstance();
  ~EvDebugFileInstance();
  EvDebugFileInstance(const EvDebugFileInstance&) = delete;
  EvDebugFileInstance& operator=(const EvDebugFileInstance&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

 private:
  friend class EvDebug;
  int fd_ = -1;
  std::string path_;
};

// The debug-log service. Entries are lines
// "PID TID YYYY/MM/DD HH:MM:SS JOBID LEVEL TEXT" in $ZU_LOG_DIR/<name>.log,
// written when their level is at most the debug level ($ZU_DEBUG_LEVEL).
class ZU_LIB_API EvDebug {
 public:
  explicit EvDebug(EvDebugFileInstance* file = nullptr);
  ~EvDebug();
  EvDebug(const EvDebug&) = delete;
  EvDebug& operator=(const EvDebug&) = delete;

  // Returns a stable id for the log name, process-wide; thread-safe.
  static int getLogId(const char* name);
  // Opens the log registered under `logId` into `file`; false when it cannot.
  bool initialize(EvDebugFileInstance* file, unsigned int logId, long long reserved, bool append,
                  const std::string& suffix);
  // Returns the debug level in force ($ZU_DEBUG_LEVEL, 1 when unset), open or not.
  int getDebugLevel();
  // Writes one entry formatted printf-style, when the level passes.
  void handleMsgEventDebug_NEW(int level, const char* function, int line, long long jobId,
                               const char* file, const char* format, va_list args);
  void DebugLvl(const char* function, int level, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  void setJobId(long long jobId);
  void CloseLogFile(bool flush);

 private:
  EvDebugFileInstance* file_;
  long long jobId_ = 0;
};

// Converts the value in place to little-endian byte order.
ZU_LIB_API void littleEndianLongLong(long long* value);

// A console event: typed arguments, raised as one JSON line appended to
// $ZU_LOG_DIR/ConsoleEvents.log.
class ZU_LIB_API EvEvent {
 public:
  enum ArgumentType : int { kInteger64 = 9, kText = 11 };

  EvEvent();
  ~EvEvent();
  EvEvent(const EvEvent&) = delete;
  EvEvent& operator=(const EvEvent&) = delete;

  void setLocaleId(unsigned long localeId);
  // Copies the value at once and appends it as the next argument.
  void addArgument(const void* value, int type);
  void InfoEvent(int eventId, long long reserved, int flags);
  void CriticalEvent(int eventId, long long reserved, int flags);

  EvEvent& operator<<(long value) {
    long long wide = value;
    littleEndianLongLong(&wide);
    addArgument(&wide, kInteger64);
    return *this;
  }
  EvEvent& operator<<(const char* text) {
    addArgument(text, kText);
    return *this;
  }

 private:
  struct Impl;
  Impl* impl_;
  unsigned long localeId_ = 0;
};

enum { EVENT_STATUS = 1, EVENT_CRITICAL = 2 };

class ZU_LIB_API ZUPI_Focus {
 public:
  // Returns the installation's instance name ($ZU_FOCUS); null when there is none.
  static const char* getFocus();
};

// The password cipher. Texts are "V3:" or "V8:" followed by base64 of nonce,
// ciphertext and tag (AES-256-GCM, a different key per form). Each operation
// returns non-zero on success; on failure 0, with getLastError() telling why.
// Length protocol: *length counts characters without the terminator. A null
// output with *length 0 is a size query: *length is set to the result's length.
// With an output, *length is its room in characters; a NUL follows them.
class ZU_LIB_API ZUPassword {
 public:
  enum Error : unsigned long { kBadInput = 22, kNoRoom = 34, kCrypto = 5 };

  explicit ZUPassword(int options = 0);
  ~ZUPassword();

  int encrypt(const char* input, char* output, unsigned long* length);
  int encryptV8(const char* input, char* output, unsigned long* length);
  int decrypt(const char* input, char* output, unsigned long* length);
  int ConvertToV3(const char* input, char* output, unsigned long* length);
  int ConvertToV8(const char* input, char* output, unsigned long* length);
  unsigned long getLastError() const { return lastError_; }

 private:
  unsigned long lastError_ = 0;
};
