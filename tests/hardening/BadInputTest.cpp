// Hostile and broken requests through the public loaders: each is refused
// with its error text (or, where the vocabulary allows it, loaded) while the
// target stays as it was and memory stays within a small multiple of the
// input. Memory bounds are checked only without sanitizers, whose allocators
// keep freed memory in quarantine.
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ZUInstallXmlUtils.h"
#include "hardening/HardeningSupport.h"

namespace {

using hardening::kMiB;
using hardening::PeakMemory;
using hardening::ScratchDir;
using hardening::Written;
using ZUInstallManager::ClientSetup;

constexpr char kStringRefused[] = "Failed to unserialize XML";
constexpr char kFileRefused[] = "Failed to unserialize XML blob from the input file.";

// Held by every target before a load, so a refused load is seen to leave it alone.
constexpr char kEarlier[] =
    R"(<ClientSetup jobId="41" requestFlags="4096"><dxInfo connectionUrl="https://earlier.example.com"/>)"
    R"(<clientComposition operationType="7"><clientInfo><client clientPassword="V8:AAEC"/></clientInfo>)"
    R"(</clientComposition></ClientSetup>)";

constexpr char kSmallRequest[] =
    R"(<ClientSetup jobId="12" operationType="0"><dxInfo connectionUrl="https://dx01.example.com"/>)"
    R"(<clientComposition><clientInfo><client clientPassword="V8:AAEC" zudPort="8400">)"
    R"(<clientEntity clientName="web01" hostName="caf&#xE9;.example.com"/></client></clientInfo>)"
    R"(</clientComposition></ClientSetup>)";

class LoaderInput : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error), 0) << error;
    before_ = Written(target_);
  }

  // Loads `xml` (moved in, so no copy counts against memory) and returns the result.
  int Load(std::string xml) {
    error_ = "unset";
    return ConvertStringToClientSetup(std::move(xml), &target_, error_);
  }

  ::testing::AssertionResult Refused(const std::string& reasonStart) const {
    if (error_ != kStringRefused) return ::testing::AssertionFailure() << "error text: " << error_;
    const std::string& reason = CNMessageBase::LastParseError().reason;
    if (reason.compare(0, reasonStart.size(), reasonStart) != 0) {
      return ::testing::AssertionFailure() << "reason: " << reason;
    }
    if (Written(target_) != before_) return ::testing::AssertionFailure() << "the target changed";
    return ::testing::AssertionSuccess();
  }

  ClientSetup target_;
  std::string before_;
  std::string error_;
};

// Without sanitizers, peak memory above the start stays within `factor`
// times `input` bytes; the growth is recorded under `label` either way.
void ExpectBounded(const char* label, const PeakMemory& peak, long long input, long long factor) {
  const long long grew = peak.growth();
  ::testing::Test::RecordProperty(std::string("peak_mib_") + label, std::to_string(grew / kMiB));
  if (!ZU_HARDENING_SANITIZED) {
    EXPECT_LE(grew, factor * input) << "peak grew by " << grew / kMiB << " MiB";
  }
}

TEST_F(LoaderInput, HundredMegabyteAttributeLoadsWhole) {
  constexpr std::size_t kSize = 100 * kMiB;
  std::string xml = R"(<ClientSetup><organizationInfo authCode=")";
  xml.append(kSize, 'A').append(R"("/></ClientSetup>)");
  const PeakMemory peak;
  ASSERT_EQ(Load(std::move(xml)), 0) << CNMessageBase::LastParseError().reason;
  std::string code;
  ASSERT_EQ(XmlUtils::GetOrganizationAuthcode(&target_, code), 0);
  EXPECT_EQ(code.size(), kSize);
  ExpectBounded("attribute", peak, kSize, 5);
}

TEST_F(LoaderInput, HundredMegabyteIntegerIsRefusedWithAShortReason) {
  std::string xml = R"(<ClientSetup jobId=")";
  xml.append(100 * kMiB, '7').append(R"("/>)");
  EXPECT_EQ(Load(std::move(xml)), -1);
  EXPECT_TRUE(Refused("bad integer '7777777777777777777777777777777777777777...' in attribute 'jobId'"));
  EXPECT_LT(CNMessageBase::LastParseError().reason.size(), 100u);
}

TEST_F(LoaderInput, HundredMegabytePasswordIsMaskedWhole) {
  std::string text = R"(<userAccount password=")";
  text.append(100 * kMiB, 's').append(R"(" userName="svc"/>)");
  MaskInformation(text, "password=\"", 8);
  EXPECT_EQ(text, R"(<userAccount password="********" userName="svc"/>)");
}

std::string Repeated(const std::string& open, const std::string& unit, std::size_t times, const std::string& close) {
  std::string xml = open;
  xml.reserve(open.size() + unit.size() * times + close.size());
  for (std::size_t i = 0; i < times; ++i) xml += unit;
  return xml + close;
}

TEST_F(LoaderInput, MillionNestedElementsAreRefusedAtTheDepthLimit) {
  constexpr std::size_t kDepth = 1000000;
  const std::string open = Repeated("<ClientSetup>", "<x>", kDepth, "");
  const std::string xml = open + Repeated("", "</x>", kDepth, "</ClientSetup>");
  {
    const PeakMemory peak;
    EXPECT_EQ(Load(xml), -1);
    EXPECT_TRUE(Refused("nesting deeper than 64"));
    ExpectBounded("nesting", peak, static_cast<long long>(xml.size()), 2);
  }
  // Known elements count alike, and so do the unknown ones below them.
  EXPECT_EQ(Load(Repeated("<ClientSetup><clientComposition><clientInfo>", "<clientGroups>", kDepth, "")), -1);
  EXPECT_TRUE(Refused("nesting deeper than 64"));
}

TEST_F(LoaderInput, MillionSiblingEntriesLoadWithinBoundedMemory) {
  constexpr std::size_t kCount = 1000000;
  struct Case {
    const char* label;
    std::string xml;
    std::size_t entries;  // client entries expected after the load
  };
  const Case cases[] = {
      {"unknown_siblings", Repeated("<ClientSetup>", "<unknownEntry a=\"1\"/>", kCount, "</ClientSetup>"), 0},
      {"empty_entries", Repeated("<ClientSetup>", "<clientComposition/>", kCount, "</ClientSetup>"), kCount},
      {"packages_of_one_entry",
       Repeated("<ClientSetup><clientComposition><components>", "<packages packageId=\"702\" packageMode=\"1\"/>",
                kCount, "</components></clientComposition></ClientSetup>"),
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const PeakMemory peak;
    ASSERT_EQ(Load(c.xml), 0) << CNMessageBase::LastParseError().reason;
    const auto* entries = zumsg::list<ClientSetup::clientComposition>(target_);
    EXPECT_EQ(entries != nullptr ? entries->size() : 0, c.entries);
    // Each entry costs less than 256 bytes beyond the text that described it.
    ExpectBounded(c.label, peak, static_cast<long long>(c.xml.size() + kCount * 256), 1);
  }
  std::vector<int> ids;
  ASSERT_EQ(XmlUtils::GetPackageList(&target_, 0, ids), 0);
  EXPECT_EQ(ids.size(), kCount);
}

TEST_F(LoaderInput, EntityDeclarationsAreRefusedBeforeAnyExpansion) {
  std::string laughs = "<!DOCTYPE ClientSetup [\n<!ENTITY l0 \"lol\">\n";
  for (int i = 1; i <= 30; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "\">\n";
  }
  laughs += "]>\n<ClientSetup><organizationInfo authCode=\"&l30;\"/></ClientSetup>";
  const std::string cases[] = {
      laughs,
      "<!DOCTYPE ClientSetup SYSTEM \"file:///etc/passwd\"><ClientSetup/>",
      "<!DOCTYPE ClientSetup [<!ENTITY % p SYSTEM \"http://example.com/x.dtd\"> %p;]><ClientSetup/>",
      "<!DOCTYPE ClientSetup [<!ENTITY x SYSTEM \"/etc/passwd\">]><ClientSetup><errorInfo errorMessage=\"&x;\"/></ClientSetup>",
  };
  const PeakMemory peak;
  for (const std::string& xml : cases) {
    EXPECT_EQ(Load(xml), -1) << xml.substr(0, 60);
    EXPECT_TRUE(Refused("DOCTYPE is not allowed"));
  }
  EXPECT_EQ(Load("<ClientSetup><errorInfo errorMessage=\"&l30;\"/></ClientSetup>"), -1);
  EXPECT_TRUE(Refused("undefined entity"));
  ExpectBounded("entities", peak, 16 * kMiB, 1);
}

TEST_F(LoaderInput, InvalidUtf8AtEveryPositionIsRefused) {
  const std::string request = kSmallRequest;
  std::string error;
  ASSERT_EQ(ConvertStringToClientSetup(request, &target_, error), 0) << "the untouched request loads";
  ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error), 0);
  const std::pair<const char*, std::string> sequences[] = {
      {"byte FF", "\xFF"},
      {"lone continuation byte", "\x80"},
      {"overlong NUL", "\xC0\x80"},
      {"overlong slash", "\xE0\x80\xAF"},
      {"UTF-16 surrogate", "\xED\xA0\x80"},
      {"above U+10FFFF", "\xF4\x90\x80\x80"},
      {"cut three-byte sequence", "\xE2\x82"},
  };
  for (const auto& [name, bad] : sequences) {
    for (std::size_t at = 0; at <= request.size(); ++at) {
      std::string xml = request;
      xml.insert(at, bad);
      ASSERT_EQ(Load(xml), -1) << name << " inserted at " << at;
      ASSERT_EQ(error_, kStringRefused);
      ASSERT_GE(CNMessageBase::LastParseError().line, 1u) << name << " at " << at;
      ASSERT_EQ(Written(target_), before_) << name << " at " << at;
    }
  }
}

// Every integer, boolean and enumeration attribute of every class, on the
// first element path that reaches the class from the root.
struct IntegerAttribute {
  std::vector<std::string> path;  // element names below the root
  std::string name;

  std::string Document(const std::string& value) const {
    std::string xml = "<ClientSetup";
    for (const std::string& element : path) xml += "><" + element;
    xml += " " + name + "=\"" + value + "\"/>";
    for (std::size_t i = path.size(); i-- > 1;) xml += "</" + path[i - 1] + ">";
    if (!path.empty()) xml += "</ClientSetup>";
    return xml;
  }
};

void CollectIntegerAttributes(const zumsg::ClassInfo& info, const std::vector<std::string>& path,
                              std::vector<const zumsg::ClassInfo*>& seen, std::vector<IntegerAttribute>& found) {
  for (zumsg::FieldId f = 0; f < info.fieldCount; ++f) {
    const zumsg::FieldInfo& field = info.fields[f];
    switch (field.kind) {
      case zumsg::FieldKind::Integer:
      case zumsg::FieldKind::Boolean:
      case zumsg::FieldKind::Enum:
        found.push_back({path, field.name});
        break;
      case zumsg::FieldKind::Object:
      case zumsg::FieldKind::List:
        if (std::find(seen.begin(), seen.end(), field.child) == seen.end()) {
          seen.push_back(field.child);
          std::vector<std::string> below = path;
          below.push_back(field.name);
          CollectIntegerAttributes(*field.child, below, seen, found);
        }
        break;
      case zumsg::FieldKind::String:
      case zumsg::FieldKind::Password:
        break;
    }
  }
}

TEST_F(LoaderInput, IntegersOnePastSixtyFourBitsAreRefusedInEveryAttribute) {
  std::vector<IntegerAttribute> attributes;
  std::vector<const zumsg::ClassInfo*> seen{&ClientSetup::kSchema};
  CollectIntegerAttributes(ClientSetup::kSchema, {}, seen, attributes);
  std::size_t classes = 0;
  zumsg::AllClasses(classes);
  ASSERT_EQ(seen.size(), classes) << "the walk from the root missed a class";
  RecordProperty("integer_attributes", static_cast<int>(attributes.size()));
  for (const IntegerAttribute& a : attributes) {
    for (const char* value : {"-9223372036854775808", "9223372036854775807"}) {
      ASSERT_EQ(Load(a.Document(value)), 0) << a.Document(value) << "\n" << CNMessageBase::LastParseError().reason;
    }
    std::string error;
    ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error), 0);
    for (const char* value : {"9223372036854775808", "-9223372036854775809", "18446744073709551616"}) {
      EXPECT_EQ(Load(a.Document(value)), -1) << a.Document(value);
      EXPECT_TRUE(Refused(std::string("bad integer '") + value + "' in attribute '" + a.name + "'"));
    }
  }
}

TEST(BasicConversionInput, IntegersOnePastTheirRangeSaturate) {
  using ZUInstallManagerConversion::BasicConversion;
  long long signed64 = 5;
  BasicConversion::fromString(signed64, "9223372036854775808");
  EXPECT_EQ(signed64, 9223372036854775807LL);
  BasicConversion::fromString(signed64, "-9223372036854775809");
  EXPECT_EQ(signed64, -9223372036854775807LL - 1);
  unsigned long long unsigned64 = 5;
  BasicConversion::fromString(unsigned64, "18446744073709551616");
  EXPECT_EQ(unsigned64, 18446744073709551615ULL);
  BasicConversion::fromHexString(unsigned64 = 5, "0x10000000000000000");
  EXPECT_EQ(unsigned64, 18446744073709551615ULL);
}

class FileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error), 0) << error;
    before_ = Written(target_);
  }
  int Load(std::string path) {
    error_ = "unset";
    return PopulateClientSetupFromXmlFile(&target_, path, error_);
  }

  ScratchDir dir_;
  ClientSetup target_;
  std::string before_;
  std::string error_;
};

TEST_F(FileInput, EveryTruncationOfARequestFileIsRefused) {
  const std::string request = hardening::ReadFile(ZU_EXAMPLES_DIR "/single-client-install.xml");
  const std::size_t end = request.rfind("</ClientSetup>");
  ASSERT_NE(end, std::string::npos);
  for (std::size_t length = 0; length < end + std::strlen("</ClientSetup>"); ++length) {
    ASSERT_EQ(Load(dir_.write("cut.xml", request.substr(0, length))), -1) << "cut at " << length;
    ASSERT_EQ(error_, kFileRefused);
    ASSERT_EQ(Written(target_), before_) << "cut at " << length;
  }
  EXPECT_EQ(Load(dir_.write("whole.xml", request)), 0);
}

TEST_F(FileInput, UnreadableAndEndlessFilesAreRefused) {
  const struct Case {
    const char* name;
    std::string path;
    const char* error;
  } cases[] = {
      {"a directory", dir_.path(), kFileRefused},
      {"an empty file", dir_.write("empty.xml", ""), kFileRefused},
      {"an empty device", "/dev/null", kFileRefused},
      {"a NUL inside the document", dir_.write("nul.xml", std::string("<ClientSetup\0/>", 15)), kFileRefused},
      {"a missing file", dir_ / "missing.xml", nullptr},
      {"a path through a regular file", dir_.write("plain", "x") + "/request.xml", nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Load(c.path), -1) << c.name;
    EXPECT_EQ(error_, c.error != nullptr ? c.error : "Failed to open file " + c.path) << c.name;
    EXPECT_EQ(Written(target_), before_) << c.name;
  }
}

TEST_F(FileInput, EndlessDeviceIsReadOnlyUpToTheCap) {
  const PeakMemory peak;
  EXPECT_EQ(Load("/dev/zero"), -1);
  EXPECT_EQ(error_, kFileRefused);
  EXPECT_EQ(Written(target_), before_);
  // The cap is 256 MiB of text, and the text's room never grows past it.
  ExpectBounded("endless", peak, 256 * kMiB + kMiB, 1);
}

}  // namespace
