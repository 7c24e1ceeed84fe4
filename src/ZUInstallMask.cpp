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

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// Tells whether any of eight bytes is a control character, with no branch per byte: whole requests pass here.
bool HoldsControl8(std::uint64_t bytes) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighs = 0x8080808080808080u;
  const std::uint64_t below = (bytes - kOnes * 0x20) & ~bytes & kHighs;
  const std::uint64_t del = bytes ^ (kOnes * 0x7F);
  return (below | ((del - kOnes) & ~del & kHighs)) != 0;
}

// The position of the first control character at or after `from`; the end of the text when none.
std::size_t FirstControl(std::string_view text, std::size_t from) {
  std::size_t at = from;
  for (std::uint64_t bytes; at + sizeof bytes <= text.size(); at += sizeof bytes) {
    std::memcpy(&bytes, text.data() + at, sizeof bytes);
    if (HoldsControl8(bytes)) break;
  }
  while (at < text.size() && !IsControl(text[at])) ++at;
  return at;
}

void Keep(std::string& out, std::string_view text, Controls controls) {
  if (controls == Controls::kEscape) {
    AppendEscaped(out, text);
  } else {
    out.append(text);
  }
}

// The first position at or after a growing start where one byte stands; the starts asked for never decrease,
// so each byte is looked at once. An answer, once found, stays right when the text before it is rewritten.
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
      std::size_t nameEnd = equals;
      while (nameEnd > 0 && IsBlank(text_[nameEnd - 1])) --nameEnd;
      if (nameEnd == 0 || !kSecretLastLetters.is[static_cast<unsigned char>(text_[nameEnd - 1])]) continue;
      std::size_t quote = equals + 1;
      while (quote < size && IsBlank(text_[quote])) ++quote;
      if (quote == size || (text_[quote] != '"' && text_[quote] != '\'')) continue;
      for (std::string_view name : kSecretNames) {
        if (nameEnd >= name.size() && text_.compare(nameEnd - name.size(), name.size(), name) == 0) {
          span = {quote + 1, (text_[quote] == '"' ? double_ : single_).From(quote + 1)};
          return true;
        }
      }
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
      : text_(text), key_(key), closing_(text, !key.empty() && key.back() == '\'' ? '\'' : '"') {}

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
    span = {at + key_.size(), closing_.From(at + key_.size())};
    return true;
  }
  std::size_t SafeFrom() const { return cursor_; }

 private:
  std::string_view text_;
  std::string_view key_;
  NextByte closing_;
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

// Byte classes of 64 bytes, bit i for byte i, and whether any is a control character.
struct Block {
  std::uint64_t quote = 0, apostrophe = 0, equals = 0;
  bool control = false;
};

// Bytes that the library's XML hardly ever holds: single quotes and control characters, looked at one by one
// only in a block that has one.
void ClassifyRare(const char* p, Block& b) {
  for (int i = 0; i < 64; ++i) {
    b.apostrophe |= std::uint64_t{p[i] == '\''} << i;
    b.control |= IsControl(p[i]);
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
  bool control = false;  // a byte scanned is a control character

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

StreamMasker::StreamMasker() = default;
StreamMasker::~StreamMasker() = default;

// Holds the whole text until Finish: correct for any split, bounded by the text.
void StreamMasker::Feed(std::string_view piece, std::string& /*out*/) { pending_.append(piece); }

void StreamMasker::Finish(std::string& out) {
  const std::string_view text = pending_;
  SecretFinder find(text);
  std::size_t line = 1, lineStart = 0, counted = 0;
  for (Span span{}; find(span);) {
    if (text.substr(span.start, span.end - span.start) == kMask) continue;
    ++masked_;
    if (record_ == nullptr) continue;
    for (; counted < span.start; ++counted) {
      if (text[counted] == '\n') ++line, lineStart = counted + 1;
    }
    std::string_view name;
    std::size_t nameEnd = text.rfind('=', span.start);
    while (nameEnd > 0 && IsBlank(text[nameEnd - 1])) --nameEnd;
    for (std::string_view candidate : kSecretNames) {
      if (nameEnd >= candidate.size() && text.compare(nameEnd - candidate.size(), candidate.size(), candidate) == 0) {
        name = candidate;
      }
    }
    record_->push_back({line, span.start - lineStart + 1, name});
  }
  AppendMaskedText(out, text, Controls::kKeep);
  pending_.clear();
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
