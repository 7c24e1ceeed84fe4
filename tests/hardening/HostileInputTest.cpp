// Hostile and broken input: requests at scale and files that are no requests
// are refused with their error text (or, where the vocabulary allows it,
// loaded) while the target stays as it was and memory stays bounded; and
// anything but a regular file at the pre-install path drops every entry.
// Memory bounds are checked only without sanitizers, whose allocators keep
// freed memory in quarantine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <functional>
#include <future>
#include <thread>

#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"
#include "ZUInstallXmlUtils.h"
#include "common/TestSupport.h"

namespace {

using ZUInstallManager::ClientSetup;
using zutest::kPreInstallPath;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitized = false;
#endif
constexpr long long kMiB = 1024 * 1024;
constexpr char kFileRefused[] = "Failed to unserialize XML blob from the input file.";
// Held by every target before a load, so a refused load is seen to leave it alone.
constexpr char kEarlier[] = R"(<ClientSetup jobId="41"><dxInfo connectionUrl="https://earlier.example.com"/></ClientSetup>)";

// How far the resident size rises above where it stood at construction; the
// kernel's peak mark is reset first, so earlier tests do not count.
long long Status(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) if (line.compare(0, field.size(), field) == 0) return std::stoll(line.substr(field.size())) * 1024;
  return 0;
}
struct PeakMemory {
  PeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }
  long long baseline = Status("VmRSS:");
  long long growth() const { return Status("VmHWM:") - baseline; }
};

class LoaderInput : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error_), 0) << error_; }
  std::string Held() {
    std::string xml;
    return XMLEncoder(EncodingFlags{true, false, false, 0, 0, -1, false, false, true, false, 1}, nullptr).serialize(&target_, xml, false) == 0 ? xml : "<unwritable>";
  }
  // Loads the document (moved in, so no copy counts against memory) or the file.
  int Load(std::string input, bool file) {
    error_ = "unset";
    return file ? PopulateClientSetupFromXmlFile(&target_, input, error_) : ConvertStringToClientSetup(std::move(input), &target_, error_);
  }
  void ExpectBounded(const PeakMemory& peak, long long bound) {
    const long long grew = peak.growth();
    if (!kSanitized) { EXPECT_LE(grew, bound) << "peak grew by " << grew / kMiB << " MiB"; }
  }
  ClientSetup target_;
  std::string error_;
};

std::string Repeated(const std::string& open, const std::string& unit, std::size_t times, const std::string& close) {
  std::string xml = open;
  xml.reserve(open.size() + unit.size() * times + close.size());
  for (std::size_t i = 0; i < times; ++i) xml += unit;
  return xml + close;
}

TEST_F(LoaderInput, UnreadableTruncatedAndEndlessFilesAreRefused) {
  zutest::ScratchDir dir;
  const std::string request = zutest::ReadFile(ZU_EXAMPLES_DIR "/single-client-install.xml");
  ASSERT_EQ(Load(dir.write("whole.xml", request), true), 0);
  ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error_), 0);
  const std::string before = Held();
  const struct { std::string path; const char* error; } cases[] = {  // null error: "Failed to open file <path>"
      {dir.path().string(), kFileRefused}, {dir.write("empty.xml", ""), kFileRefused}, {"/dev/null", kFileRefused},
      {dir.write("cut.xml", request.substr(0, request.size() / 2)), kFileRefused},
      {dir.write("nul.xml", std::string("<ClientSetup\0/>", 15)), kFileRefused},
      {dir / "missing.xml", nullptr}, {dir.write("plain", "x") + "/request.xml", nullptr},
      {"/dev/zero", kFileRefused},  // regression: the text's room doubled past the 256 MiB cap
  };
  for (const auto& c : cases) {
    const PeakMemory peak;
    EXPECT_EQ(Load(c.path, true), -1) << c.path;
    EXPECT_EQ(error_, c.error != nullptr ? c.error : "Failed to open file " + c.path);
    EXPECT_EQ(Held(), before);
    ExpectBounded(peak, 256 * kMiB + kMiB);
  }
}

TEST_F(LoaderInput, HugeDocumentsLoadOrAreRefusedWithinBoundedMemory) {
  constexpr std::size_t kBig = 100 * kMiB, kMillion = 1000000;
  // reason null: the document loads; factor: peak growth allowed per byte of text;
  // size: the authorization code's length plus the entries, once loaded.
  const struct { std::string open, unit; std::size_t times; std::string close; const char* reason; long long factor; std::size_t size; } cases[] = {
      {R"(<ClientSetup><organizationInfo authCode=")", "A", kBig, R"("/></ClientSetup>)", nullptr, 5, kBig},
      {"<ClientSetup>", "<x>", kMillion, Repeated("", "</x>", kMillion, "</ClientSetup>"), "nesting deeper than 64", 2, 0},
      // Each entry costs less than 256 bytes beyond the text that described it.
      {"<ClientSetup>", "<clientComposition/>", kMillion, "</ClientSetup>", nullptr, 14, kMillion},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.unit);
    std::string xml = Repeated(c.open, c.unit, c.times, c.close);
    const long long bound = c.factor * static_cast<long long>(xml.size());
    const std::string before = Held();
    const PeakMemory peak;
    ASSERT_EQ(Load(std::move(xml), false), c.reason ? -1 : 0) << CNMessageBase::LastParseError().reason;
    ExpectBounded(peak, bound);
    std::string code;
    (void)XmlUtils::GetOrganizationAuthcode(&target_, code);
    const auto* entries = zumsg::list<ClientSetup::clientComposition>(target_);
    EXPECT_EQ(code.size() + (entries != nullptr ? entries->size() : 0), c.size);
    if (c.reason != nullptr) { EXPECT_EQ(CNMessageBase::LastParseError().reason, c.reason); EXPECT_EQ(Held(), before); }
    ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error_), 0);
  }
}

TEST(BasicConversionInput, IntegersOnePastTheirRangeSaturate) {
  using ZUInstallManagerConversion::BasicConversion;
  long long high = 5, low = 5;
  unsigned long long decimal = 5, hex = 5;
  BasicConversion::fromString(high, "9223372036854775808"), BasicConversion::fromString(low, "-9223372036854775809");
  BasicConversion::fromString(decimal, "18446744073709551616"), BasicConversion::fromHexString(hex, "0x10000000000000000");
  EXPECT_EQ(std::make_pair(high, low), std::make_pair(LLONG_MAX, LLONG_MIN));
  EXPECT_EQ(std::make_pair(decimal, hex), std::make_pair(ULLONG_MAX, ULLONG_MAX));
}

mode_t TypeAt(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

TEST(PreInstallPathTakenBy, AnythingButARegularFileDropsEveryEntry) {
  zutest::ScratchDir dir;
  const struct Case { std::string path; std::function<bool()> plant, intact; } cases[] = {
      {kPreInstallPath, [] { return ::mkdir(kPreInstallPath, 0755) == 0; }, [] { return ::rmdir(kPreInstallPath) == 0; }},
      {kPreInstallPath, [&] { return ::symlink(dir.write("victim", "original\n").c_str(), kPreInstallPath) == 0; },
       [&] { return zutest::ReadFile(dir / "victim") == "original\n"; }},
      {kPreInstallPath, [&] { return ::symlink((dir / "created").c_str(), kPreInstallPath) == 0; },
       [&] { return !zutest::Exists(dir / "created"); }},
      // Regression: without O_NONBLOCK the open waits for a reader forever.
      {kPreInstallPath, [] { return ::mkfifo(kPreInstallPath, 0600) == 0; }, [] { return true; }},
      {dir / "missing/file.log", [] { return true; }, [&] { return !zutest::Exists(dir / "missing"); }},
  };
  for (const Case& c : cases) {
    zutest::PreInstallPathGuard guard;
    zutest::EnvGuard environment{{"ZU_FOCUS", std::nullopt}, {"ZU_LOG_DIR", dir / "logs"}};
    ASSERT_TRUE(c.plant());
    const mode_t planted = TypeAt(c.path);
    // Through every path that reaches the pre-install file, and through a
    // logger never started, which writes to the name it was given.
    std::packaged_task<void()> task([&c] {
      ZUSimLog(c.path).LogMessagePreInstall("direct entry\n");
      ZUSimLog log("hardening");
      log.LogMessage("f", 0, "plain entry");
      log.LogMessageV("f", -1, "formatted %d", 7);
      log.LogXML("f", R"(<ClientSetup><clientAuthentication><userAccount password="s"/></clientAuthentication></ClientSetup>)", 0, 1);
      log.AddPlatformMarker("install", "started");
    });
    std::future<void> done = task.get_future();
    std::thread logger(std::move(task));
    const bool blocked = done.wait_for(std::chrono::seconds(3)) != std::future_status::ready;
    blocked ? logger.detach() : logger.join();  // blocked for good: the process ends it
    if (blocked) { ADD_FAILURE() << "the logger blocked opening " << c.path; continue; }
    EXPECT_EQ(TypeAt(c.path), planted) << "what was planted was replaced";
    EXPECT_TRUE(c.intact()) << c.path << " of type " << planted;
  }
}

}  // namespace
