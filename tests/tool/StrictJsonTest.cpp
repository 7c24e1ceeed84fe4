// The JSON reader must refuse what RFC 8259 refuses, or `show --json` checks prove nothing.
#include "StrictJson.h"

#include <gtest/gtest.h>

namespace tooltest {
namespace {

TEST(StrictJson, RefusesWhatTheGrammarDoesNotAllow) {
  const char* const refused[] = {
      "",                       // no value
      "{\"a\":1,}",             // trailing comma
      "[1,]",                   // trailing comma
      "{\"a\":1 \"b\":2}",      // missing comma
      "{'a':1}",                // single quotes
      "{a:1}",                  // bare name
      "{\"a\":1,\"a\":2}",      // duplicate name
      "[01]",                   // leading zero
      "[1.]",                   // no fraction digits
      "[.5]",                   // no integer part
      "[1e]",                   // no exponent digits
      "[+1]",                   // plus sign
      "[NaN]",                  // not a literal
      "[tru]",                  // cut literal
      "[\"a\nb\"]",             // bare line feed in a string
      "[\"\\x41\"]",            // unknown escape
      "[\"\\ud800\"]",          // lone high surrogate
      "[\"\\udc00\"]",          // lone low surrogate
      "[\"\xC0\xAF\"]",         // overlong UTF-8
      "[\"\xED\xA0\x80\"]",     // encoded surrogate
      "[\"\xFF\"]",             // not UTF-8
      "[\"abc",                 // unterminated string
      "[1] [2]",                // text after the value
      "{\"a\":1} x",            // text after the value
      "// c\n{}",               // comment
  };
  for (const char* document : refused) {
    JsonValue value;
    std::string error;
    EXPECT_FALSE(ParseJson(document, value, error)) << "accepted: " << document;
    EXPECT_FALSE(error.empty()) << document;
  }
}

TEST(StrictJson, RefusesNestingPastTheLimit) {
  JsonValue value;
  std::string error;
  EXPECT_TRUE(ParseJson(std::string(256, '[') + std::string(256, ']'), value, error)) << error;
  EXPECT_FALSE(ParseJson(std::string(257, '[') + std::string(257, ']'), value, error));
}

TEST(StrictJson, ReadsValuesAndDecodesEscapes) {
  const std::string document =
      " {\"n\": -12.5e+3, \"t\": true, \"f\": false, \"z\": null, \"e\": [], \"o\": {},\n"
      "  \"s\": \"q\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\ud83d\\ude00\xE2\x82\xAC\"} ";
  JsonValue value;
  std::string error;
  ASSERT_TRUE(ParseJson(document, value, error)) << error;
  ASSERT_EQ(value.type, JsonValue::Type::Object);
  ASSERT_EQ(value.members.size(), 7u);
  EXPECT_EQ(value.members[0].first, "n");
  EXPECT_EQ(value.Find("n")->text, "-12.5e+3");
  EXPECT_TRUE(value.Find("t")->boolean);
  EXPECT_EQ(value.Find("f")->type, JsonValue::Type::Boolean);
  EXPECT_FALSE(value.Find("f")->boolean);
  EXPECT_EQ(value.Find("z")->type, JsonValue::Type::Null);
  EXPECT_EQ(value.Find("e")->type, JsonValue::Type::Array);
  EXPECT_EQ(value.Find("o")->type, JsonValue::Type::Object);
  EXPECT_EQ(value.Find("s")->text, "q\"\\/\b\f\n\r\t\xC3\xA9\xF0\x9F\x98\x80\xE2\x82\xAC");
  EXPECT_EQ(value.Find("missing"), nullptr);

  std::vector<std::string> strings;
  CollectStrings(value, strings);
  EXPECT_EQ(strings.size(), 1u);
}

}  // namespace
}  // namespace tooltest
