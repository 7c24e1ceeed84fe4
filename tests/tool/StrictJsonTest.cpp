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
      "[\"\\u12\"]",            // short \u escape
      "[\"\\ud800\"]",          // lone high surrogate
      "[\"\\udc00\"]",          // lone low surrogate
      "[\"\xC0\xAF\"]",         // overlong UTF-8
      "[\"\xED\xA0\x80\"]",     // encoded surrogate
      "[\"\xF4\x90\x80\x80\"]", // past U+10FFFF
      "[\"\xFF\"]",             // not UTF-8
      "[\"\xC3\"]",             // cut UTF-8 sequence
      "[\"abc",                 // unterminated string
      "[1] [2]",                // text after the value
      "{\"a\":1} x",            // text after the value
      "// c\n{}",               // comment
  };
  for (const char* document : refused) {
    std::vector<std::string> strings;
    EXPECT_NE(JsonStrings(document, strings), "") << "accepted: " << document;
  }
}

TEST(StrictJson, ReadsEveryValueAndDecodesStringsButNotMemberNames) {
  const std::string document =
      " {\"n\": -12.5e+3, \"t\": true, \"f\": false, \"z\": null, \"e\": [0, 1E-2], \"o\": {},\n"
      "  \"s\": \"q\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\ud83d\\ude00\xE2\x82\xAC\", \"a\": [\"x\", {\"y\": \"\"}]} ";
  std::vector<std::string> strings;
  ASSERT_EQ(JsonStrings(document, strings), "");
  EXPECT_EQ(strings, (std::vector<std::string>{"q\"\\/\b\f\n\r\t\xC3\xA9\xF0\x9F\x98\x80\xE2\x82\xAC", "x", ""}));
}

}  // namespace
}  // namespace tooltest
