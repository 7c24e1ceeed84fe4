// A strict JSON reader (RFC 8259) for checking the tool's --json output:
// no trailing commas, comments, duplicate keys, bare control characters,
// lone surrogates, invalid UTF-8 or text after the value.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tooltest {

struct JsonValue {
  enum class Type { Null, Boolean, Number, String, Array, Object };

  Type type = Type::Null;
  bool boolean = false;
  std::string text;  // a String's decoded UTF-8, or a Number as written
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;  // in document order

  // Returns the member `key` of an Object; null when absent or not an Object.
  const JsonValue* Find(std::string_view key) const;
};

// Parses a whole document. Returns false with `error` ("offset N: reason") on
// anything RFC 8259 does not allow, or nesting deeper than 256.
bool ParseJson(std::string_view document, JsonValue& value, std::string& error);

// Appends every String value (not member names) of the tree, depth first.
void CollectStrings(const JsonValue& value, std::vector<std::string>& strings);

}  // namespace tooltest
