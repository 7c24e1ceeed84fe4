// What the system needs of the runtime library: the debug-log service, console
// events, the installation's focus, byte-order help and the password cipher.
// Declarations only; platform/runtime implements them, and the product's own
// library can stand in their place.
//
// The stand-in reads its environment at every call, nothing is cached:
//   ZU_FOCUS        the installation's instance name (unset: no instance)
//   ZU_LOG_DIR      directory of the debug logs and of ConsoleEvents.log
//                   (unset or empty: /var/log/zu)
//   ZU_DEBUG_LEVEL  the debug level (unset, empty or not a number: 1)
#pragma once

#include <cstdarg>
#include <string>

#define ZU_LIB_API __attribute__((visibility("default")))

// Where one debug log is written; filled in by EvDebug::initialize.
class ZU_LIB_API EvDebugFileInstance {
 public:
  EvDebugFileInstance();
  // Closes the log when it is still open.
  ~EvDebugFileInstance();
  EvDebugFileInstance(const EvDebugFileInstance&) = delete;
  EvDebugFileInstance& operator=(const EvDebugFileInstance&) = delete;

  // Returns the open descriptor, or -1 before initialisation and after closing.
  int fd() const { return fd_; }
  // Returns the path of the last log opened; empty before initialisation.
  const std::string& path() const { return path_; }

 private:
  friend class EvDebug;
  int fd_ = -1;
  std::string path_;
};

// The debug-log service. Entries are lines
// "PID TID YYYY/MM/DD HH:MM:SS JOBID LEVEL TEXT" (TID the kernel thread id,
// local time) appended to $ZU_LOG_DIR/<base name of the log name>[.log] with
// one write each, when their level is at most the debug level or negative.
// Each write holds flock(LOCK_EX) on the log, as every writer of it does, so
// an entry the disk cannot take whole is cut back to where it began, touching
// no other entry. One service object is used by one thread at a time.
class ZU_LIB_API EvDebug {
 public:
  // Writes through `file` once it is open; null leaves the service unopened.
  explicit EvDebug(EvDebugFileInstance* file = nullptr);
  // Leaves the descriptor alone: it closes itself.
  ~EvDebug();
  EvDebug(const EvDebug&) = delete;
  EvDebug& operator=(const EvDebug&) = delete;

  // Returns a stable positive id for the log name, process-wide and
  // thread-safe; -1 for a null name.
  static int getLogId(const char* name);
  // Opens the log registered under `logId` into `file` (null: the descriptor
  // given before, at construction or an earlier call), creating the directory (0750) and the
  // file (0640); false for an unknown id, an empty base name, or a directory or file that
  // another user could have planted or swapped. The directory is reached a component at a
  // time, each checked on its descriptor: every directory must belong to the effective user
  // or root and not be writable by group or others (on the way, root's sticky /tmp aside),
  // every symbolic link followed must belong to the same owners. The file must be a regular
  // file with one link, of the same owners (root's not writable by group or others); an own
  // file with mode bits beyond 0640 is moved aside to "<name>.loose-<unix seconds>-<pid>"
  // (narrowed, the sticky bit set) and a fresh one created. Entries are always appended: `reserved`, `append` and
  // `suffix` are accepted for the product's signature and ignored.
  bool initialize(EvDebugFileInstance* file, unsigned int logId, long long reserved, bool append,
                  const std::string& suffix);
  // Returns the debug level in force ($ZU_DEBUG_LEVEL, 1 when unset or not a
  // number), open or not.
  int getDebugLevel();
  // Writes one entry formatted printf-style with `jobId`, when the level
  // passes; long texts are never cut. A no-op while the log is not open.
  // `function`, `line` and `file` name the caller and are not written.
  void handleMsgEventDebug_NEW(int level, const char* function, int line, long long jobId, const char* file,
                               const char* format, va_list args) __attribute__((format(printf, 7, 0)));
  // Writes one entry like handleMsgEventDebug_NEW, with the job id of setJobId.
  void DebugLvl(const char* function, int level, const char* format, ...) __attribute__((format(printf, 4, 5)));
  // Sets the job id that later DebugLvl entries carry (0 until set).
  void setJobId(long long jobId);
  // Closes the log; later entries are dropped until initialize runs again.
  void CloseLogFile(bool flush);

 private:
  void write(int level, long long jobId, const char* format, va_list args);

  EvDebugFileInstance* file_;
  long long jobId_ = 0;
};

// Converts the value in place between host and little-endian byte order (its
// own inverse); a no-op on little-endian hosts and for a null pointer.
ZU_LIB_API void littleEndianLongLong(long long* value);

// A console event: typed arguments, raised as one JSON line appended to
// $ZU_LOG_DIR/ConsoleEvents.log (directory and file checked and created as
// the debug log's), e.g.
// {"severity":"information","eventId":7,"localeId":1033,"args":[7,"disk full"]}
class ZU_LIB_API EvEvent {
 public:
  enum ArgumentType : int { kInteger64 = 9, kText = 11 };

  EvEvent();
  ~EvEvent();
  EvEvent(const EvEvent&) = delete;
  EvEvent& operator=(const EvEvent&) = delete;

  // Sets the locale id written with the event (0 until set).
  void setLocaleId(unsigned long localeId);
  // Copies the value at once and appends it as the next argument: type 9 a
  // little-endian 64-bit integer, 11 a text (null: the empty text; invalid
  // UTF-8 written as U+FFFD, so the line stays JSON); a null
  // integer or any other type code appends a JSON null, keeping positions.
  void addArgument(const void* value, int type);
  // Appends the event as "information"; failures are silently dropped.
  void InfoEvent(int eventId, long long reserved, int flags);
  // Appends the event as "critical"; failures are silently dropped.
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
  void raise(const char* severity, int eventId);

  struct Impl;
  Impl* impl_;
  unsigned long localeId_ = 0;
};

enum { EVENT_STATUS = 1, EVENT_CRITICAL = 2 };

class ZU_LIB_API ZUPI_Focus {
 public:
  // Returns the installation's instance name ($ZU_FOCUS), valid until the
  // calling thread's next call; null when unset, "" when set but empty.
  static const char* getFocus();
};

// The password cipher. Texts are "V3:" or "V8:" followed by base64 of nonce
// (12 bytes), ciphertext and tag (16 bytes) of AES-256-GCM, a different key
// per form and a fresh nonce per encryption. Each operation returns non-zero
// on success; on failure 0, with getLastError() telling why, the output
// untouched and *length unchanged.
// Length protocol: *length counts characters without the terminator. A null
// output with *length 0 is a size query: *length is set to the result's length.
// A size query reads only the text's form and shape; the tag is checked by the
// call with room, so a forged text can pass the query and fail the call.
// With an output, *length is its room in characters; a NUL follows them, and
// *length is set to the characters written.
class ZU_LIB_API ZUPassword {
 public:
  // kBadInput: null argument, wrong form, bad base64, short payload, failed
  // tag check, or a null output with a non-zero *length. kNoRoom: the result
  // is longer than *length. kCrypto: the crypto library failed.
  enum Error : unsigned long { kBadInput = 22, kNoRoom = 34, kCrypto = 5 };

  // Ignores `options`: the stand-in has one behaviour.
  explicit ZUPassword(int options = 0);
  ~ZUPassword();

  // Encrypts the text into the V3 form.
  int encrypt(const char* input, char* output, unsigned long* length);
  // Encrypts the text into the V8 form.
  int encryptV8(const char* input, char* output, unsigned long* length);
  // Decrypts a text of either form; refuses a plaintext holding a NUL byte.
  int decrypt(const char* input, char* output, unsigned long* length);
  // Re-encrypts a V8 text into the V3 form; refuses any other form.
  int ConvertToV3(const char* input, char* output, unsigned long* length);
  // Re-encrypts a V3 text into the V8 form; refuses any other form.
  int ConvertToV8(const char* input, char* output, unsigned long* length);
  // Returns the error number of the last failed operation (0 if none failed).
  unsigned long getLastError() const { return lastError_; }

 private:
  int fail(unsigned long error) {
    lastError_ = error;
    return 0;
  }

  unsigned long lastError_ = 0;
};
