#include "ZUInstallLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>
#include <utility>

#include "ZUInstallAppend.h"
#include "ZUInstallMask.h"
#include "ZUInstallUtils.h"
#include "ZuInstallMessages.h"

namespace {

constexpr char kDefaultLogName[] = "ZuInstallMgr";
constexpr char kPreInstallDirectory[] = "/tmp";
constexpr char kPreInstallFileName[] = "ZuInstallMgrPreInstall.log";

// The pre-install path formats into this many bytes but passes a smaller
// size, so a cut text still has room for its line feed.
constexpr std::size_t kPreInstallBufferBytes = 20480;
constexpr std::size_t kPreInstallFormatSize = 20280;

constexpr std::size_t kMarkerBytes = 1024;
constexpr int kMarkerLevel = 0;
constexpr int kFailureLevel = -1;
constexpr int kCheckedXmlLevel = 3;
constexpr int kQuietMinimumDebugLevel = 4;

// Client-marker wordings by operation type; null marks an invalid type.
constexpr const char* kClientMarkers[] = {
    "Install client/packages [%s] for client [%s]",                           // 0
    "Checks install requirements [%s] for client [%s]",                       // 1
    "get configuration of installed client / packages [%s] for client [%s]",  // 2
    "get default XML for user [%s] for client [%s]",                          // 3
    nullptr,                                                                  // 4
    "check uninstall requirements [%s] for client [%s]",                      // 5
    "Agent Uninstall [%s] for client [%s]",                                   // 6
    "Client Uninstall [%s] for client [%s]",                                  // 7
    "Agent Uninstall [%s] for client [%s]",                                   // 8
    "MA Uninstall [%s] for client [%s]",                                      // 9
    "Client Uninstall [%s] for client [%s]",                                  // 10
    "Install client/packages [%s] for client [%s]",                           // 11
    nullptr,                                                                  // 12
    nullptr,                                                                  // 13
    "Install client/packages [%s] for client [%s]",                           // 14
    "get client list for silent install [%s] for client [%s]",                // 15
    "synchronize package information [%s] for client [%s]",                   // 16
    nullptr,                                                                  // 17
    nullptr,                                                                  // 18
    "Deactivate Client [%s] for client [%s]",                                 // 19
    "Bulk Client Install [%s] for client [%s]",                               // 20
    "synchronize OS Info With Client [%s] for client [%s]",                   // 21
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,                                                // 22-30
    "Send Job status [%s] for client [%s]",                 // 31
    nullptr,                                                // 32
    "Update SP version [%s] for client [%s]",               // 33
    nullptr,                                                // 34
    nullptr,                                                // 35
    "Send async install response [%s] for client [%s]",     // 36
    nullptr,                                                // 37
    "Update third party patch level [%s] for client [%s]",  // 38
};
static_assert(sizeof kClientMarkers / sizeof kClientMarkers[0] == 39, "one wording per type 0..38");

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// A marker's value as written: control characters escaped.
std::string MarkerValue(const char* text) {
  std::string out;
  zumask::AppendEscaped(out, OrEmpty(text));
  return out;
}

// Formats a marker from a wording with two "%s"; false when memory for the
// escaped values runs out.
bool FormatMarker(char* text, std::size_t size, const char* wording, const char* first, const char* second) noexcept {
  try {
    StringCbPrintfA(text, size, wording, MarkerValue(first).c_str(), MarkerValue(second).c_str());
    return true;
  } catch (...) {
    return false;
  }
}

const char* HeadingOf(int kind) {
  switch (kind) {
    case 1: return "XML Request :";
    case 2: return "XML Response :";
    case 4: return "Stored Procedure Input :";
    case 5: return "Stored Procedure Output :";
    default: return "";
  }
}

constexpr std::size_t kPrefixBytes = 96;

// Writes "PPID  PID  YYYY/MM/DD HH:MM:SS " (everything of a pre-install entry
// before its text) into `prefix` and returns its length.
std::size_t FormatPreInstallPrefix(char (&prefix)[kPrefixBytes]) {
  long now = mdTime(nullptr);
  const std::time_t seconds = static_cast<std::time_t>(now);
  char stamp[32] = "";
  struct tm local;
  if (localtime_r(&seconds, &local) != nullptr) {
    std::strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", &local);
  }
  const int length =
      std::snprintf(prefix, sizeof prefix, "%d  %d  %s ", GETCURRENTPROCESSID(), GETCURRENTTHREADID(), stamp);
  return length > 0 ? static_cast<std::size_t>(length) : 0;
}

// The same prefix as a string.
std::string PreInstallPrefix() {
  char prefix[kPrefixBytes];
  const std::size_t length = FormatPreInstallPrefix(prefix);
  return std::string(prefix, length);
}

// Appends a whole entry with a single write under the file's lock: processes sharing the file never interleave
// inside an entry, and a short write's repair touches no other entry. Created 0600: entries name hosts, users and
// URLs; a looser own file is moved aside, since others may hold it open.
void AppendEntry(const std::string& path, const std::string& entry) {
  const int fd = zufiles::OpenLocked(AT_FDCWD, path.c_str(), 0600);
  if (fd < 0) return;
  const struct iovec piece = {const_cast<char*>(entry.data()), entry.size()};
  zufiles::AppendLocked(fd, &piece, 1);
  ::close(fd);  // and with it the lock
}

// The text of an entry up to its first NUL, as the debug log's "%s" reads it. A line feed that ends it ends the
// entry; any other control character is escaped where the entry is composed.
std::string_view EntryText(const char* text) {
  std::string_view view(text);
  if (!view.empty() && view.back() == '\n') view.remove_suffix(1);
  return view;
}

// Appends "PPID  PID  YYYY/MM/DD HH:MM:SS text" and a line feed to the pre-install file `path`, the text's control
// characters escaped but for a final line feed, which is dropped, or with `keepLineFeed` kept as it is.
void AppendPreInstallEntry(const std::string& path, const char* text, bool keepLineFeed) {
  char prefix[kPrefixBytes];
  const std::size_t prefixLength = FormatPreInstallPrefix(prefix);
  const std::string_view body = EntryText(text);
  const bool lineFeed = keepLineFeed && body.data()[body.size()] == '\n';
  std::string entry;
  entry.reserve(prefixLength + body.size() + 2);
  entry.append(prefix, prefixLength);
  zumask::AppendEscaped(entry, body);
  entry.append(lineFeed ? "\n\n" : "\n");
  AppendEntry(path, entry);
}

// Delivers a composed XML entry: to the debug log when `debugLog` is ready, else, with its line feed, appended
// to the pre-install file `path`.
void DeliverXmlEntry(EvDebug* debugLog, const std::string& path, int level, std::string& entry) {
  if (debugLog != nullptr) {
    debugLog->DebugLvl("", level, "%s", entry.c_str());
  } else {
    entry += '\n';
    AppendEntry(path, entry);
  }
}

// Writes one XML entry: the heading of `kind`, then the text masked and escaped as it is copied, through the
// debug log when `debugLog` is ready, else appended to the pre-install file `path`.
void WriteXmlEntry(EvDebug* debugLog, const std::string& path, int level, int kind, const char* xml) {
  const char* heading = HeadingOf(kind);
  const std::string_view text = EntryText(xml);
  std::string entry = debugLog != nullptr ? std::string() : PreInstallPrefix();
  entry.reserve(entry.size() + std::strlen(heading) + text.size() + 1);
  entry.append(heading);
  zumask::AppendMaskedText(entry, text, zumask::Controls::kEscape);
  DeliverXmlEntry(debugLog, path, level, entry);
}

// Hands a composed text to the debug log's formatting entry point.
void ForwardEntry(EvDebug& debugLog, int level, long long jobId, const char* format, ...) {
  va_list args;
  va_start(args, format);
  debugLog.handleMsgEventDebug_NEW(level, "", -1, jobId, "", format, args);
  va_end(args);
}

}  // namespace

int StringCbPrintfA(char* buffer, std::size_t size, const char* format, ...) {
  if (size == 0 || size > static_cast<std::size_t>(INT_MAX)) return kStrSafeInvalidParameter;
  va_list args;
  va_start(args, format);
  const int needed = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  if (needed < 0) {
    buffer[0] = '\0';
    return kStrSafeInvalidParameter;
  }
  return static_cast<std::size_t>(needed) < size ? 0 : kStrSafeTruncated;
}

int GETCURRENTPROCESSID() { return static_cast<int>(::getppid()); }

int GETCURRENTTHREADID() { return static_cast<int>(::getpid()); }

long mdTime(long* t) {
  const long now = static_cast<long>(std::time(nullptr));
  if (t != nullptr) *t = now;
  return now;
}

void MaskInformation(std::string& text, std::string key, unsigned long count) { zumask::MaskKey(text, key, count); }

ZUSimLog::ZUSimLog(std::string name) : ZUSimLog(nullptr, std::move(name)) {}

ZUSimLog::ZUSimLog(EvEvent* event, std::string name)
    : initialized(false),
      logName(std::move(name)),
      logDirectory(),
      jobId(0),
      consoleEvent(event),
      debugLog(nullptr),
      logFile(),
      quiet(false) {}

ZUSimLog::~ZUSimLog() {
  if (initialized) debugLog.CloseLogFile(true);
  consoleEvent = nullptr;
}

void ZUSimLog::InitializeLogger() {
  if (initialized) return;
  try {
    logDirectory = kPreInstallDirectory;
    const char* focus = ZUPI_Focus::getFocus();
    const bool instanceExists =
        focus != nullptr && *focus != '\0' && IsFocusExist(focus) && !IsMarliskLessInstall(focus);
    if (instanceExists) {
      if (logName.empty()) logName = kDefaultLogName;
      const unsigned int logId = static_cast<unsigned int>(EvDebug::getLogId(logName.c_str()));
      initialized = debugLog.initialize(&logFile, logId, 0, false, std::string());
    }
    if (!initialized) {
      // Rebuilt in place, so that entries after the first allocate nothing
      // here; the reserve is the one step that can fail, before any change.
      const std::size_t length = logDirectory.size() + 1 + std::strlen(kPreInstallFileName);
      if (logName.capacity() < length) logName.reserve(length);
      logName.assign(logDirectory).append(1, '/').append(kPreInstallFileName);
    }
  } catch (...) {
    // Not ready: the next call tries again.
  }
}

void ZUSimLog::LogMessageV(const char* /*function*/, int level, const char* format, ...) {
  if (quiet && level != kFailureLevel && debugLog.getDebugLevel() < kQuietMinimumDebugLevel) return;
  va_list args;
  va_start(args, format);
  if (format == nullptr) format = "";
  try {
    InitializeLogger();
    // Formatted here, not by the service, so that no argument can end the entry's line: its control
    // characters are escaped.
    char buffer[kPreInstallBufferBytes];
    buffer[0] = '\0';
    if (initialized) {
      va_list copy;
      va_copy(copy, args);
      const int needed = std::vsnprintf(buffer, sizeof buffer, format, copy);
      va_end(copy);
      std::string whole;
      const char* formatted = buffer;
      if (needed >= static_cast<int>(sizeof buffer)) {
        whole.resize(static_cast<std::size_t>(needed));
        std::vsnprintf(&whole[0], whole.size() + 1, format, args);
        formatted = whole.c_str();
      }
      const std::string_view text = EntryText(formatted);
      std::string escaped;
      zumask::AppendEscaped(escaped, text);
      ForwardEntry(debugLog, level, jobId, "%s", escaped.c_str());
    } else {
      // Not zero-filled (a 20 KiB memset per entry): vsnprintf ends the text. A line feed that ends the format
      // stays, and the entry's own follows it, so such an entry ends with an empty line.
      std::vsnprintf(buffer, kPreInstallFormatSize, format, args);
      AppendPreInstallEntry(logName, buffer, true);
    }
  } catch (...) {
    // The logger never fails its caller; the entry is dropped.
  }
  va_end(args);
}

void ZUSimLog::LogMessage(const char* function, int level, const char* text) {
  LogMessageV(function, level, "%s", OrEmpty(text));
}

void ZUSimLog::LogMessagePreInstall(const char* text) {
  try {
    AppendPreInstallEntry(logName, OrEmpty(text), false);
  } catch (...) {
    // Dropped, as an unopenable file is.
  }
}

int ZUSimLog::LogXML(const char* function, CNMessageBase* message, int level, int kind) {
  try {
    ZUInstallManager::RegisterSubsystem();
    InitializeLogger();
    if (level == kCheckedXmlLevel && !isDebugLogLevelSet(kCheckedXmlLevel)) return 0;
    if (message == nullptr) {
      LogMessage(function, kFailureLevel, "Invalid input XML");
      return -1;
    }
    const EncodingFlags flags{true, false, false, 0, 0, -1, false, false, true, false, 1};
    XMLEncoder encoder(flags, nullptr);
    std::string xml;
    const int error = encoder.serialize(message, xml, false);
    if (error != 0) {
      LogMessageV(function, kFailureLevel, "Failed to serialize XML, check XML format error %d\n", error);
      return -1;
    }
    // As LogXMLString, but the text is known to be the library's, so exactly the secret attributes' values
    // are masked, and the entry is composed in the text's own memory.
    debugLog.setJobId(jobId);
    if (!xml.empty() && xml.back() == '\n') xml.pop_back();
    zumask::ComposeSerialized(xml, (initialized ? std::string() : PreInstallPrefix()) + HeadingOf(kind));
    DeliverXmlEntry(initialized ? &debugLog : nullptr, logName, level, xml);
    return 0;
  } catch (...) {
    return -1;
  }
}

int ZUSimLog::LogXML(const char* function, const char* xml, int level, int kind) {
  if (xml == nullptr) {
    LogMessage(function, kFailureLevel, "Invalid input XML");
    return -1;
  }
  try {
    return LogXMLString(function, std::string(xml), level, kind);
  } catch (...) {
    return -1;
  }
}

int ZUSimLog::LogXMLString(const char* /*function*/, std::string xml, int level, int kind) {
  try {
    ZUInstallManager::RegisterSubsystem();
    InitializeLogger();
    debugLog.setJobId(jobId);
    WriteXmlEntry(initialized ? &debugLog : nullptr, logName, level, kind, xml.c_str());
  } catch (...) {
    // The logger never fails its caller; the entry is dropped.
  }
  return 0;
}

void ZUSimLog::AddClientMarker(const char* client, const char* subject, int operationType) {
  char text[kMarkerBytes] = {};
  const int types = static_cast<int>(sizeof kClientMarkers / sizeof kClientMarkers[0]);
  const char* wording = operationType >= 0 && operationType < types ? kClientMarkers[operationType] : nullptr;
  if (wording != nullptr) {
    if (!FormatMarker(text, sizeof text, wording, subject, client)) return;
  } else {
    StringCbPrintfA(text, sizeof text, "Invalid operation type [%d]", operationType);
  }
  LogMessage("", kMarkerLevel, text);
}

void ZUSimLog::AddPlatformMarker(const char* operation, const char* state) {
  char text[kMarkerBytes] = {};
  if (!FormatMarker(text, sizeof text, "Operation [%s] is [%s]", operation, state)) return;
  LogMessage("", kMarkerLevel, text);
}

void ZUSimLog::AddPhaseMarker(const char* phase, const char* state) {
  char text[kMarkerBytes] = {};
  if (!FormatMarker(text, sizeof text, "Phase [%s]is [%s]", phase, state)) return;
  LogMessage("", kMarkerLevel, text);
}

void ZUSimLog::SendEventToConsole(const unsigned long& localeId, const long& eventId, int type, const char* format,
                                  ...) {
  va_list args;
  va_start(args, format);
  try {
    EvEvent event;
    InitializeLogger();
    event.setLocaleId(localeId);
    // The event copies each text as it is added, so one holder serves every "%s".
    std::string text;
    for (const char* p = format != nullptr ? format : ""; *p != '\0';) {
      while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
      const char* const start = p;
      while (*p != '\0' && !std::isspace(static_cast<unsigned char>(*p))) ++p;
      const std::string_view token(start, static_cast<std::size_t>(p - start));
      if (token == "%d") {
        event << static_cast<long>(va_arg(args, int));
      } else if (token == "%s") {
        text = OrEmpty(va_arg(args, const char*));
        event << text.c_str();
      }
    }
    const int id = static_cast<int>(eventId);
    if (type == EVENT_STATUS) {
      event.InfoEvent(id, -1, 0);
    } else if (type == EVENT_CRITICAL) {
      event.CriticalEvent(id, -1, 0);
    }
  } catch (...) {
    // Console events are best effort.
  }
  va_end(args);
}
