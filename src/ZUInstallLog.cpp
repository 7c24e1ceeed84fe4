#include "ZUInstallLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string_view>
#include <utility>

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

constexpr std::size_t kMaskLength = 8;
// The keys of the secret attributes. No key here occurs inside another, so
// masking with all of them in one pass is masking with each in turn.
constexpr std::string_view kMaskedKeys[] = {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\"",
                                            "authCode=\""};
// The letters the keys' names end in, before their "=".
constexpr std::array<bool, 256> kMaskedKeyLastLetters = [] {
  std::array<bool, 256> letters{};
  for (std::string_view key : kMaskedKeys) letters[static_cast<unsigned char>(key[key.size() - 3])] = true;
  return letters;
}();

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

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// Tells whether any of eight bytes is a control character, with no branch per
// byte: whole requests pass here.
bool HoldsControl(std::uint64_t bytes) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighs = 0x8080808080808080u;
  const std::uint64_t below = (bytes - kOnes * 0x20) & ~bytes & kHighs;
  const std::uint64_t del = bytes ^ (kOnes * 0x7F);
  return (below | ((del - kOnes) & ~del & kHighs)) != 0;
}

// The position of the first control character at or after `from`; the end
// of the text when none.
std::size_t FirstControl(std::string_view text, std::size_t from) {
  std::size_t at = from;
  for (std::uint64_t bytes; at + sizeof bytes <= text.size(); at += sizeof bytes) {
    std::memcpy(&bytes, text.data() + at, sizeof bytes);
    if (HoldsControl(bytes)) break;
  }
  while (at < text.size() && !IsControl(text[at])) ++at;
  return at;
}

// Appends `text` with its control characters written as \n, \r, \t or \xHH,
// so that a value from a request cannot start a log line of its own.
void AppendEscaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (std::size_t from = 0; from < text.size();) {
    const std::size_t at = FirstControl(text, from);
    out.append(text.data() + from, at - from);
    if (at == text.size()) break;
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const char* const named = c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : nullptr;
    if (named != nullptr) {
      out.append(named, 2);
    } else {
      const char hex[] = {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
      out.append(hex, sizeof hex);
    }
    from = at + 1;
  }
}

// A marker's value as written: control characters escaped.
std::string MarkerValue(const char* text) {
  std::string out;
  AppendEscaped(out, OrEmpty(text));
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

// Makes an open pre-install file ours to append to: a regular file with one
// link, owned by the effective user or root. Anything else may have been
// planted or linked by another user of the shared directory, to read the
// entries or to have them written elsewhere. An own file with a looser mode
// (0644 from an older version, 0664 under umask 002) is narrowed to 0600;
// one that others can write may be held open by them already, so it is
// refused, as is a root's file that group or others can write.
bool TakeOwnLogFile(int fd) {
  constexpr mode_t kPrivate = S_IRUSR | S_IWUSR;
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1 ||
      (status.st_uid != ::geteuid() && status.st_uid != 0)) {
    return false;
  }
  if ((status.st_mode & 07777 & ~kPrivate) == 0) return true;
  if ((status.st_mode & S_IWOTH) != 0 || status.st_uid != ::geteuid()) {
    return (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
  }
  return ::fchmod(fd, status.st_mode & kPrivate) == 0;
}

// Appends a whole entry with a single write, so that processes sharing the
// file never interleave inside an entry. A short write (the disk full) is not
// continued, since the rest would land after another process's entry: its
// piece is cut off while nothing follows it, else its line is ended, so that
// the next entry starts on a line of its own.
void AppendEntry(const std::string& path, const std::string& entry) {
  // O_NOFOLLOW, then the checks on what was opened, not on the path: nothing
  // can be swapped in between. O_NONBLOCK: a FIFO planted at the path must
  // not hold the installer in open(2). Created 0600: entries name hosts,
  // users and URLs.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) return;
  if (!TakeOwnLogFile(fd)) {
    ::close(fd);
    return;
  }
  ssize_t written;
  do {
    written = ::write(fd, entry.data(), entry.size());
  } while (written < 0 && errno == EINTR);
  if (written > 0 && static_cast<std::size_t>(written) < entry.size()) {
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    struct stat status;
    if (end < written || ::fstat(fd, &status) != 0 || status.st_size != end || ::ftruncate(fd, end - written) != 0) {
      while (::write(fd, "\n", 1) < 0 && errno == EINTR) {
      }
    }
  }
  ::close(fd);
}

// The first position at or after a growing start where one byte stands; the
// starts asked for never decrease, so each byte is looked at once.
class NextByte {
 public:
  NextByte(std::string_view text, char byte) : text_(text), byte_(byte) {}
  std::size_t From(std::size_t from) {
    if (!known_ || at_ < from) {
      const void* hit = from < text_.size() ? std::memchr(text_.data() + from, byte_, text_.size() - from) : nullptr;
      at_ = hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data()) : text_.size();
      known_ = true;
    }
    return at_;
  }

 private:
  std::string_view text_;
  char byte_;
  bool known_ = false;
  std::size_t at_ = 0;
};

// Walks XML text the way a reader sees its attribute values, so that a key
// counts only where an attribute name can stand. A double or single quote
// outside every value opens one, which the same quote closes; a "<" ends any
// value, because no attribute value holds one (the writer escapes it), so
// text content, comments and broken quoting never hide a later element.
class ValueScanner {
 public:
  explicit ValueScanner(std::string_view text)
      : text_(text), doubleQuote_(text, '"'), singleQuote_(text, '\''), lessThan_(text, '<') {}

  // The first quote at or after `from`; the end of the text when none.
  std::size_t NextQuote(std::size_t from) { return std::min(doubleQuote_.From(from), singleQuote_.From(from)); }
  // The end of a value that starts at `from` and is closed by `quote`: that
  // quote, a "<" or the end of the text, whichever comes first.
  std::size_t ValueEnd(std::size_t from, char quote) {
    NextByte& closing = quote == '"' ? doubleQuote_ : singleQuote_;
    return std::min(closing.From(from), lessThan_.From(from));
  }
  // Where the walk goes on after a value ending at `end`: past its closing quote.
  std::size_t After(std::size_t end, char quote) const {
    return end < text_.size() && text_[end] == quote ? end + 1 : end;
  }

 private:
  std::string_view text_;
  NextByte doubleQuote_;
  NextByte singleQuote_;
  NextByte lessThan_;
};

// A value to mask: text[start, end).
struct MaskedSpan {
  std::size_t start;
  std::size_t end;
};

// The first occurrence of a key at or after a growing start.
class NextKey {
 public:
  NextKey(std::string_view text, std::string_view key) : text_(text), key_(key) {}
  std::size_t From(std::size_t from, std::size_t& length) {
    length = key_.size();
    if (key_.empty()) return std::string::npos;
    if (!known_ || at_ < from) {
      const void* hit =
          from <= text_.size() ? ::memmem(text_.data() + from, text_.size() - from, key_.data(), key_.size()) : nullptr;
      at_ = hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data()) : std::string::npos;
      known_ = true;
    }
    return at_;
  }

 private:
  std::string_view text_;
  std::string_view key_;
  bool known_ = false;
  std::size_t at_ = 0;
};

// The first occurrence of any secret key at or after a growing start, found
// at the "=" each ends in: one pass over the text serves all the keys.
class NextSecretKey {
 public:
  explicit NextSecretKey(std::string_view text) : text_(text) {}
  std::size_t From(std::size_t from, std::size_t& length) {
    if (!known_ || at_ < from) {
      at_ = Search(from);
      known_ = true;
    }
    length = length_;
    return at_;
  }

 private:
  std::size_t Search(std::size_t from) {
    const std::size_t size = text_.size();
    for (std::size_t at = from; at < size;) {
      const void* hit = std::memchr(text_.data() + at, '=', size - at);
      if (hit == nullptr) break;
      const std::size_t equals = static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data());
      at = equals + 1;
      // Most attributes are dismissed by the letter before their "=".
      if (at == size || text_[at] != '"' || equals == 0 ||
          !kMaskedKeyLastLetters[static_cast<unsigned char>(text_[equals - 1])]) {
        continue;
      }
      for (std::string_view key : kMaskedKeys) {
        const std::size_t end = equals + 2;
        if (end >= from + key.size() && text_.compare(end - key.size(), key.size(), key) == 0) {
          length_ = key.size();
          return end - key.size();
        }
      }
    }
    return std::string::npos;
  }

  std::string_view text_;
  bool known_ = false;
  std::size_t at_ = 0;
  std::size_t length_ = 0;
};

// The values that follow the keys `Keys` finds, in order. An occurrence
// counts when it starts outside every quoted value; its value runs to the
// next double quote or "<". Only the stretch between the last "<" before an
// occurrence and the occurrence itself is walked, since any value ends at a
// "<": masking costs about one search for the keys.
template <class Keys>
class KeyValues {
 public:
  KeyValues(std::string_view text, Keys keys) : text_(text), scanner_(text), keys_(keys) {}

  bool Next(MaskedSpan& span) {
    for (;;) {
      std::size_t length = 0;
      const std::size_t match = keys_.From(at_, length);
      if (match == std::string::npos) return false;
      if (const void* lt = ::memrchr(text_.data() + at_, '<', match - at_)) {
        at_ = static_cast<std::size_t>(static_cast<const char*>(lt) - text_.data());
      }
      if (!SkipValuesBefore(match)) continue;
      const std::size_t start = match + length;
      const std::size_t end = scanner_.ValueEnd(start, '"');
      at_ = scanner_.After(end, '"');
      span = {start, end};
      return true;
    }
  }

 private:
  // Walks the values that open before `match`; false when one holds it.
  bool SkipValuesBefore(std::size_t match) {
    for (std::size_t open = scanner_.NextQuote(at_); open < match; open = scanner_.NextQuote(at_)) {
      const char quote = text_[open];
      at_ = scanner_.After(scanner_.ValueEnd(open + 1, quote), quote);
      if (at_ > match) return false;
    }
    return true;
  }

  std::string_view text_;
  ValueScanner scanner_;
  Keys keys_;
  std::size_t at_ = 0;  // outside every value
};

// Masks, in place, the values that `spans` yields. A value longer than the
// mask shifts the rest of the text left as it goes; the first value shorter
// than the mask (which would overrun unread text) switches to building into
// a fresh string. When memory runs out the text is cut after the last value
// masked in place, so no unmasked value survives and no half-moved text is
// left behind. `spans` reads the text only from the end of the span it last
// gave, which the writes in place never reach.
template <class Spans>
void MaskInPlace(std::string& text, Spans& spans, std::size_t count) noexcept {
  MaskedSpan span{};
  if (!spans.Next(span)) return;
  const char* const base = text.data();
  const std::size_t size = text.size();
  char* const data = &text[0];
  std::size_t read = 0;   // text before `read` is handled
  std::size_t write = 0;  // in place: the result so far is data[0, write)
  try {
    std::string grown;  // used once the result outgrows the text
    bool inPlace = true;
    do {
      const std::size_t kept = span.start - read;
      if (inPlace && (count > span.end || write + kept > span.end - count)) {
        grown.reserve(size + (size >> 4) + (count < size ? count : size));
        grown.assign(data, write);
        inPlace = false;
      }
      if (inPlace) {
        if (write != read) std::memmove(data + write, data + read, kept);
        std::memset(data + write + kept, '*', count);
        write += kept + count;
      } else {
        grown.append(base + read, kept);
        grown.append(count, '*');
      }
      read = span.end;
    } while (spans.Next(span));
    if (inPlace) {
      if (write != read) std::memmove(data + write, data + read, size - read);
      text.resize(write + (size - read));
    } else {
      grown.append(base + read, size - read);
      text.swap(grown);
    }
  } catch (...) {
    text.resize(write);
  }
}

// Appends `text` to `out` with every secret value masked, in one pass (the
// same as masking with each key in turn, since masking adds and removes no
// quote), and control characters escaped.
void AppendMasked(std::string& out, std::string_view text) {
  KeyValues<NextSecretKey> values(text, NextSecretKey(text));
  std::size_t copied = 0;  // text[0, copied) is in out
  for (MaskedSpan span{}; values.Next(span);) {
    AppendEscaped(out, text.substr(copied, span.start - copied));
    out.append(kMaskLength, '*');
    copied = span.end;
  }
  AppendEscaped(out, text.substr(copied));
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

void MaskInformation(std::string& text, std::string key, unsigned long count) {
  KeyValues<NextKey> values(text, NextKey(text, key));
  MaskInPlace(text, values, count);
}

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
    if (initialized) {
      debugLog.handleMsgEventDebug_NEW(level, "", -1, jobId, "", format, args);
    } else {
      // Not zero-filled (a 20 KiB memset per entry): the line feed and the
      // NUL after it are placed by hand.
      char buffer[kPreInstallBufferBytes];
      buffer[0] = '\0';
      std::vsnprintf(buffer, kPreInstallFormatSize, format, args);
      const std::size_t length = ::strnlen(buffer, kPreInstallFormatSize - 1);
      buffer[length] = '\n';
      buffer[length + 1] = '\0';
      LogMessagePreInstall(buffer);
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
    char prefix[kPrefixBytes];
    const std::size_t prefixLength = FormatPreInstallPrefix(prefix);
    const char* body = OrEmpty(text);
    const std::size_t bodyLength = std::strlen(body);
    std::string entry;
    entry.reserve(prefixLength + bodyLength);
    entry.append(prefix, prefixLength).append(body, bodyLength);
    AppendEntry(logName, entry);
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
    return LogXMLString(function, std::move(xml), level, kind);
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
    // Composed once: the pre-install prefix when needed, the heading, then
    // the text masked as it is copied.
    const char* heading = HeadingOf(kind);
    std::string entry = initialized ? std::string() : PreInstallPrefix();
    entry.reserve(entry.size() + std::strlen(heading) + xml.size() + 1);
    entry.append(heading);
    // Both paths write the text up to its first NUL, as the debug log's "%s"
    // does. A line feed that ends the text ends the entry; any other is escaped.
    std::string_view text(xml.c_str());
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    AppendMasked(entry, text);
    if (initialized) {
      debugLog.DebugLvl("", level, "%s", entry.c_str());
    } else {
      entry += '\n';
      AppendEntry(logName, entry);
    }
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
