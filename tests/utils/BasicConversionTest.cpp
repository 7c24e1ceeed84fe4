#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "ZUInstallUtils.h"
#include "utils/UtilsTestSupport.h"

namespace {

using ZUInstallManagerConversion::BasicConversion;

// Each starts from a value the conversion must replace or, for parsing, may keep.
template <class T>
std::string Text(T value) { std::string text = "previous text"; BasicConversion::toString(value, text); return text; }
template <class T>
std::string Hex(T value) { std::string text = "previous text"; BasicConversion::toHexString(value, text); return text; }
template <class T>
T Parse(const std::string& text, T start) { BasicConversion::fromString(start, text); return start; }
template <class T>
T ParseHex(const std::string& text, T start) { BasicConversion::fromHexString(start, text); return start; }

// Formats both extremes and reads them back unchanged.
template <class T>
void ExpectExtremesRoundTrip(const char* lowest, const char* highest) {
  const T low = std::numeric_limits<T>::min();
  const T high = std::numeric_limits<T>::max();
  EXPECT_EQ(Text(low), lowest);
  EXPECT_EQ(Text(high), highest);
  EXPECT_EQ(Parse<T>(lowest, T(1)), low) << lowest;
  EXPECT_EQ(Parse<T>(highest, T(1)), high) << highest;
}

TEST(BasicConversionToString, ExtremesOfEachIntegerTypeInFull) {
  ExpectExtremesRoundTrip<short>("-32768", "32767");
  ExpectExtremesRoundTrip<unsigned short>("0", "65535");
  ExpectExtremesRoundTrip<int>("-2147483648", "2147483647");
  ExpectExtremesRoundTrip<unsigned int>("0", "4294967295");
  ExpectExtremesRoundTrip<long>("-9223372036854775808", "9223372036854775807");
  ExpectExtremesRoundTrip<unsigned long>("0", "18446744073709551615");
  ExpectExtremesRoundTrip<long long>("-9223372036854775808", "9223372036854775807");
  ExpectExtremesRoundTrip<unsigned long long>("0", "18446744073709551615");
}

TEST(BasicConversionToString, CharactersAndBooleans) {
  EXPECT_EQ(Text('A'), "A");
  EXPECT_EQ(Text('\0'), "") << "NUL gives an empty text";
  EXPECT_EQ(Text(static_cast<unsigned char>(0xE9)), "\xE9");
  EXPECT_EQ(Text(static_cast<unsigned char>(0)), "");
  EXPECT_EQ(Text(true), "1");
  EXPECT_EQ(Text(false), "0");
}

TEST(BasicConversionToString, FloatingPointCutAt23Characters) {
  EXPECT_EQ(Text(1.5), "1.500000");
  EXPECT_EQ(Text(0.1f), "0.100000");
  EXPECT_EQ(Text(-0.0000004), "-0.000000");
  EXPECT_EQ(Text(1e15), "1000000000000000.000000");
  EXPECT_EQ(Text(1e16), "10000000000000000.00000") << "the last decimal is cut";
  EXPECT_EQ(Text(-DBL_MAX), "-1797693134862315708145");
  EXPECT_EQ(Text(FLT_MAX), "34028234663852885981170");
}

TEST(BasicConversionToHexString, LowerCaseWithPrefixAndTwosComplement) {
  EXPECT_EQ(Hex(static_cast<unsigned short>(255)), "0xff");
  EXPECT_EQ(Hex(static_cast<unsigned short>(0)), "0x0");
  EXPECT_EQ(Hex(UINT_MAX), "0xffffffff");
  EXPECT_EQ(Hex(ULONG_MAX), "0xffffffffffffffff");
  EXPECT_EQ(Hex(0xABCDEFull), "0xabcdef");
  EXPECT_EQ(Hex(-1LL), "0xffffffffffffffff");
  EXPECT_EQ(Hex(LLONG_MIN), "0x8000000000000000");
  EXPECT_EQ(Hex(LLONG_MAX), "0x7fffffffffffffff");
}

TEST(BasicConversionFromString, ScannerRulesForNumbers) {
  EXPECT_EQ(Parse<int>("  42abc", 7), 42);
  EXPECT_EQ(Parse<int>("\t\n-17", 7), -17);
  EXPECT_EQ(Parse<int>("+8", 7), 8);
  EXPECT_EQ(Parse<long long>(" 12 34", 7), 12);
  EXPECT_EQ(Parse<short>("-32768", 7), SHRT_MIN);
  EXPECT_EQ(Parse<double>(" 2.5e3xyz", 7), 2500.0);
  EXPECT_EQ(Parse<float>("0.1", 7), 0.1f);
  EXPECT_EQ(Parse<unsigned long long>("18446744073709551615", 7), ULLONG_MAX);
}

TEST(BasicConversionFromString, NothingReadableKeepsValue) {
  for (const char* text : {"", "   ", "-", "abc", "x42", ".e5"}) {
    EXPECT_EQ(Parse<int>(text, 7), 7) << text;
    EXPECT_EQ(Parse<unsigned long>(text, 7), 7ul) << text;
    EXPECT_EQ(Parse<short>(text, 7), 7) << text;
    EXPECT_EQ(Parse<double>(text, 7.5), 7.5) << text;
    EXPECT_EQ(Parse<float>(text, 7.5f), 7.5f) << text;
  }
  for (const char* text : {"", "   ", "-", "xyz", "g1"}) {
    EXPECT_EQ(ParseHex<unsigned int>(text, 7u), 7u) << text;
    EXPECT_EQ(ParseHex<long long>(text, 7), 7) << text;
  }
}

TEST(BasicConversionFromString, FirstCharacterRules) {
  const struct {
    const char* text;
    bool expected;
  } booleans[] = {{"", false}, {"0", false}, {"00", false}, {"0.5", false}, {"1", true},
                  {"false", true}, {" 0", true}, {"9", true}};
  for (const auto& c : booleans) EXPECT_EQ(Parse<bool>(c.text, !c.expected), c.expected) << c.text;

  EXPECT_EQ(Parse<char>("xyz", 'q'), 'x');
  EXPECT_EQ(Parse<char>("", 'q'), '\0');
  EXPECT_EQ(Parse<char>(" a", 'q'), ' ') << "no blank is skipped";
  EXPECT_EQ(Parse<unsigned char>("\xFF", 'q'), 0xFF);
  EXPECT_EQ(Parse<unsigned char>("", 'q'), 0);
}

TEST(BasicConversionFromHexString, OptionalPrefixAndFullWidth) {
  EXPECT_EQ(ParseHex<unsigned int>("0x1F", 0u), 31u);
  EXPECT_EQ(ParseHex<unsigned int>("1f", 0u), 31u);
  EXPECT_EQ(ParseHex<unsigned int>("  0X1fz", 0u), 31u);
  EXPECT_EQ(ParseHex<unsigned short>("ffff", 0), 0xFFFF);
  EXPECT_EQ(ParseHex<unsigned long>("0xffffffffffffffff", 0ul), ULONG_MAX);
  EXPECT_EQ(ParseHex<unsigned long long>("DEADBEEF00", 0ull), 0xDEADBEEF00ull);
  EXPECT_EQ(ParseHex<long long>("ffffffffffffffff", 0), -1);
  EXPECT_EQ(ParseHex<long long>(Hex(LLONG_MIN), 0), LLONG_MIN);
}

}  // namespace
