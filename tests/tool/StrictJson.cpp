#include "StrictJson.h"

#include <charconv>
#include <cstdint>
#include <set>

namespace tooltest {

namespace {

bool IsSurrogate(std::uint32_t code) { return code >= 0xD800 && code <= 0xDFFF; }

void AppendUtf8(std::uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
    return;
  }
  const int length = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
  out += static_cast<char>(((0xFF00u >> length) | (code >> (6 * (length - 1)))) & 0xFFu);
  for (int shift = 6 * (length - 2); shift >= 0; shift -= 6) out += static_cast<char>(0x80u | ((code >> shift) & 0x3Fu));
}

class Reader {
 public:
  Reader(std::string_view text, std::vector<std::string>& strings) : text_(text), strings_(strings) {}

  std::string Document() {
    Blanks();
    if (Value() && (Blanks(), !More() || Fail("text after the value"))) return "";
    return "offset " + std::to_string(at_) + ": " + reason_;
  }

 private:
  // Every caller returns at once on failure, so `at_` stays where the fault is.
  bool Fail(const char* reason) {
    reason_ = reason;
    return false;
  }
  bool More() const { return at_ < text_.size(); }
  bool Is(char c) const { return More() && text_[at_] == c; }
  bool Take(char c) { return Is(c) && (++at_, true); }
  void Blanks() {
    while (More() && std::string_view(" \t\n\r").find(text_[at_]) != std::string_view::npos) ++at_;
  }
  std::size_t Digits() {
    const std::size_t from = at_;
    while (More() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ - from;
  }

  bool Value() {
    if (Is('{')) return Container('}', true);
    if (Is('[')) return Container(']', false);
    if (Is('"')) {
      strings_.emplace_back();
      return String(strings_.back());
    }
    for (const std::string_view word : {"true", "false", "null"}) {
      if (text_.substr(at_, word.size()) == word) {
        at_ += word.size();
        return true;
      }
    }
    return Number();
  }

  bool Number() {
    Take('-');
    if (!Take('0') && Digits() == 0) return Fail("value expected");
    if (Take('.') && Digits() == 0) return Fail("digit expected after '.'");
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (Digits() == 0) return Fail("digit expected in exponent");
    }
    return true;
  }

  // Reads an array, or with `named` an object, from its opening bracket.
  bool Container(char close, bool named) {
    ++at_;
    Blanks();
    if (Take(close)) return true;
    std::set<std::string> names;
    do {
      Blanks();
      if (named) {
        std::string name;
        if (!Is('"')) return Fail("member name expected");
        if (!String(name)) return false;
        if (!names.insert(name).second) return Fail("duplicate member name");
        Blanks();
        if (!Take(':')) return Fail("':' expected");
        Blanks();
      }
      if (!Value()) return false;
      Blanks();
    } while (Take(','));
    return Take(close) || Fail(named ? "',' or '}' expected" : "',' or ']' expected");
  }

  bool String(std::string& out) {
    ++at_;
    while (!Take('"')) {
      if (!More()) return Fail("unterminated string");
      const auto c = static_cast<unsigned char>(text_[at_]);
      if (c < 0x20) return Fail("control character in string");
      if (c == '\\') {
        ++at_;
        if (!Escape(out)) return false;
      } else if (c < 0x80) {
        out += static_cast<char>(c);
        ++at_;
      } else if (!Utf8(out)) {
        return Fail("invalid UTF-8");
      }
    }
    return true;
  }

  bool Hex4(std::uint32_t& code) {
    const char* from = text_.data() + at_;
    if (text_.size() - at_ < 4 || std::from_chars(from, from + 4, code, 16).ptr != from + 4) {
      return Fail("bad \\u escape");
    }
    at_ += 4;
    return true;
  }

  bool Escape(std::string& out) {
    constexpr std::string_view kNamed = "\"\\/bfnrt", kMeant = "\"\\/\b\f\n\r\t";
    const std::size_t named = More() ? kNamed.find(text_[at_]) : std::string_view::npos;
    if (named != std::string_view::npos) {
      out += kMeant[named];
      ++at_;
      return true;
    }
    std::uint32_t code = 0;
    if (!Take('u')) return Fail("bad escape");
    if (!Hex4(code)) return false;
    if (code >= 0xD800 && code <= 0xDBFF) {
      std::uint32_t low = 0;
      if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) return Fail("lone surrogate");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    } else if (IsSurrogate(code)) {
      return Fail("lone surrogate");
    }
    AppendUtf8(code, out);
    return true;
  }

  // Copies one UTF-8 sequence; re-encoding its code point must give the same bytes, so overlong forms fail.
  bool Utf8(std::string& out) {
    const auto lead = static_cast<unsigned char>(text_[at_]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || text_.size() - at_ < length) return false;
    std::uint32_t code = lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(text_[at_ + i]);
      if ((next & 0xC0u) != 0x80u) return false;
      code = code << 6 | (next & 0x3Fu);
    }
    if (IsSurrogate(code) || code > 0x10FFFF) return false;
    const std::size_t before = out.size();
    AppendUtf8(code, out);
    if (std::string_view(out).substr(before) != text_.substr(at_, length)) return false;
    at_ += length;
    return true;
  }

  std::string_view text_;
  std::vector<std::string>& strings_;
  std::size_t at_ = 0;
  std::string reason_;
};

}  // namespace

std::string JsonStrings(std::string_view document, std::vector<std::string>& strings) {
  return Reader(document, strings).Document();
}

}  // namespace tooltest
