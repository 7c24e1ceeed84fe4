// The fuzzers' XML dictionary must know every name of the vocabulary, or a
// field added to the schema goes unfuzzed; its entries must parse as
// libFuzzer reads them.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <sstream>
#include <string>

#include "ZuInstallMessages.h"
#include "hardening/HardeningSupport.h"

namespace {

// The values of `name="value"` lines with libFuzzer's escapes (\\, \", \xNN) decoded.
std::set<std::string> DictionaryValues(const std::string& text, std::string& malformed) {
  std::set<std::string> values;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t open = line.find("=\"");
    if (open == std::string::npos || line.back() != '"' || line.size() < open + 3) {
      malformed = line;
      continue;
    }
    std::string value;
    for (std::size_t i = open + 2; i + 1 < line.size(); ++i) {
      if (line[i] != '\\') {
        value += line[i];
      } else if (line[i + 1] == 'x' && i + 3 < line.size() && std::isxdigit(static_cast<unsigned char>(line[i + 2])) &&
                 std::isxdigit(static_cast<unsigned char>(line[i + 3]))) {
        value += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
        i += 3;
      } else {
        value += line[++i];
      }
    }
    values.insert(value);
  }
  return values;
}

TEST(FuzzDictionary, HoldsEveryElementAndAttributeOfTheSchema) {
  const std::string text = hardening::ReadFile(ZU_SOURCE_DIR "/fuzz/xml.dict");
  ASSERT_FALSE(text.empty());
  std::string malformed;
  const std::set<std::string> values = DictionaryValues(text, malformed);
  EXPECT_EQ(malformed, "") << "a line libFuzzer cannot read";
  EXPECT_TRUE(values.count("<ClientSetup"));
  std::size_t count = 0;
  const zumsg::ClassInfo* const* classes = zumsg::AllClasses(count);
  for (std::size_t c = 0; c < count; ++c) {
    for (zumsg::FieldId f = 0; f < classes[c]->fieldCount; ++f) {
      const zumsg::FieldInfo& field = classes[c]->fields[f];
      const bool element = field.kind == zumsg::FieldKind::Object || field.kind == zumsg::FieldKind::List;
      const std::string token = element ? "<" + std::string(field.name) : std::string(field.name) + "=\"";
      EXPECT_TRUE(values.count(token)) << "missing " << token << " of " << classes[c]->qualifiedName;
    }
  }
}

}  // namespace
