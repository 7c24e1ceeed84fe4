// Runs the splitters and BasicConversion over untrusted text. A successful
// split puts the pieces back together as the input; a failed one leaves its
// outputs alone. Every parsed integer survives formatting and parsing again,
// in decimal and hexadecimal, and a text with nothing readable leaves the
// value as it was.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"

namespace {

using ZUInstallManagerConversion::BasicConversion;

constexpr char kUntouched[] = "\x02untouched";

void CheckSplitDirAndFile(const std::string& path) {
  std::string directory = kUntouched, file = kUntouched;
  const bool split = UtilSplitDirAndFile(path, directory, file);
  const std::size_t backslash = path.rfind('\\');
  const std::size_t at = backslash != std::string::npos ? backslash : path.rfind('/');
  const bool expected = at != std::string::npos && at + 1 != path.size();
  zufuzz::Require(split == expected, "UtilSplitDirAndFile splits exactly when a separator precedes a name");
  if (!split) {
    zufuzz::Require(directory == kUntouched && file == kUntouched, "a failed path split leaves its outputs alone");
    return;
  }
  zufuzz::Require(directory + path[at] + file == path, "directory, separator and file make the path");
  zufuzz::Require(file.find(path[at]) == std::string::npos, "the file holds no separator");
}

void CheckSplitOsInformation(const std::string& input) {
  std::string out1 = kUntouched, out2 = kUntouched, out3 = kUntouched, out4 = kUntouched;
  const bool split = UtilSplitOsInformation(input, out1, out2, out3, out4);
  std::size_t separators = 0;
  for (std::size_t at = input.find(":-"); at != std::string::npos && separators < 3; at = input.find(":-", at + 2)) {
    ++separators;
  }
  zufuzz::Require(split == (separators == 3), "UtilSplitOsInformation needs three separators");
  const std::string* pieces[] = {&out3, &out1, &out2};
  for (std::size_t i = 0; i < 3; ++i) {
    const bool written = i < separators;
    zufuzz::Require(written ? pieces[i]->find(":-") == std::string::npos : *pieces[i] == kUntouched,
                    "the pieces before the missing separator are written, the others untouched");
  }
  if (split) {
    zufuzz::Require(out3 + ":-" + out1 + ":-" + out2 + ":-" + out4 == input, "the four pieces make the input");
  } else {
    zufuzz::Require(out4 == kUntouched, "a failed split leaves the last piece alone");
  }
}

void CheckSplitRelAndBuild(const std::string& input) {
  std::string build = kUntouched, release = kUntouched;
  const bool split = UtilSplitRelAndBuild(input, build, release);
  const std::size_t open = input.find('(');
  if (input.empty() || (open != std::string::npos && open + 1 == input.size())) {
    zufuzz::Require(!split && build == kUntouched && release == kUntouched,
                    "an empty input or a closing \"(\" leaves the outputs alone");
    return;
  }
  if (open == std::string::npos) {
    zufuzz::Require(split && build.empty() && release == input.substr(0, input.size() - 1),
                    "without \"(\" the release is the input minus its last character");
    return;
  }
  const std::size_t from = open == 0 ? 0 : open - 1;
  zufuzz::Require(build == input.substr(from), "the build starts just before the \"(\"", build);
  const std::string before = input.substr(0, open);
  const std::size_t dot = before.rfind('.');
  zufuzz::Require(split == (dot != std::string::npos), "the split needs a \".\" before the \"(\"");
  zufuzz::Require(release == (split ? before.substr(0, dot) : before), "the release is cut at its last \".\"");
}

// True when sscanf's decimal conversions can read a number from the text.
bool DecimalReadable(const char* text) {
  while (*text != '\0' && std::isspace(static_cast<unsigned char>(*text))) ++text;
  if (*text == '+' || *text == '-') ++text;
  return std::isdigit(static_cast<unsigned char>(*text)) != 0;
}

template <class T>
void CheckDecimal(const std::string& text, T sentinel) {
  T value = sentinel;
  BasicConversion::fromString(value, text);
  if (!DecimalReadable(text.c_str())) zufuzz::Require(value == sentinel, "nothing readable leaves the value");
  std::string written;
  BasicConversion::toString(value, written);
  T again = static_cast<T>(~value);
  BasicConversion::fromString(again, written);
  zufuzz::Require(again == value, "a decimal integer survives formatting and parsing", written);
}

template <class T>
void CheckHex(const std::string& text, T sentinel) {
  T value = sentinel;
  BasicConversion::fromHexString(value, text);
  std::string written;
  BasicConversion::toHexString(value, written);
  zufuzz::Require(written.compare(0, 2, "0x") == 0, "hexadecimal starts with 0x", written);
  T again = static_cast<T>(~value);
  BasicConversion::fromHexString(again, written);
  zufuzz::Require(again == value, "a hexadecimal integer survives formatting and parsing", written);
}

void CheckConversions(const std::string& text) {
  bool flag = true;
  BasicConversion::fromString(flag, text);
  zufuzz::Require(flag == (!text.empty() && text[0] != '0'), "a bool is false only for empty or a leading 0");
  char c = 'x';
  BasicConversion::fromString(c, text);
  zufuzz::Require(c == (text.empty() ? '\0' : text[0]), "a char is the first character");
  unsigned char uc = 'x';
  BasicConversion::fromString(uc, text);

  CheckDecimal<short>(text, 12345);
  CheckDecimal<unsigned short>(text, 54321);
  CheckDecimal<int>(text, -123456789);
  CheckDecimal<unsigned int>(text, 3000000000u);
  CheckDecimal<long>(text, -1234567890123L);
  CheckDecimal<unsigned long>(text, 12345678901234567890ul);
  CheckDecimal<long long>(text, -1234567890123456789LL);
  CheckDecimal<unsigned long long>(text, 9876543210987654321ull);
  CheckHex<unsigned short>(text, 0xBEEF);
  CheckHex<unsigned int>(text, 0xDEADBEEFu);
  CheckHex<unsigned long>(text, 0xFEEDFACECAFEBEEFul);
  CheckHex<unsigned long long>(text, 0x0123456789ABCDEFull);
  CheckHex<long long>(text, -2);

  float f = 1.5f;
  double d = 2.5;
  BasicConversion::fromString(f, text);
  BasicConversion::fromString(d, text);
  std::string written;
  BasicConversion::toString(f, written);
  zufuzz::Require(written.size() <= 23, "a formatted float keeps at most 23 characters");
  BasicConversion::toString(d, written);
  zufuzz::Require(written.size() <= 23, "a formatted double keeps at most 23 characters");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = zufuzz::Text(data, size);
  CheckSplitDirAndFile(text);
  CheckSplitOsInformation(text);
  CheckSplitRelAndBuild(text);
  CheckConversions(text);
  return 0;
}
