// The installation logger ZUSimLog, secret masking and the bounded formatter.
#pragma once

#include <cstddef>
#include <string>

#include "ZuRuntime.h"
#include "zuinstall_export.h"

class CNMessageBase;

// Results of StringCbPrintfA.
constexpr int kStrSafeTruncated = static_cast<int>(0x8007007Au);
constexpr int kStrSafeInvalidParameter = static_cast<int>(0x80070057u);

// Formats printf-style into `buffer`, keeping at most size - 1 characters and
// a NUL. Returns 0 when all fit, 0x8007007A when the text was cut, and
// 0x80070057 (buffer untouched) when size is 0 or above 2147483647.
ZUINSTALL_API int StringCbPrintfA(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Returns the parent process's id (getppid), not the caller's own id.
ZUINSTALL_API int GETCURRENTPROCESSID();
// Returns the process's id (getpid), the same for every thread; not a thread id.
ZUINSTALL_API int GETCURRENTTHREADID();
// Returns the current time in seconds, also stored into *t unless t is null.
ZUINSTALL_API long mdTime(long* t);

// Replaces the value after every occurrence of `key` with `count` asterisks.
// Every occurrence counts, wherever it stands: inside a quoted value, after
// an apostrophe or a stray quote, inside a longer name. A value runs to the
// next quote of the key's kind (a single quote when the key ends in one,
// else a double quote), which is kept, or to the end of the text; values
// that overlap are replaced together. An empty key leaves the text
// unchanged. When memory runs out the text is cut short so that no value is
// left unmasked.
ZUINSTALL_API void MaskInformation(std::string& text, std::string key, unsigned long count);

// Logs an install operation: through the debug-log service once the
// installation's instance exists, otherwise into the pre-install file
// /tmp/ZuInstallMgrPreInstall.log. Never fails its caller and never throws.
// One object is used by one thread at a time.
class ZUINSTALL_API ZUSimLog {
 public:
  // Creates a logger for the debug log `name` (empty: "ZuInstallMgr"); nothing is opened yet.
  explicit ZUSimLog(std::string name);
  // Same as above, keeping `event` borrowed; no operation uses it and it is never deleted.
  ZUSimLog(EvEvent* event, std::string name);
  // Closes the debug log only when it was opened.
  ~ZUSimLog();
  ZUSimLog(const ZUSimLog&) = delete;
  ZUSimLog& operator=(const ZUSimLog&) = delete;

  // Opens the debug log when the instance exists, else points the logger at
  // the pre-install file; tried again at every call until the log opens.
  void InitializeLogger();
  // Writes one printf-style entry as one line: control characters of the
  // format and the arguments are escaped (\n, \r, \t, \xHH), a final line
  // feed ends it; in the pre-install file it is kept and the entry's own line
  // feed follows, an empty line after the entry. With `quiet`, a level other
  // than -1 is dropped while the debug level is 3 or less. Pre-install
  // entries keep at most 20279 characters before escaping. `function` is not
  // written.
  void LogMessageV(const char* function, int level, const char* format, ...) __attribute__((format(printf, 4, 5)));
  // Writes `text` as one entry, as LogMessageV with "%s"; a null text is written as empty.
  void LogMessage(const char* function, int level, const char* text);
  // Appends "PPID  PID  YYYY/MM/DD HH:MM:SS text" and a line feed with one
  // write to the file logName names now, without initialising; the text's
  // control characters are escaped but for a final line feed, which ends the
  // entry, so every entry ends with exactly one. The write and the repair of
  // a short one (cut back to where it began) hold flock(LOCK_EX) on the file,
  // which every writer of it takes. A fresh file is created 0600. An own file
  // with mode bits beyond 0600 (others may hold it open) is renamed in its
  // directory to "<name>.loose-<unix seconds>-<pid>" and narrowed to 0600
  // (with the sticky bit as its mark), its content kept, and the entry goes
  // to a fresh file. The entry is
  // dropped when the file cannot be opened, or is not a regular file with one
  // link owned by the effective user or root, or is root's and writable by
  // group or others (so a symbolic link, a hard link or a file another user
  // planted is never written).
  void LogMessagePreInstall(const char* text);

  // Serializes the message, masks exactly its secret attributes' values and
  // logs it under the heading of `kind` (1 request, 2 response, 4/5 stored
  // procedure input/output).
  // Returns 0 when logged, or skipped at level 3; -1 when the message is null
  // or cannot be serialized (the reason is logged at level -1).
  int LogXML(const char* function, CNMessageBase* message, int level, int kind);
  // Masks and logs XML text as LogXMLString does; -1 (and "Invalid input XML") for a null text.
  int LogXML(const char* function, const char* xml, int level, int kind);
  // Masks the value after every password, clientPassword, pAccess,
  // pExecAccess and authCode written as XML allows (blanks or line breaks
  // around "=", either quote), wherever it stands, to its closing quote or the
  // end of the text; puts the heading of `kind` in front and writes it as one
  // line, control characters escaped, bypassing `quiet`. Returns 0.
  int LogXMLString(const char* function, std::string xml, int level, int kind);

  // Writes, at level 0, the wording of the operation type for subject and
  // client; an unknown type writes "Invalid operation type [N]".
  void AddClientMarker(const char* client, const char* subject, int operationType);
  // Writes "Operation [operation] is [state]" at level 0, cut to 1023 characters.
  void AddPlatformMarker(const char* operation, const char* state);
  // Writes "Phase [phase]is [state]" at level 0, cut to 1023 characters.
  void AddPhaseMarker(const char* phase, const char* state);
  // Raises a console event: `format` lists the argument types ("%d" int,
  // "%s" text) separated by white space; other tokens take no argument. A
  // null format adds no arguments and a null text is added as empty. Types
  // other than EVENT_STATUS and EVENT_CRITICAL raise nothing.
  void SendEventToConsole(const unsigned long& localeId, const long& eventId, int type, const char* format, ...);

  // Tells whether entries go to the debug log (true) or the pre-install file.
  bool IsReady() const noexcept { return initialized; }

 private:
  bool initialized;
  std::string logName;
  std::string logDirectory;

 public:
  long long jobId;

 private:
  EvEvent* consoleEvent;
  EvDebug debugLog;
  EvDebugFileInstance logFile;

 public:
  bool quiet;
};
