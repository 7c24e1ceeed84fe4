#include "StrictJson.h"

#include <algorithm>
#include <cstdint>
#include <set>

namespace tooltest {

namespace {

constexpr int kMaxDepth = 256;

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool Document(JsonValue& value, std::string& error) {
    SkipBlanks();
    bool ok = Value(value, 0);
    if (ok) {
      SkipBlanks();
      if (at_ != text_.size()) ok = Fail("text after the value");
    }
    if (!ok) error = "offset " + std::to_string(failedAt_) + ": " + reason_;
    return ok;
  }

 private:
  bool Fail(const char* reason) {
    if (reason_.empty()) {
      reason_ = reason;
      failedAt_ = at_;
    }
    return false;
  }

  bool AtEnd() const { return at_ == text_.size(); }
  char Peek() const { return text_[at_]; }

  void SkipBlanks() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++at_;
  }

  bool Literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return Fail("bad literal");
    at_ += word.size();
    return true;
  }

  bool Value(JsonValue& value, int depth) {
    if (AtEnd()) return Fail("value expected");
    switch (Peek()) {
      case '{':
        return Object(value, depth + 1);
      case '[':
        return Array(value, depth + 1);
      case '"':
        value.type = JsonValue::Type::String;
        return String(value.text);
      case 't':
        value.type = JsonValue::Type::Boolean;
        value.boolean = true;
        return Literal("true");
      case 'f':
        value.type = JsonValue::Type::Boolean;
        value.boolean = false;
        return Literal("false");
      case 'n':
        value.type = JsonValue::Type::Null;
        return Literal("null");
      default:
        return Number(value);
    }
  }

  bool Digits() {
    const std::size_t start = at_;
    while (!AtEnd() && Peek() >= '0' && Peek() <= '9') ++at_;
    return at_ != start;
  }

  bool Number(JsonValue& value) {
    const std::size_t start = at_;
    if (!AtEnd() && Peek() == '-') ++at_;
    if (AtEnd()) return Fail("digit expected");
    if (Peek() == '0') {
      ++at_;
    } else if (!Digits()) {
      return Fail("value expected");
    }
    if (!AtEnd() && Peek() == '.') {
      ++at_;
      if (!Digits()) return Fail("digit expected after '.'");
    }
    if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
      ++at_;
      if (!AtEnd() && (Peek() == '+' || Peek() == '-')) ++at_;
      if (!Digits()) return Fail("digit expected in exponent");
    }
    value.type = JsonValue::Type::Number;
    value.text.assign(text_.substr(start, at_ - start));
    return true;
  }

  bool Hex4(std::uint32_t& unit) {
    if (text_.size() - at_ < 4) return Fail("short \\u escape");
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      unit <<= 4;
      if (c >= '0' && c <= '9') {
        unit |= static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        unit |= static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        unit |= static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        return Fail("bad hex digit");
      }
    }
    return true;
  }

  static void AppendUtf8(std::uint32_t code, std::string& out) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  bool Escape(std::string& out) {
    if (AtEnd()) return Fail("unterminated string");
    const char c = text_[at_++];
    switch (c) {
      case '"': out += '"'; return true;
      case '\\': out += '\\'; return true;
      case '/': out += '/'; return true;
      case 'b': out += '\b'; return true;
      case 'f': out += '\f'; return true;
      case 'n': out += '\n'; return true;
      case 'r': out += '\r'; return true;
      case 't': out += '\t'; return true;
      case 'u': break;
      default: return Fail("bad escape");
    }
    std::uint32_t code = 0;
    if (!Hex4(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return Fail("lone low surrogate");
    if (code >= 0xD800 && code <= 0xDBFF) {
      std::uint32_t low = 0;
      if (text_.substr(at_, 2) != "\\u") return Fail("lone high surrogate");
      at_ += 2;
      if (!Hex4(low)) return false;
      if (low < 0xDC00 || low > 0xDFFF) return Fail("lone high surrogate");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(code, out);
    return true;
  }

  // Copies one UTF-8 sequence, refusing overlong forms, surrogates and values past U+10FFFF.
  bool Utf8(std::string& out) {
    const auto lead = static_cast<unsigned char>(text_[at_]);
    int extra = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      code = lead & 0x07u;
    } else {
      return Fail("invalid UTF-8");
    }
    if (text_.size() - at_ <= static_cast<std::size_t>(extra)) return Fail("invalid UTF-8");
    for (int i = 1; i <= extra; ++i) {
      const auto next = static_cast<unsigned char>(text_[at_ + i]);
      if ((next & 0xC0u) != 0x80u) return Fail("invalid UTF-8");
      code = (code << 6) | (next & 0x3Fu);
    }
    const std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < smallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return Fail("invalid UTF-8");
    }
    out.append(text_.substr(at_, extra + 1));
    at_ += extra + 1;
    return true;
  }

  bool String(std::string& out) {
    ++at_;  // the opening quote
    out.clear();
    for (;;) {
      if (AtEnd()) return Fail("unterminated string");
      const auto c = static_cast<unsigned char>(Peek());
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c < 0x20) return Fail("control character in string");
      if (c == '\\') {
        ++at_;
        if (!Escape(out)) return false;
      } else if (c < 0x80) {
        out += static_cast<char>(c);
        ++at_;
      } else if (!Utf8(out)) {
        return false;
      }
    }
  }

  bool Array(JsonValue& value, int depth) {
    if (depth > kMaxDepth) return Fail("nested too deeply");
    value.type = JsonValue::Type::Array;
    ++at_;
    SkipBlanks();
    if (!AtEnd() && Peek() == ']') {
      ++at_;
      return true;
    }
    for (;;) {
      SkipBlanks();
      value.items.emplace_back();
      if (!Value(value.items.back(), depth)) return false;
      SkipBlanks();
      if (AtEnd()) return Fail("unterminated array");
      if (Peek() == ']') {
        ++at_;
        return true;
      }
      if (Peek() != ',') return Fail("',' or ']' expected");
      ++at_;
    }
  }

  bool Object(JsonValue& value, int depth) {
    if (depth > kMaxDepth) return Fail("nested too deeply");
    value.type = JsonValue::Type::Object;
    ++at_;
    SkipBlanks();
    if (!AtEnd() && Peek() == '}') {
      ++at_;
      return true;
    }
    std::set<std::string> seen;
    for (;;) {
      SkipBlanks();
      if (AtEnd() || Peek() != '"') return Fail("member name expected");
      std::string key;
      if (!String(key)) return false;
      if (!seen.insert(key).second) return Fail("duplicate member name");
      SkipBlanks();
      if (AtEnd() || Peek() != ':') return Fail("':' expected");
      ++at_;
      SkipBlanks();
      value.members.emplace_back(std::move(key), JsonValue{});
      if (!Value(value.members.back().second, depth)) return false;
      SkipBlanks();
      if (AtEnd()) return Fail("unterminated object");
      if (Peek() == '}') {
        ++at_;
        return true;
      }
      if (Peek() != ',') return Fail("',' or '}' expected");
      ++at_;
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t failedAt_ = 0;
  std::string reason_;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
  if (type != Type::Object) return nullptr;
  const auto member = std::find_if(members.begin(), members.end(), [&](const auto& m) { return m.first == key; });
  return member == members.end() ? nullptr : &member->second;
}

bool ParseJson(std::string_view document, JsonValue& value, std::string& error) {
  value = JsonValue{};
  return Reader(document).Document(value, error);
}

void CollectStrings(const JsonValue& value, std::vector<std::string>& strings) {
  switch (value.type) {
    case JsonValue::Type::String:
      strings.push_back(value.text);
      return;
    case JsonValue::Type::Array:
      for (const JsonValue& item : value.items) CollectStrings(item, strings);
      return;
    case JsonValue::Type::Object:
      for (const auto& member : value.members) CollectStrings(member.second, strings);
      return;
    case JsonValue::Type::Null:
    case JsonValue::Type::Boolean:
    case JsonValue::Type::Number:
      return;
  }
}

}  // namespace tooltest
