// MaskInformation: where a value ends, which names match, and agreement with
// a plain one-match-at-a-time model on random texts.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "ZUInstallLog.h"

namespace {

struct MaskCase {
  const char* name;
  const char* text;
  const char* key;
  unsigned long count;
  const char* expected;
};

const MaskCase kCases[] = {
    {"LastAttributeOfElement", R"(<u name="a" password="abc"/>)", "password=\"", 8,
     R"(<u name="a" password="********"/>)"},
    {"LastAttributeBeforeChildren", R"(<u password="abc"><c x="1"/></u>)", "password=\"", 8,
     R"(<u password="********"><c x="1"/></u>)"},
    {"EmptyValue", R"(<u password="" x="1"/>)", "password=\"", 8, R"(<u password="********" x="1"/>)"},
    {"TwoLongPasswords", R"(<a password="0123456789ab"/><b password="ba9876543210xyz"/>)", "password=\"", 8,
     R"(<a password="********"/><b password="********"/>)"},
    {"AdjacentValues", R"(password="a"password="b")", "password=\"", 8, R"(password="********"password="********")"},
    {"InsideLongerName", R"(<u newpassword="abc"/>)", "password=\"", 8, R"(<u newpassword="********"/>)"},
    {"CaseSensitive", R"(<u Password="abc" PASSWORD="d"/>)", "password=\"", 8, R"(<u Password="abc" PASSWORD="d"/>)"},
    {"NoClosingQuoteRunsToTheEnd", R"(<u password="abc/> tail)", "password=\"", 8, R"(<u password="********)"},
    {"KeyAtTheEnd", R"(<u password=")", "password=\"", 8, R"(<u password="********)"},
    {"AlreadyMasked", R"(<u password="********"/>)", "password=\"", 8, R"(<u password="********"/>)"},
    {"EmptyKeyChangesNothing", R"(<u password="abc"/>)", "", 8, R"(<u password="abc"/>)"},
    {"EmptyText", "", "password=\"", 8, ""},
    {"CountZeroRemovesTheValue", R"(<u password="abc" x="1"/>)", "password=\"", 0, R"(<u password="" x="1"/>)"},
    {"CountLongerThanValue", R"(password="ab" password="cd")", "password=\"", 3, R"(password="***" password="***")"},
    // The search resumes after the closing quote, so a key inside a value is masked with it.
    {"KeyInsideAValue", R"(password="x password=" y="z")", "password=\"", 8, R"(password="********" y="z")"},
    {"QuoteAsKey", R"(a"bc"de"f)", "\"", 2, R"(a"**"de"**)"},
    // A quote followed by "/" or ">" used to be skipped, masking unrelated text up to a later quote and blank.
    {"ValueEndsAtAnyQuoteNotOnlyQuoteAndBlank", R"(<u password="abc"/><v note="keep me" x="1"/>)", "password=\"", 8,
     R"(<u password="********"/><v note="keep me" x="1"/>)"},
};

void PrintTo(const MaskCase& c, std::ostream* out) { *out << c.name; }

class MaskInformationCases : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskInformationCases, MasksUpToTheNextQuote) {
  const MaskCase& c = GetParam();
  std::string text = c.text;
  MaskInformation(text, c.key, c.count);
  EXPECT_EQ(text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(MaskInformation, MaskInformationCases, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<MaskCase>& info) { return info.param.name; });

// The model: find, replace in place, resume after the closing quote.
std::string MaskOneAtATime(std::string text, const std::string& key, unsigned long count) {
  if (key.empty()) return text;
  std::size_t at = text.find(key);
  while (at != std::string::npos) {
    const std::size_t start = at + key.size();
    std::size_t end = text.find('"', start);
    const bool closed = end != std::string::npos;
    if (!closed) end = text.size();
    text.replace(start, end - start, std::string(count, '*'));
    if (!closed) break;
    at = text.find(key, start + count + 1);
  }
  return text;
}

TEST(MaskInformation, AgreesWithOneAtATimeModelOnRandomTexts) {
  const char* pieces[] = {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\"", "\"", " ", "/>",
                          "a", "0123456789abcdefghij", "=", "*", "pass", "word=\""};
  const char* keys[] = {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\"", "\"", "a", "word=\""};
  std::mt19937 random(7);
  std::uniform_int_distribution<int> piece(0, std::size(pieces) - 1), key(0, std::size(keys) - 1),
      length(0, 40), count(0, 24);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    for (int n = length(random); n > 0; --n) text += pieces[piece(random)];
    const std::string k = keys[key(random)];
    const unsigned long c = static_cast<unsigned long>(count(random));
    std::string masked = text;
    MaskInformation(masked, k, c);
    ASSERT_EQ(masked, MaskOneAtATime(text, k, c)) << "text: " << text << "\nkey: " << k << "\ncount: " << c;
  }
}

}  // namespace
