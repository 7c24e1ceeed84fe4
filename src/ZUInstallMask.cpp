#include "ZUInstallMask.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zumask {
namespace {

// The secret attributes' names.
constexpr std::string_view kSecretNames[] = {"password", "clientPassword", "pAccess", "pExecAccess", "authCode"};
// The letters the names end in: most "=" are dismissed by the byte before them.
constexpr auto kSecretLastLetters = [] {
  struct Table {
    bool is[256];
  } t{};
  for (std::string_view name : kSecretNames) t.is[static_cast<unsigned char>(name.back())] = true;
  return t;
}();

// XML's white space, allowed around the "=" of an attribute.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The letter of the logger's escape of a blank (AppendEscaped writes a backslash before it).
bool IsEscapedBlankLetter(char c) { return c == 'n' || c == 'r' || c == 't'; }

// Where the blanks that end before `end` begin, read backwards: raw blanks, and the logger's escapes of them, so
// that a log this library wrote is masked as the text it logged. `Text` is anything indexable.
template <class Text>
std::size_t BlanksBefore(const Text& text, std::size_t end) {
  for (;;) {
    if (end > 0 && IsBlank(text[end - 1])) {
      --end;
    } else if (end > 1 && IsEscapedBlankLetter(text[end - 1]) && text[end - 2] == '\\') {
      end -= 2;
    } else {
      return end;
    }
  }
}

// Where the blanks and escaped blanks from `from` on end. A backslash that ends the text is no blank.
std::size_t BlanksAfter(std::string_view text, std::size_t from) {
  while (from < text.size()) {
    if (IsBlank(text[from])) {
      ++from;
    } else if (text[from] == '\\' && from + 1 < text.size() && IsEscapedBlankLetter(text[from + 1])) {
      from += 2;
    } else {
      break;
    }
  }
  return from;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// Whether the backslashes that end text[from, end) are odd in number: the last one then escapes the byte at `end`.
bool OddBackslashesBefore(std::string_view text, std::size_t from, std::size_t end) {
  std::size_t at = end;
  while (at > from && text[at - 1] == '\\') --at;
  return (end - at) % 2 != 0;
}

constexpr std::size_t kLongestName = [] {
  std::size_t longest = 0;
  for (std::string_view name : kSecretNames) longest = std::max(longest, name.size());
  return longest;
}();

// The secret name that ends at `end` (a suffix of whatever word stands there); empty when none does.
template <class Text>
std::string_view SecretNameBefore(const Text& text, std::size_t end) {
  if (end == 0 || !kSecretLastLetters.is[static_cast<unsigned char>(text[end - 1])]) return {};
  for (std::string_view name : kSecretNames) {
    if (end < name.size()) continue;
    std::size_t i = 0;
    while (i < name.size() && text[end - name.size() + i] == name[i]) ++i;
    if (i == name.size()) return name;
  }
  return {};
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// The lead bytes of U+0085 (C2 85) and of U+2028, U+2029 (E2 80 A8, E2 80 A9): the other line ends of some
// readers. Both, and only they, become E2 with the 0x20 bit set.
bool IsLineEndLead(char c) { return (static_cast<unsigned char>(c) | 0x20) == 0xE2; }

#if !defined(__SSE2__)
// Tells whether any of eight bytes is a control character or the lead byte of another line end, with no branch
// per byte: whole requests pass here.
bool HoldsSpecial8(std::uint64_t bytes) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighs = 0x8080808080808080u;
  const std::uint64_t below = (bytes - kOnes * 0x20) & ~bytes & kHighs;
  const std::uint64_t del = bytes ^ (kOnes * 0x7F);
  const std::uint64_t lead = (bytes | (kOnes * 0x20)) ^ (kOnes * 0xE2);
  return (below | ((del - kOnes) & ~del & kHighs) | ((lead - kOnes) & ~lead & kHighs)) != 0;
}
#endif

// How many bytes at `at` AppendEscaped rewrites: 1 for a control character, 2 for U+0085, 3 for U+2028 and
// U+2029, 0 for any other.
std::size_t SpecialAt(std::string_view text, std::size_t at) {
  const auto byte = [&text](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
  const unsigned lead = byte(at);
  if (lead < 0x20 || lead == 0x7F) return 1;
  if (lead == 0xC2) return byte(at + 1) == 0x85 ? 2 : 0;
  if (lead == 0xE2) return byte(at + 1) == 0x80 && (byte(at + 2) == 0xA8 || byte(at + 2) == 0xA9) ? 3 : 0;
  return 0;
}

// The position of the first byte at or after `from` that AppendEscaped rewrites, and in `length` how many it
// rewrites; the end of the text when none.
std::size_t FirstSpecial(std::string_view text, std::size_t from, std::size_t& length) {
  std::size_t at = from;
#if defined(__SSE2__)
  // Sixteen bytes at a time, each compared with the two after it, so that only a real line end stops the loop.
  const char* const p = text.data();
  for (; at + 18 <= text.size(); at += 16) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + 1));
    const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + 2));
    __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(v0, _mm_set1_epi8(0x1F)), v0),
                               _mm_cmpeq_epi8(v0, _mm_set1_epi8(0x7F)));
    hit = _mm_or_si128(hit, _mm_and_si128(_mm_cmpeq_epi8(v0, _mm_set1_epi8(char(0xC2))),
                                          _mm_cmpeq_epi8(v1, _mm_set1_epi8(char(0x85)))));
    const __m128i e280 =
        _mm_and_si128(_mm_cmpeq_epi8(v0, _mm_set1_epi8(char(0xE2))), _mm_cmpeq_epi8(v1, _mm_set1_epi8(char(0x80))));
    hit = _mm_or_si128(
        hit, _mm_and_si128(e280, _mm_cmpeq_epi8(_mm_or_si128(v2, _mm_set1_epi8(1)), _mm_set1_epi8(char(0xA9)))));
    if (const int bits = _mm_movemask_epi8(hit); bits != 0) {
      at += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(bits)));
      length = SpecialAt(text, at);
      return at;
    }
  }
#else
  while (at + sizeof(std::uint64_t) <= text.size()) {
    std::uint64_t bytes;
    std::memcpy(&bytes, text.data() + at, sizeof bytes);
    if (!HoldsSpecial8(bytes)) {
      at += sizeof bytes;
      continue;
    }
    for (const std::size_t stop = at + sizeof bytes; at < stop; ++at) {
      if ((length = SpecialAt(text, at)) != 0) return at;
    }
  }
#endif
  for (; at < text.size(); ++at) {
    if ((length = SpecialAt(text, at)) != 0) return at;
  }
  length = 0;
  return text.size();
}

void Keep(std::string& out, std::string_view text, Controls controls) {
  if (controls == Controls::kEscape) {
    AppendEscaped(out, text);
  } else {
    out.append(text);
  }
}

// The first position at or after a start where one byte stands; while the starts asked for do not decrease,
// each byte is looked at once. An answer, once found, stays right when the text before it is rewritten.
class NextByte {
 public:
  NextByte(std::string_view text, char byte) : text_(text), byte_(byte) {}
  std::size_t From(std::size_t from) {
    if (!known_ || at_ < from || from < from_) {
      from_ = from;
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
  std::size_t from_ = 0;
  std::size_t at_ = 0;
};

// A value to mask: text[start, end).
struct Span {
  std::size_t start;
  std::size_t end;
};

// The values after the five names written as XML allows, one per occurrence, in order, wherever the name
// stands: no quote before it can hide it.
class SecretFinder {
 public:
  explicit SecretFinder(std::string_view text) : text_(text), double_(text, '"'), single_(text, '\'') {}

  bool operator()(Span& span) {
    const std::size_t size = text_.size();
    while (cursor_ < size) {
      const void* hit = std::memchr(text_.data() + cursor_, '=', size - cursor_);
      if (hit == nullptr) break;
      const std::size_t equals = static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data());
      cursor_ = equals + 1;
      if (SecretNameBefore(text_, BlanksBefore(text_, equals)).empty()) continue;
      std::size_t quote = BlanksAfter(text_, equals + 1);
      const bool escaped = quote + 1 < size && text_[quote] == '\\' && IsQuote(text_[quote + 1]);
      quote += escaped ? 1 : 0;
      if (quote == size || !IsQuote(text_[quote])) continue;
      span = {quote + 1, (text_[quote] == '"' ? double_ : single_).From(quote + 1)};
      if (escaped && span.end < size && OddBackslashesBefore(text_, span.start, span.end)) --span.end;
      return true;
    }
    cursor_ = size;
    return false;
  }
  // The lowest position read from now on.
  std::size_t SafeFrom() const { return cursor_; }

 private:
  std::string_view text_;
  NextByte double_;
  NextByte single_;
  std::size_t cursor_ = 0;
};

// The values after every occurrence of a key, overlapping occurrences included.
class KeyFinder {
 public:
  KeyFinder(std::string_view text, std::string_view key)
      : text_(text), key_(key), double_(text, '"'), single_(text, '\'') {}

  bool operator()(Span& span) {
    const std::size_t size = text_.size();
    const void* hit = key_.empty() || cursor_ + key_.size() > size
                          ? nullptr
                          : ::memmem(text_.data() + cursor_, size - cursor_, key_.data(), key_.size());
    if (hit == nullptr) {
      cursor_ = size;
      return false;
    }
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data());
    cursor_ = at + 1;
    const std::size_t after = at + key_.size();
    const char last = key_.back();
    if (last == '\'' || last == '"') {
      span = {after, (last == '"' ? double_ : single_).From(after)};
      return true;
    }
    // The rest of "name = '" when the key stops short of its quote.
    std::size_t quote = after;
    while (quote < size && IsBlank(text_[quote])) ++quote;
    bool equals = last == '=';
    if (!equals && quote < size && text_[quote] == '=') {
      equals = true;
      while (++quote < size && IsBlank(text_[quote])) {
      }
    }
    if (equals && quote < size && (text_[quote] == '"' || text_[quote] == '\'')) {
      span = {quote + 1, (text_[quote] == '"' ? double_ : single_).From(quote + 1)};
    } else {
      span = {after, double_.From(after)};
    }
    return true;
  }
  std::size_t SafeFrom() const { return cursor_; }

 private:
  std::string_view text_;
  std::string_view key_;
  NextByte double_;
  NextByte single_;
  std::size_t cursor_ = 0;
};

// The finder's values with overlapping ones joined, in order. A span is handed out only once the next
// value has been found, so everything before SafeFrom() may be rewritten.
template <class Finder>
class Spans {
 public:
  explicit Spans(Finder finder) : find_(std::move(finder)) {}
  bool Next(Span& span) {
    if (!pending_ && !(pending_ = find_(next_))) return false;
    span = next_;
    while ((pending_ = find_(next_)) && next_.start <= span.end) span.end = std::max(span.end, next_.end);
    return true;
  }
  std::size_t SafeFrom() const { return find_.SafeFrom(); }

 private:
  Finder find_;
  Span next_{};
  bool pending_ = false;
};

template <class Finder>
void AppendSpans(std::string& out, std::string_view text, Spans<Finder> spans, Controls controls) {
  std::size_t copied = 0;
  for (Span span{}; spans.Next(span);) {
    Keep(out, text.substr(copied, span.start - copied), controls);
    out.append(kMask);
    copied = span.end;
  }
  Keep(out, text.substr(copied), controls);
}

// Byte classes of 64 bytes, bit i for byte i, and whether any is a control character or the lead byte of
// another line end (either is escaped).
struct Block {
  std::uint64_t quote = 0, apostrophe = 0, equals = 0;
  bool control = false;
};

// Bytes that the library's XML hardly ever holds: single quotes and control characters, looked at one by one
// only in a block that has one.
void ClassifyRare(const char* p, Block& b) {
  for (int i = 0; i < 64; ++i) {
    b.apostrophe |= std::uint64_t{p[i] == '\''} << i;
    b.control |= IsControl(p[i]) || IsLineEndLead(p[i]);
  }
}

#if defined(__SSE2__)
Block Classify(const char* p) {
  Block b;
  __m128i rare = _mm_setzero_si128();
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const std::uint64_t quotes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('"'))));
    const std::uint64_t equals = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('='))));
    b.quote |= quotes << (16 * k), b.equals |= equals << (16 * k);
    rare = _mm_or_si128(rare, _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v));
    rare = _mm_or_si128(rare, _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)));
    rare = _mm_or_si128(rare, _mm_cmpeq_epi8(v, _mm_set1_epi8('\'')));
    rare = _mm_or_si128(rare, _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8(char(0xE2))));
  }
  if (_mm_movemask_epi8(rare) != 0) ClassifyRare(p, b);
  return b;
}
#else
Block Classify(const char* p) {
  Block b;
  for (int i = 0; i < 64; ++i) b.quote |= std::uint64_t{p[i] == '"'} << i, b.equals |= std::uint64_t{p[i] == '='} << i;
  ClassifyRare(p, b);
  return b;
}
#endif

// The two letters before "=" that end a secret name.
bool EndsLikeASecretName(char beforeLast, char last) {
  return (beforeLast == 'r' && last == 'd') || (beforeLast == 's' && last == 's') || (beforeLast == 'd' && last == 'e');
}

// Bit i set when an odd number of bits up to and including i are.
std::uint64_t PrefixXor(std::uint64_t bits) {
  for (int shift = 1; shift < 64; shift *= 2) bits ^= bits << shift;
  return bits;
}

// Which secret name ends at `end`: none, one standing as a whole name after a blank, or one ending a longer
// word, which the library never writes.
enum class NameEnd { kNone, kWhole, kInWord };
NameEnd SecretNameEndsAt(std::string_view xml, std::size_t end) {
  for (std::string_view name : kSecretNames) {
    // Most names are told apart by their first and last letters, without a call.
    if (end < name.size() || xml[end - name.size()] != name.front() || xml[end - 1] != name.back() ||
        xml.compare(end - name.size(), name.size(), name) != 0) {
      continue;
    }
    return end > name.size() && xml[end - name.size() - 1] == ' ' ? NameEnd::kWhole : NameEnd::kInWord;
  }
  return NameEnd::kNone;
}

// The secret values of XML as the library writes it, scanned a block of 64 bytes at a time, as far as asked:
// each value stands in double quotes after a name and "=", holds no double quote, and no single quote stands
// outside values. Which quotes open a value follows from their count (a prefix XOR); a name is looked at only
// when its last two letters are those of a secret name. From the first quote laid out otherwise, or a value
// never closed, the text after the last secret value found is to be masked as any text is (`broken`).
class LibraryScan {
 public:
  explicit LibraryScan(std::string_view xml) : xml_(xml) {}

  void To(std::size_t limit) {
    const std::size_t size = xml_.size();
    for (; !done_ && base_ < limit && base_ < size; base_ += 64) {
      char tail[64];
      const char* p = xml_.data() + base_;
      if (size - base_ < 64) {
        std::memset(tail, ' ', sizeof tail);
        std::memcpy(tail, p, size - base_);
        p = tail;
      }
      const Block b = Classify(p);
      control |= b.control;
      const std::uint64_t inside = PrefixXor(b.quote) ^ (inValue_ ? ~std::uint64_t{0} : 0);
      inValue_ = (inside >> 63) != 0;
      const std::uint64_t openers = b.quote & inside;
      const std::uint64_t equalsBefore = (b.equals << 1) | carryEquals_;
      carryEquals_ = b.equals >> 63;
      const std::uint64_t anomalies = (b.apostrophe & ~inside) | (openers & ~equalsBefore);
      for (std::uint64_t candidates = openers & equalsBefore; candidates != 0; candidates &= candidates - 1) {
        if ((anomalies & ((candidates & (~candidates + 1)) - 1)) != 0) break;
        const std::size_t open = base_ + static_cast<std::size_t>(__builtin_ctzll(candidates));
        if (open < 3 || !EndsLikeASecretName(xml_[open - 3], xml_[open - 2])) continue;
        const NameEnd name = SecretNameEndsAt(xml_, open - 1);
        if (name == NameEnd::kNone) continue;
        const void* close = std::memchr(xml_.data() + open + 1, '"', size - open - 1);
        if (name == NameEnd::kInWord || close == nullptr) return Break();
        spans.push_back({open + 1, static_cast<std::size_t>(static_cast<const char*>(close) - xml_.data())});
      }
      if (anomalies != 0) return Break();
    }
    if (base_ >= size && !done_) {
      done_ = true;
      broken = inValue_;
    }
  }
  // Whether the end is reached or the layout broke: nothing more to scan.
  bool Done() const { return done_; }
  // Everything before it has been scanned.
  std::size_t Scanned() const { return done_ ? xml_.size() : base_; }

  std::vector<Span> spans;
  bool broken = false;
  bool control = false;  // a byte scanned is to be escaped, or may start a character that is

 private:
  void Break() { broken = done_ = true; }

  std::string_view xml_;
  std::size_t base_ = 0;
  bool inValue_ = false;
  bool done_ = false;
  std::uint64_t carryEquals_ = 0;
};

// Appends the text from `from` on, masking the scan's spans from `first` on.
void AppendScanned(std::string& out, std::string_view xml, const LibraryScan& scan, std::size_t first, std::size_t from,
                   Controls controls) {
  for (std::size_t i = first; i < scan.spans.size(); ++i) {
    Keep(out, xml.substr(from, scan.spans[i].start - from), controls);
    out.append(kMask);
    from = scan.spans[i].end;
  }
  if (scan.broken) {
    AppendMaskedText(out, xml.substr(from), controls);
  } else {
    Keep(out, xml.substr(from), controls);
  }
}

// Masks, in place, the values that `spans` yields. A value longer than the mask shifts the rest of the text
// left as it goes; when a step would overrun text still to be read, the result is built in a fresh string
// instead. When memory runs out the text is cut after the last value masked in place, so no unmasked value
// survives and no half-moved text is left behind.
template <class Finder>
void MaskInPlace(std::string& text, Spans<Finder>& spans, std::size_t count) noexcept {
  Span span{};
  if (!spans.Next(span)) return;
  const char* const base = text.data();
  const std::size_t size = text.size();
  char* const data = &text[0];
  std::size_t read = 0;   // text before `read` is handled
  std::size_t write = 0;  // in place: the result so far is data[0, write)
  try {
    std::string grown;  // used once the result cannot stay in place
    bool inPlace = true;
    do {
      const std::size_t kept = span.start - read;
      const std::size_t limit = std::min(span.end, spans.SafeFrom());  // nothing at or after it may change yet
      if (inPlace && (count > limit || write + kept > limit - count)) {
        grown.reserve(size + (size >> 4) + std::min(count, size));
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

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (std::size_t from = 0, length = 0; from < text.size(); from += length) {
    const std::size_t at = FirstSpecial(text, from, length);
    out.append(text.data() + from, at - from);
    if (at == text.size()) break;
    from = at;
    const unsigned char c = static_cast<unsigned char>(text[at]);
    // The other line ends as the code points they are (\u, as JSON writes them): one escape for one character,
    // where \xHH would stand for bytes and split a character in three.
    const char* const named = length == 2   ? "\\u0085"
                              : length == 3 ? (text[at + 2] == '\xA8' ? "\\u2028" : "\\u2029")
                              : c == '\n'   ? "\\n"
                              : c == '\r'   ? "\\r"
                              : c == '\t'   ? "\\t"
                                            : nullptr;
    if (named != nullptr) {
      out.append(named);
    } else {
      const char hex[] = {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
      out.append(hex, sizeof hex);
    }
  }
}

void AppendMaskedText(std::string& out, std::string_view text, Controls controls) {
  AppendSpans(out, text, Spans<SecretFinder>(SecretFinder(text)), controls);
}

void AppendMaskedSerialized(std::string& out, std::string_view xml, Controls controls) {
  LibraryScan scan(xml);
  scan.To(xml.size());
  AppendScanned(out, xml, scan, 0, 0, controls);
}

void ComposeSerialized(std::string& xml, std::string_view prefix) {
  // Scanned a batch ahead of the moves, so that each part of the text is moved while it is still in cache.
  constexpr std::size_t kBatch = 64 * 1024;
  const std::size_t size = xml.size();
  char* data = &xml[0];
  LibraryScan scan(std::string_view(data, size));
  // In place, data[0, write) is the result so far, but for the prefix, which is written once the text under it
  // has moved; text from `read` on is as serialized. A step that would overwrite text not yet scanned is
  // preceded by more scanning; a value that would be overtaken, text to escape or to mask as any text go on
  // in a fresh string.
  std::size_t read = 0;
  std::size_t write = prefix.size();
  bool prefixDue = true;
  const auto moveInPlace = [&](std::size_t length) {
    std::memmove(data + write, data + read, length);
    if (prefixDue) std::memcpy(data, prefix.data(), prefix.size());
    prefixDue = false;
    write += length;
  };
  for (std::size_t i = 0;; ++i) {
    while (i == scan.spans.size() && !scan.Done()) scan.To(scan.Scanned() + kBatch);
    const bool last = i == scan.spans.size();
    const Span span = last ? Span{size, size} : scan.spans[i];
    const std::size_t reach = last ? write : write + (span.start - read) + kMask.size();
    while (reach > scan.Scanned() && !scan.Done()) scan.To(reach);
    if (scan.broken || scan.control || (!last && reach > span.end)) {
      scan.To(size);  // reads only text after where anything was written
      std::string grown;
      grown.reserve(size + size / 16 + prefix.size());
      grown.assign(prefixDue ? prefix.data() : data, prefixDue ? prefix.size() : write);
      AppendScanned(grown, std::string_view(data, size), scan, i, read, Controls::kEscape);
      return xml.swap(grown);
    }
    if (last) break;
    moveInPlace(span.start - read);
    std::memcpy(data + write, kMask.data(), kMask.size());
    write += kMask.size();
    read = span.end;
  }
  if (write > read) {
    xml.resize(write + (size - read));
    data = &xml[0];
  }
  moveInPlace(size - read);
  xml.resize(write);
}

namespace {

// Two texts read as one: what the text before a piece ends with, and the piece.
struct Joined {
  std::string_view before, piece;
  char operator[](std::size_t i) const { return i < before.size() ? before[i] : piece[i - before.size()]; }
};

// The code units a text's first bytes show: a byte-order mark of UTF-32 or UTF-16, or XML's "<" (and "?") in
// either with no mark; bytes otherwise. `head` holds four bytes, or the whole of a shorter text.
void UnitsOf(std::string_view head, std::size_t& width, bool& bigEndian) {
  using namespace std::string_view_literals;
  const auto starts = [head](std::string_view p) { return head.substr(0, p.size()) == p; };
  width = 1;
  bigEndian = false;
  if (starts("\xFF\xFE\0\0"sv) || starts("<\0\0\0"sv)) {
    width = 4;
  } else if (starts("\0\0\xFE\xFF"sv) || starts("\0\0\0<"sv)) {
    width = 4, bigEndian = true;
  } else if (starts("\xFF\xFE"sv) || starts("<\0?\0"sv)) {
    width = 2;
  } else if (starts("\xFE\xFF"sv) || starts("\0<\0?"sv)) {
    width = 2, bigEndian = true;
  }
}

}  // namespace

StreamMasker::StreamMasker() = default;
StreamMasker::~StreamMasker() = default;

void StreamMasker::Feed(std::string_view piece, std::string& out) {
  if (!started_) {
    const std::size_t take = std::min(piece.size(), 4 - head_.size());
    head_.append(piece.data(), take);
    piece.remove_prefix(take);
    if (head_.size() < 4) return;
    Start(out);
  }
  if (width_ == 1) return Scan(piece, piece, out);
  // Whole code units only; a unit split between pieces waits for its other bytes.
  units_.assign(carry_).append(piece);
  const std::size_t whole = units_.size() / width_ * width_;
  carry_.assign(units_, whole, std::string::npos);
  units_.resize(whole);
  view_.resize(whole / width_);
  for (std::size_t u = 0; u < view_.size(); ++u) {
    std::uint32_t unit = 0;
    for (std::size_t b = 0; b < width_; ++b) {
      const std::size_t byte = bigEndian_ ? b : width_ - 1 - b;
      unit = (unit << 8) | static_cast<unsigned char>(units_[u * width_ + byte]);
    }
    view_[u] = unit < 0x80 ? static_cast<char>(unit) : '\x80';
  }
  Scan(view_, units_, out);
}

void StreamMasker::Start(std::string& out) {
  UnitsOf(head_, width_, bigEndian_);
  started_ = true;
  const std::string head = std::move(head_);
  head_.clear();
  Feed(head, out);
}

void StreamMasker::Finish(std::string& out) {
  if (!started_) Start(out);
  if (double_.open || single_.open) {
    // A value never closed runs to the end of the text, a unit cut short included.
    for (OpenValue* value : {&double_, &single_}) {
      if (value->open) Close(*value, base_, {});
    }
    EmitAsUnits(kMask, out);
  } else {
    out.append(carry_);
  }
  Reset();
}

void StreamMasker::Reset() {
  head_.clear();
  started_ = false;  // the width of the text just masked stays until the next one's is known
  carry_.clear();
  context_.clear();
  base_ = emitted_ = 0;
  afterEquals_ = backslashDue_ = false;
  backslashes_ = 0;
  double_ = OpenValue{};
  single_ = OpenValue{};
  line_ = 1;
  lineStart_ = counted_ = 0;
}

// Reads a piece, one byte for each code unit in `view`, the units' own bytes in `source`: the names before "=",
// the blanks and the quote after it, and the closing quotes of the values open. Positions are counted in units
// from the text's start; what the text before the piece ends with is in context_.
void StreamMasker::Scan(std::string_view view, std::string_view source, std::string& out) {
  const std::size_t size = view.size();
  const Joined joined{context_, view};
  NextByte equals(view, '='), doubles(view, '"'), singles(view, '\'');
  for (std::size_t i = 0; i < size;) {
    if (afterEquals_) {
      if (backslashDue_) {  // the previous piece ended in a backslash: an escaped blank or quote, or no value
        backslashDue_ = false;
        afterEquals_ = IsEscapedBlankLetter(view[i]);
        if (IsQuote(view[i])) OnQuote(i, view, true, true, source, out);
        i += afterEquals_ || IsQuote(view[i]) ? 1 : 0;
        continue;
      }
      const std::size_t quote = BlanksAfter(view, i);
      if (quote == size || (quote + 1 == size && view[quote] == '\\')) {
        backslashDue_ = quote < size;
        break;
      }
      afterEquals_ = false;
      const bool escaped = view[quote] == '\\' && IsQuote(view[quote + 1]);
      if (escaped || IsQuote(view[quote])) {
        OnQuote(quote + (escaped ? 1 : 0), view, true, escaped, source, out);
        i = quote + (escaped ? 2 : 1);
      } else {
        i = quote;  // may be the next "="
      }
      continue;
    }
    std::size_t next = equals.From(i);
    if (double_.open) next = std::min(next, doubles.From(i));
    if (single_.open) next = std::min(next, singles.From(i));
    if (next == size) break;
    if (view[next] == '=') {
      equalsName_ = SecretNameBefore(joined, BlanksBefore(joined, context_.size() + next));
      afterEquals_ = !equalsName_.empty();
    } else {
      OnQuote(next, view, false, false, source, out);
    }
    i = next + 1;
  }
  for (OpenValue* value : {&double_, &single_}) {
    if (value->open) Close(*value, base_ + size, view, false);
  }
  if (!double_.open && !single_.open) {
    Emit(source, static_cast<std::size_t>(emitted_ - base_), size, out);
    emitted_ = base_ + size;
  }
  if (record_ != nullptr) CountLines(view, size);
  std::size_t trailing = size;
  while (trailing > 0 && view[trailing - 1] == '\\') --trailing;
  backslashes_ = (trailing == 0 ? backslashes_ : 0) + (size - trailing);
  // Keeps what a name before a later "=" may still need: the letters before the trailing run of blanks (which
  // one blank stands for), and a last backslash that the next piece may turn into an escaped blank.
  const std::size_t end = context_.size() + size;
  const std::size_t cut = end > 0 && joined[end - 1] == '\\' ? end - 1 : end;
  const std::size_t letters = BlanksBefore(joined, cut);
  std::string context;
  for (std::size_t k = letters > kLongestName ? letters - kLongestName : 0; k < letters; ++k) context += joined[k];
  if (letters < cut) context += ' ';
  if (cut < end) context += '\\';
  context_.swap(context);
  base_ += size;
}

// A quote at `at` of the piece: it closes the open value of its kind, and opens a value when it follows a
// secret name, "=" and blanks. Values that overlap are masked together, once none is open.
void StreamMasker::OnQuote(std::size_t at, std::string_view view, bool opens, bool escaped, std::string_view source,
                           std::string& out) {
  OpenValue& same = view[at] == '"' ? double_ : single_;
  const OpenValue& other = view[at] == '"' ? single_ : double_;
  const std::uint64_t position = base_ + at;
  if (same.open) {
    // The backslashes before the quote, within the value; an odd number escapes it.
    std::size_t before = at;
    while (before > 0 && view[before - 1] == '\\') --before;
    const std::uint64_t run = std::min((before == 0 ? backslashes_ : 0) + (at - before), position - same.start);
    const bool beforeBackslash = same.escaped && run % 2 != 0;
    Close(same, position - (beforeBackslash ? 1 : 0), view);
    if (!other.open) {
      EmitAsUnits(kMask, out);
      if (beforeBackslash) EmitAsUnits("\\", out);
      emitted_ = position;
    }
  }
  if (!opens) return;
  if (!other.open) {
    Emit(source, static_cast<std::size_t>(emitted_ - base_), at + 1, out);
    emitted_ = position + 1;
  }
  same = OpenValue{true, position + 1, {}, 0, 0, equalsName_, escaped};
  if (record_ != nullptr) {
    CountLines(view, at + 1);
    same.line = line_;
    same.column = (same.start - lineStart_) * width_ + 1;
  }
}

// Takes in the first bytes of a value as far as the piece holds them, up to `end`; with `closing`, the value
// ends there and is counted (and recorded) when masking changes it.
void StreamMasker::Close(OpenValue& value, std::uint64_t end, std::string_view view, bool closing) {
  const std::uint64_t headEnd = std::min(end, value.start + kMask.size() + 1);
  for (std::uint64_t at = std::max(value.start + value.head.size(), base_); at < headEnd; ++at) {
    value.head += view[static_cast<std::size_t>(at - base_)];
  }
  if (!closing) return;
  value.open = false;
  if (end - value.start == kMask.size() && std::string_view(value.head).substr(0, kMask.size()) == kMask) return;
  ++masked_;
  if (record_ != nullptr) record_->push_back({value.line, value.column, value.name});
}

void StreamMasker::Emit(std::string_view source, std::size_t from, std::size_t to, std::string& out) const {
  if (to > from) out.append(source.data() + from * width_, (to - from) * width_);
}

// Appends ASCII text in the text's code units.
void StreamMasker::EmitAsUnits(std::string_view text, std::string& out) const {
  for (const char c : text) {
    for (std::size_t b = 0; b < width_; ++b) out += (bigEndian_ ? b == width_ - 1 : b == 0) ? c : '\0';
  }
}

void StreamMasker::CountLines(std::string_view view, std::size_t to) {
  for (std::size_t at = counted_ > base_ ? static_cast<std::size_t>(counted_ - base_) : 0; at < to; ++at) {
    const void* hit = std::memchr(view.data() + at, '\n', to - at);
    if (hit == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(hit) - view.data());
    ++line_;
    lineStart_ = base_ + at + 1;
  }
  counted_ = base_ + to;
}

std::string MaskText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendMaskedText(out, text, Controls::kKeep);
  return out;
}

std::string MaskSerialized(std::string_view xml) {
  std::string out;
  out.reserve(xml.size());
  AppendMaskedSerialized(out, xml, Controls::kKeep);
  return out;
}

void MaskKey(std::string& text, std::string_view key, std::size_t count) noexcept {
  if (key.empty()) return;
  Spans<KeyFinder> spans(KeyFinder(text, key));
  MaskInPlace(text, spans, count);
}

}  // namespace zumask
