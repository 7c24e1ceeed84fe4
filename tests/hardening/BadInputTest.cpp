// Hostile and broken requests through the public loaders: each is refused
// with its error text (or, where the vocabulary allows it, loaded) while the
// target stays as it was and memory stays within a small multiple of the
// input. Memory bounds are checked only without sanitizers, whose allocators
// keep freed memory in quarantine.
#include <string>
#include <utility>
#include <vector>

#include "ZUInstallXmlUtils.h"
#include "hardening/HardeningSupport.h"

namespace {

using hardening::kMiB;
using hardening::PeakMemory;
using hardening::Written;
using ZUInstallManager::ClientSetup;

constexpr char kStringRefused[] = "Failed to unserialize XML";
constexpr char kFileRefused[] = "Failed to unserialize XML blob from the input file.";

// Held by every target before a load, so a refused load is seen to leave it alone.
constexpr char kEarlier[] =
    R"(<ClientSetup jobId="41" requestFlags="4096"><dxInfo connectionUrl="https://earlier.example.com"/>)"
    R"(<clientComposition operationType="7"><clientInfo><client clientPassword="V8:AAEC"/></clientInfo>)"
    R"(</clientComposition></ClientSetup>)";

class LoaderInput : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error), 0) << error;
    before_ = Written(target_);
  }
  int Load(std::string xml) {  // moved in, so no copy counts against memory
    error_ = "unset";
    return ConvertStringToClientSetup(std::move(xml), &target_, error_);
  }
  int LoadFile(std::string path) {
    error_ = "unset";
    return PopulateClientSetupFromXmlFile(&target_, path, error_);
  }
  ::testing::AssertionResult Refused(const std::string& reasonStart, const char* text = kStringRefused) {
    if (error_ != text) return ::testing::AssertionFailure() << "error text: " << error_;
    const std::string& reason = CNMessageBase::LastParseError().reason;
    if (text == kStringRefused && reason.compare(0, reasonStart.size(), reasonStart) != 0) {
      return ::testing::AssertionFailure() << "reason: " << reason;
    }
    if (Written(target_) != before_) return ::testing::AssertionFailure() << "the target changed";
    return ::testing::AssertionSuccess();
  }
  // Without sanitizers, peak memory above `peak`'s start stays within `bound` bytes.
  static void ExpectBounded(const char* label, const PeakMemory& peak, long long bound) {
    const long long grew = peak.growth();
    RecordProperty(std::string("peak_mib_") + label, std::to_string(grew / kMiB));
    if (!ZU_HARDENING_SANITIZED) {
      EXPECT_LE(grew, bound) << label << ": peak grew by " << grew / kMiB << " MiB";
    }
  }

  ClientSetup target_;
  std::string before_;
  std::string error_;
};

std::string Repeated(const std::string& open, const std::string& unit, std::size_t times, const std::string& close) {
  std::string xml = open;
  xml.reserve(open.size() + unit.size() * times + close.size());
  for (std::size_t i = 0; i < times; ++i) xml += unit;
  return xml + close;
}

TEST_F(LoaderInput, HugeDocumentsLoadOrAreRefusedWithinBoundedMemory) {
  constexpr std::size_t kBig = 100 * kMiB;
  constexpr std::size_t kMillion = 1000000;
  // Built one at a time: open, then unit repeated, then close.
  const struct Case {
    const char* label;
    std::string open, unit;
    std::size_t times;
    std::string close;
    const char* reason;  // null: the document loads
    long long factor;    // peak growth allowed per byte of text
    long long perEntry;  // and per repeated unit
    std::size_t size;    // the authorization code's length, the entries and their packages, loaded
  } cases[] = {
      {"attribute", R"(<ClientSetup><organizationInfo authCode=")", "A", kBig, R"("/></ClientSetup>)", nullptr, 5, 0, kBig},
      {"integer", R"(<ClientSetup jobId=")", "7", kBig, R"("/>)",
       "bad integer '7777777777777777777777777777777777777777...' in attribute 'jobId'", 5, 0, 0},
      {"nesting", "<ClientSetup>", "<x>", kMillion, Repeated("", "</x>", kMillion, "</ClientSetup>"),
       "nesting deeper than 64", 2, 0, 0},
      // Known elements count alike, and so do the unknown ones below them.
      {"known_nesting", "<ClientSetup><clientComposition><clientInfo>", "<clientGroups>", kMillion, "",
       "nesting deeper than 64", 2, 0, 0},
      // Each entry costs less than 256 bytes beyond the text that described it.
      {"unknown_siblings", "<ClientSetup>", "<unknownEntry a=\"1\"/>", kMillion, "</ClientSetup>", nullptr, 1, 256, 0},
      {"empty_entries", "<ClientSetup>", "<clientComposition/>", kMillion, "</ClientSetup>", nullptr, 1, 256, kMillion},
      {"packages_of_one_entry", "<ClientSetup><clientComposition><components>",
       "<packages packageId=\"702\" packageMode=\"1\"/>", kMillion, "</components></clientComposition></ClientSetup>",
       nullptr, 1, 256, 1 + kMillion},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string xml = Repeated(c.open, c.unit, c.times, c.close);
    const long long bound = c.factor * static_cast<long long>(xml.size()) + c.perEntry * static_cast<long long>(c.times);
    const PeakMemory peak;
    if (c.reason == nullptr) {
      ASSERT_EQ(Load(std::move(xml)), 0) << CNMessageBase::LastParseError().reason;
      std::string code;
      std::vector<int> ids;
      (void)XmlUtils::GetOrganizationAuthcode(&target_, code);
      (void)XmlUtils::GetPackageList(&target_, 0, ids);
      const auto* entries = zumsg::list<ClientSetup::clientComposition>(target_);
      EXPECT_EQ(code.size() + (entries != nullptr ? entries->size() : 0) + ids.size(), c.size);
      ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error_), 0);
    } else {
      EXPECT_EQ(Load(std::move(xml)), -1);
      EXPECT_TRUE(Refused(c.reason));
      EXPECT_LT(CNMessageBase::LastParseError().reason.size(), 100u);
    }
    ExpectBounded(c.label, peak, bound);
  }
  std::string text = Repeated(R"(<userAccount password=")", "s", kBig, R"(" userName="svc"/>)");
  MaskInformation(text, "password=\"", 8);
  EXPECT_EQ(text, R"(<userAccount password="********" userName="svc"/>)");
}

TEST_F(LoaderInput, InvalidUtf8AtEveryPositionIsRefused) {
  const std::string request =
      R"(<ClientSetup jobId="12" operationType="0"><dxInfo connectionUrl="https://dx01.example.com"/>)"
      R"(<clientComposition><clientInfo><client clientPassword="V8:AAEC" zudPort="8400">)"
      R"(<clientEntity clientName="web01" hostName="caf&#xE9;.example.com"/></client></clientInfo>)"
      R"(</clientComposition></ClientSetup>)";
  ASSERT_EQ(ConvertStringToClientSetup(request, &target_, error_), 0) << "the untouched request loads";
  ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error_), 0);
  for (const std::string bad : {"\xFF", "\x80", "\xC0\x80", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"}) {
    for (std::size_t at = 0; at <= request.size(); ++at) {
      std::string xml = request;
      xml.insert(at, bad);
      ASSERT_EQ(Load(xml), -1) << ::testing::PrintToString(bad) << " inserted at " << at;
      ASSERT_TRUE(Refused(""));
      ASSERT_GE(CNMessageBase::LastParseError().line, 1u);
    }
  }
}

TEST(BasicConversionInput, IntegersOnePastTheirRangeSaturate) {
  using ZUInstallManagerConversion::BasicConversion;
  long long low = 5, high = 5;
  unsigned long long decimal = 5, hex = 5;
  BasicConversion::fromString(high, "9223372036854775808");
  BasicConversion::fromString(low, "-9223372036854775809");
  BasicConversion::fromString(decimal, "18446744073709551616");
  BasicConversion::fromHexString(hex, "0x10000000000000000");
  EXPECT_EQ(high, 9223372036854775807LL);
  EXPECT_EQ(low, -9223372036854775807LL - 1);
  EXPECT_EQ(decimal, 18446744073709551615ULL);
  EXPECT_EQ(hex, 18446744073709551615ULL);
}

TEST_F(LoaderInput, UnreadableTruncatedAndEndlessFilesAreRefused) {
  zutest::ScratchDir dir;
  const std::string request = zutest::ReadFile(ZU_EXAMPLES_DIR "/single-client-install.xml");
  ASSERT_EQ(LoadFile(dir.write("whole.xml", request)), 0);
  ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error_), 0);
  const struct Case {
    const char* name;
    std::string path;
    const char* error;  // null: "Failed to open file <path>"
  } cases[] = {
      {"a directory", dir.path().string(), kFileRefused},
      {"an empty file", dir.write("empty.xml", ""), kFileRefused},
      {"an empty device", "/dev/null", kFileRefused},
      {"a truncated request", dir.write("cut.xml", request.substr(0, request.size() / 2)), kFileRefused},
      {"a NUL inside the document", dir.write("nul.xml", std::string("<ClientSetup\0/>", 15)), kFileRefused},
      {"a missing file", dir / "missing.xml", nullptr},
      {"a path through a regular file", dir.write("plain", "x") + "/request.xml", nullptr},
      // Regression: the text's room doubled past the 256 MiB cap.
      {"an endless device", "/dev/zero", kFileRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PeakMemory peak;
    EXPECT_EQ(LoadFile(c.path), -1);
    EXPECT_TRUE(Refused("", c.error != nullptr ? c.error : ("Failed to open file " + c.path).c_str()));
    ExpectBounded("file", peak, 256 * kMiB + kMiB);
  }
}

}  // namespace
