// A small JSON document model and writer for the tool's --json output.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zutool::json {

// A JSON value; object members keep the order they were set in.
class Value {
 public:
  enum class Kind { Null, Integer, Unsigned, Boolean, Text, Array, Object };

  Value() = default;
  static Value Integer(long long number);
  static Value Unsigned(unsigned long long number);
  static Value Boolean(bool flag);
  static Value Text(std::string text);
  static Value Array();
  static Value Object();

  Kind kind() const { return kind_; }
  bool isNull() const { return kind_ == Kind::Null; }
  long long integer() const { return integer_; }
  unsigned long long unsignedInteger() const { return unsigned_; }
  bool boolean() const { return boolean_; }
  const std::string& text() const { return text_; }
  const std::vector<Value>& items() const { return items_; }
  const std::vector<std::pair<std::string, Value>>& members() const { return members_; }

  // Appends to an array; returns *this.
  Value& append(Value item);
  // Adds a member to an object (keys are not checked for repeats); returns *this.
  Value& set(std::string key, Value value);

 private:
  Kind kind_ = Kind::Null;
  long long integer_ = 0;
  unsigned long long unsigned_ = 0;
  bool boolean_ = false;
  std::string text_;
  std::vector<Value> items_;
  std::vector<std::pair<std::string, Value>> members_;
};

// Returns `text` as a JSON string literal; bytes that are not UTF-8 become U+FFFD.
std::string Quote(std::string_view text);
// Writes the value indented by two blanks per level, with a final line feed.
void Write(std::ostream& out, const Value& value);

}  // namespace zutool::json
