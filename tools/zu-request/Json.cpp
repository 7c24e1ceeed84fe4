#include "Json.h"

#include <cstdio>

namespace zutool::json {

namespace {

// Length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const auto continuation = [&](std::size_t i) { return i < text.size() && (byte(i) & 0xC0) == 0x80; };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (!continuation(1) || !continuation(2)) return 0;
    // No overlong forms, no UTF-16 surrogates.
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F)) return 0;
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
    if ((lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F)) return 0;
    return 4;
  }
  return 0;
}

void Indent(std::ostream& out, int depth) {
  for (int i = 0; i < depth; ++i) out << "  ";
}

void WriteValue(std::ostream& out, const Value& value, int depth) {
  switch (value.kind()) {
    case Value::Kind::Null:
      out << "null";
      return;
    case Value::Kind::Integer:
      out << value.integer();
      return;
    case Value::Kind::Unsigned:
      out << value.unsignedInteger();
      return;
    case Value::Kind::Boolean:
      out << (value.boolean() ? "true" : "false");
      return;
    case Value::Kind::Text:
      out << Quote(value.text());
      return;
    case Value::Kind::Array: {
      if (value.items().empty()) {
        out << "[]";
        return;
      }
      // Arrays of plain values stay on one line.
      bool flat = true;
      for (const Value& item : value.items()) {
        flat = flat && item.kind() != Value::Kind::Array && item.kind() != Value::Kind::Object;
      }
      out << '[';
      const char* separator = "";
      for (const Value& item : value.items()) {
        out << separator;
        if (!flat) {
          out << '\n';
          Indent(out, depth + 1);
        }
        WriteValue(out, item, depth + 1);
        separator = flat ? ", " : ",";
      }
      if (!flat) {
        out << '\n';
        Indent(out, depth);
      }
      out << ']';
      return;
    }
    case Value::Kind::Object: {
      if (value.members().empty()) {
        out << "{}";
        return;
      }
      out << '{';
      const char* separator = "\n";
      for (const auto& [key, member] : value.members()) {
        out << separator;
        Indent(out, depth + 1);
        out << Quote(key) << ": ";
        WriteValue(out, member, depth + 1);
        separator = ",\n";
      }
      out << '\n';
      Indent(out, depth);
      out << '}';
      return;
    }
  }
}

}  // namespace

Value Value::Integer(long long number) {
  Value v;
  v.kind_ = Kind::Integer;
  v.integer_ = number;
  return v;
}

Value Value::Unsigned(unsigned long long number) {
  Value v;
  v.kind_ = Kind::Unsigned;
  v.unsigned_ = number;
  return v;
}

Value Value::Boolean(bool flag) {
  Value v;
  v.kind_ = Kind::Boolean;
  v.boolean_ = flag;
  return v;
}

Value Value::Text(std::string text) {
  Value v;
  v.kind_ = Kind::Text;
  v.text_ = std::move(text);
  return v;
}

Value Value::Array() {
  Value v;
  v.kind_ = Kind::Array;
  return v;
}

Value Value::Object() {
  Value v;
  v.kind_ = Kind::Object;
  return v;
}

Value& Value::append(Value item) {
  items_.push_back(std::move(item));
  return *this;
}

Value& Value::set(std::string key, Value value) {
  members_.emplace_back(std::move(key), std::move(value));
  return *this;
}

std::string Quote(std::string_view text) {
  std::string quoted = "\"";
  quoted.reserve(text.size() + 2);
  while (!text.empty()) {
    const unsigned char c = static_cast<unsigned char>(text.front());
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\r') {
      quoted += "\\r";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      const std::size_t length = Utf8Length(text);
      if (length == 0) {
        quoted += "\\ufffd";
        text.remove_prefix(1);
        continue;
      }
      quoted.append(text.data(), length);
      text.remove_prefix(length);
      continue;
    }
    text.remove_prefix(1);
  }
  quoted += '"';
  return quoted;
}

void Write(std::ostream& out, const Value& value) {
  WriteValue(out, value, 0);
  out << '\n';
}

}  // namespace zutool::json
