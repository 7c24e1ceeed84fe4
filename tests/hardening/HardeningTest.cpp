// What hostile conditions do to the library: allocation failure at every
// point, hostile input, and the pre-install path taken by something else.
//
// Allocation failure at every point of a call: this program replaces the
// global operator new so that, while armed, allocation number n fails and
// every other succeeds, as when memory is short for a moment. Each entry point
// runs for n = 0, 1, ... until it meets no refusal. A run must never throw; it
// either answers as an unhindered call does, or fails with the entry point's
// failure result and text, leaves what it may change as it was and gives back
// every block it took. Under ASan, LeakSanitizer also sees expat's and
// OpenSSL's own allocations.

#include <algorithm>
#include <filesystem>
#include <functional>
#include <new>
#include <regex>

#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"
#include "ZUInstallXmlUtils.h"
#include "common/TestSupport.h"

// Present when LeakSanitizer runs, as it does with AddressSanitizer.
extern "C" int __lsan_do_recoverable_leak_check() __attribute__((weak));

namespace {

// One thread drives this test and the library starts none, so plain globals do.
// gRefused: an allocation was refused since arming; gBudget: allocations that
// succeed while armed before the one that fails; gLive: blocks allocated while
// armed and not released.
bool gArmed = false, gRefused = false;
long long gBudget = 0, gLive = 0;

struct alignas(16) Header {
  bool watched;
};  // allocated while armed

// Null when refused or when memory is really out.
void* Allocate(std::size_t size) noexcept {
  const bool watched = gArmed;
  if (watched && gBudget-- == 0) return gRefused = true, nullptr;
  auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + size));
  if (header == nullptr) return nullptr;
  if ((header->watched = watched)) ++gLive;  // only then: unarmed threads must not write the globals
  return header + 1;
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* pointer = Allocate(size)) return pointer;
  throw std::bad_alloc();
}
// Out of line, so the compiler never pairs the free with an operator new it can see.
__attribute__((noinline)) void operator delete(void* pointer) noexcept {
  if (pointer == nullptr) return;
  Header* header = static_cast<Header*>(pointer) - 1;
  if (header->watched) --gLive;
  std::free(header);
}
// The other forms, spelled out so a sanitizer's own cannot pair with these.
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* pointer, std::size_t) noexcept { operator delete(pointer); }
void operator delete[](void* pointer) noexcept { operator delete(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { operator delete(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { operator delete(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { operator delete(pointer); }

namespace {

using ZUInstallManager::ClientSetup;
using zutest::kPreInstallPath;
using Strings = std::vector<std::string>;
constexpr EncodingFlags kFlags{true, false, false, 0, 0, -1, false, false, true, false, 1};

std::string Data(const std::string& name) { return zutest::ReadFile(ZU_TEST_DATA_DIR "/" + name + ".xml"); }
const std::string kEarlier = Data("hardening-earlier");
constexpr char kFileRefused[] = "Failed to unserialize XML blob from the input file.";

// What a call works on; reset before every run.
struct State {
  ClientSetup target;
  std::string input, error;
  Strings out;
  std::vector<int> ids;
  char *output = nullptr, errorText[1024] = {};
};

struct EntryPoint {
  const char* name;
  std::string request, input;  // the request is loaded into the target before each run
  Strings outputs;             // preset before each run
  int failure;                 // the result of a failed call; 0: any non-zero one
  Strings texts;               // error texts a failed call may give; the first must occur
  int keeps;                   // blocks a call may keep in the target or outputs: 0 none, 1 when it succeeds, 2 always
  std::function<int(State&)> call;             // must not throw, allocate besides the library or assert
  std::function<std::string(State&)> observe;  // what the call may change; default: target and outputs
};
EntryPoint Entry(const char* name, std::string request, std::string input, Strings outputs, int failure, Strings texts,
                 int keeps, std::function<int(State&)> call, std::function<std::string(State&)> observe = nullptr) {
  return {name, request, input, outputs, failure, texts, keeps, call, observe};
}

std::string Written(const ClientSetup& m) {
  std::string xml;
  return XMLEncoder(kFlags, nullptr).serialize(&m, xml, false) == 0 ? xml : "<unwritable>";
}

std::string TargetAndOutputs(State& s) {
  std::string seen = Written(s.target);
  for (const std::string& text : s.out) seen += "|" + text;
  return seen;
}

void Reset(const EntryPoint& e, State& s) {
  std::string error;
  ASSERT_EQ(ConvertStringToClientSetup(e.request, &s.target, error), 0) << error;
  s.input = e.input;
  s.error.assign(64, ' ');  // room for any error text, so storing one allocates nothing
  s.error = "unset";
  s.out = Strings(e.outputs);  // fresh strings and vectors: storing a long value must allocate
  s.ids = std::vector<int>(), s.output = nullptr;
}

void ExpectFailsCleanlyAtEveryPoint(const EntryPoint& e) {
  SCOPED_TRACE(e.name);
  State s;
  const auto observe = e.observe ? e.observe : TargetAndOutputs;
  Reset(e, s);
  const std::string before = observe(s);
  ASSERT_EQ(e.call(s), 0) << "an unhindered call succeeds";
  const std::string answer = observe(s);
  bool sawFirst = e.texts.empty();
  for (int n = 0; !::testing::Test::HasFailure(); ++n) {
    ASSERT_NO_FATAL_FAILURE(Reset(e, s));
    gLive = 0, gRefused = false, gBudget = n, gArmed = true;
    constexpr int kEscaped = -99999;
    int result = kEscaped;
    try {
      result = e.call(s);
    } catch (...) {
    }
    gArmed = false;
    const std::string seen = observe(s);
    SCOPED_TRACE("refused allocation " + std::to_string(n));
    ASSERT_NE(result, kEscaped) << "an exception left the call";
    EXPECT_TRUE(result == 0 || gRefused) << "failed without a refusal";
    EXPECT_TRUE(result == 0 || e.failure == 0 || result == e.failure) << result;
    EXPECT_EQ(seen, result == 0 ? answer : before)
        << "a call that met a refusal answered otherwise, or a failed one changed what it was given";
    if (result != 0 && !e.texts.empty()) {
      sawFirst |= s.error == e.texts[0];
      EXPECT_TRUE(std::count(e.texts.begin(), e.texts.end(), s.error)) << "error text: " << s.error;
    }
    EXPECT_TRUE(gLive == 0 || (e.keeps != 0 && (e.keeps != 1 || result == 0))) << "blocks kept: " << gLive;
    if (!gRefused) break;
  }
  EXPECT_TRUE(sawFirst) << "never failed with: " << e.texts[0];
}

// A failed read may leave room reserved in an output.
EntryPoint Reader(const char* name, std::size_t outputs, std::function<int(State&)> call) {
  return Entry(name, Data("hardening-long-values"), "", Strings(outputs, "unread"), -1, {}, 2, std::move(call));
}

TEST(AllocationFailure, EveryEntryPointFailsCleanlyAtEveryPoint) {
  const std::string bulk = zutest::ReadFile(ZU_EXAMPLES_DIR "/bulk-install.xml");
  zutest::ScratchDir dir;
  zutest::PreInstallPathGuard preInstall;
  zutest::EnvGuard environment{
      {"ZU_LOG_DIR", dir.path().string()}, {"ZU_FOCUS", "instance001"}, {"ZU_DEBUG_LEVEL", std::nullopt}};
  // A failed start of the logger registers the pre-install name once for the process.
  ASSERT_TRUE(EvDebug::getLogId("alloc") > 0 && EvDebug::getLogId(zutest::kPreInstallPath) > 0);
  char *v8 = nullptr, errorText[1024] = {};
  ASSERT_EQ(ZUEncryptPassword_V8("alloc-plain-password", &v8, errorText), 0) << errorText;
  const std::string encrypted = v8, none = "<ClientSetup/>";
  delete[] v8;
  const std::string client =
      "<clientComposition><clientInfo><client clientPassword=\"" + encrypted + "\"/></clientInfo></clientComposition>";
  const std::string maskable = R"(<a password="x" clientPassword="a-very-long-client-password-value" pAccess=""/>)"
                               R"(<b pExecAccess="p" password="another-long-password-value-here" clientPassword="c"/>)";
  const EntryPoint entryPoints[] = {
      Entry("ConvertStringToClientSetup", kEarlier, bulk, {}, -1, {"Failed to unserialize XML"}, 1,
            [](State& s) { return ConvertStringToClientSetup(std::move(s.input), &s.target, s.error); }),
      Entry("PopulateClientSetupFromXmlFile", kEarlier, dir.write("bulk.xml", bulk), {}, -1, {kFileRefused}, 1,
            [](State& s) { return PopulateClientSetupFromXmlFile(&s.target, s.input, s.error); }),
      Entry("XMLEncoder::serialize", bulk, "", {"unread"}, XMLEncoder::kOutOfMemory, {}, 1,
            [](State& s) {
              std::string xml;  // a failed call may have written part of it
              const int result = XMLEncoder(kFlags, nullptr).serialize(&s.target, xml, false);
              return result == 0 ? (s.out[0] = std::move(xml), 0) : result;
            }),
      // Fault mended: a copy that failed half-way kept what it had copied.
      Entry("copy constructor throws and keeps nothing", bulk, "", {}, -1, {}, 0,
            [](State& s) {
              try {
                return ClientSetup(s.target), 0;
              } catch (const std::bad_alloc&) {
                return -1;
              }
            }),
      // Short values make the result longer than the text, long ones shorter;
      // out of memory cuts the text after the last value masked in place.
      Entry(
          "MaskInformation never leaves a value behind", none, maskable,
          {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\""}, -1, {}, 1,
          [](State& s) {
            for (std::string& key : s.out) MaskInformation(s.input, std::move(key), 8);
            return 0;
          },
          [](State& s) {
            static const std::regex kLeft(R"((?:password|Password|pAccess|pExecAccess)="(?!\*{8}(?:"|$)))");
            return std::regex_search(s.input, kLeft) ? s.input : "every value masked";
          }),
      Entry(
          "logging never throws nor writes a password", Data("hardening-secrets"), "alloc", {}, -1, {}, 0,
          [](State& s) {
            ZUSimLog log(std::move(s.input));
            const int xml = log.LogXML("f", &s.target, 0, 1),
                      text = log.LogXML("f", R"(<x password="alloc-secret-value-3" a="1"/>)", 0, 2);
            log.LogMessageV("f", 0, "entry %s", "with a long argument to format");
            log.AddClientMarker("web01", "packages", 0);
            log.SendEventToConsole(1033ul, 7L, EVENT_STATUS, "%d %s", 3, "disk full");
            return (xml == 0 || xml == -1) && (text == 0 || text == -1) ? 0 : 1;
          },
          [&dir](State&) {
            const std::string written = zutest::ReadFile(dir / "alloc.log") + zutest::ReadFile(kPreInstallPath);
            return written.find("alloc-secret-value") == std::string::npos ? "" : "a password reached a log";
          }),
      Entry(
          "ZUDecryptPassword", none, encrypted, {}, -1, {}, 0,
          [](State& s) { return ZUDecryptPassword(s.input.c_str(), &s.output, s.errorText); },
          [](State& s) {
            const std::string plain = s.output != nullptr ? s.output : "";
            delete[] s.output;
            return plain;
          }),
      Entry("UtilDecrypt", none, encrypted, {"unread"}, 0, {}, 1,
            [](State& s) { return UtilDecrypt(s.input.c_str(), s.out[0]); }),
      // Each client password ends up converted or exactly as it was; the
      // conversion's own out-of-memory text must show (gap: it once went unseen).
      Entry(
          "ReEncryptInputRequestNetPwdV8ToV3", "<ClientSetup>" + client + client + "</ClientSetup>", "", {}, -22,
          {"Out of memory while converting passwords.", "", "Failed to encrypt password to get length, error 5",
           "Failed to encrypt password, error 5"},
          2,
          [](State& s) {
            ClientSetup* pointer = &s.target;
            return ReEncryptInputRequestNetPwdV8ToV3(pointer, s.error);
          },
          [&encrypted](State& s) {
            std::string seen, password, plain;
            for (unsigned long i = 0; XmlUtils::GetClientPassword(&s.target, i, password) == 0; ++i) {
              const bool converted = password.compare(0, 3, "V3:") == 0 && UtilDecrypt(password.c_str(), plain) == 0;
              seen += password == encrypted || (converted && plain == "alloc-plain-password") ? "ok " : password;
            }
            return seen;
          }),
      // A catalogue list is whole or, out of memory, empty; never half-filled.
      Entry(
          "GetAllDBPackages", none, "", {}, 0, {}, 2, [](State& s) { return GetAllDBPackages(s.ids), 0; },
          [](State& s) {
            std::vector<int> whole;
            GetAllDBPackages(whole);
            return s.ids.empty() || s.ids == whole ? "whole or empty" : "half-filled";
          }),
      // Fault mended: getstring answered "" when its copy failed, so readers
      // answered empty; multi-output readers wrote some outputs before failing.
      Reader("GetPMAssociated", 1, [](State& s) { return XmlUtils::GetPMAssociated(&s.target, 0, s.out); }),
      Reader("GetClientOS", 2, [](State& s) { return XmlUtils::GetClientOS(&s.target, 0, s.out[0], s.out[1]); }),
      Reader("GetFailoverDX", 3, [](State& s) {
        bool flag = false;
        const int result = XmlUtils::GetFailoverDX(&s.target, 0, s.out[0], s.out[1], flag);
        if (flag) s.out[2] = "flag";
        return result;
      })};
  for (const EntryPoint& e : entryPoints) ExpectFailsCleanlyAtEveryPoint(e);
  EXPECT_TRUE(!__lsan_do_recoverable_leak_check || __lsan_do_recoverable_leak_check() == 0)
      << "LeakSanitizer found leaks";
}

// Hostile and broken input: requests at scale and files that are no requests
// are refused with their error text (or, where the vocabulary allows it,
// loaded) while the target stays as it was and memory stays bounded; and
// anything but a regular file at the pre-install path drops every entry.
constexpr long long kMiB = 1024 * 1024;

long long Status(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, field.size(), field) == 0) return std::stoll(line.substr(field.size())) * 1024;
  return 0;
}
// How far the resident size rises above where it stood at construction; the
// kernel's peak mark is reset first, so earlier tests do not count. Only
// without sanitizers, whose allocators keep freed memory in quarantine (ASan
// brings LSan; TSan never runs this).
struct PeakMemory {
  PeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }
  long long baseline = Status("VmRSS:");
  long long Rise() const { return __lsan_do_recoverable_leak_check ? 0 : Status("VmHWM:") - baseline; }
};

std::string Repeated(std::string xml, const std::string& unit, std::size_t times, const std::string& close) {
  for (std::size_t i = 0; i < times; ++i) xml += unit;
  return xml + close;
}

TEST(LoaderInput, BrokenFilesAndHugeDocumentsAreRefusedOrLoadedWithinBoundedMemory) {
  zutest::ScratchDir dir;
  const std::string request = zutest::ReadFile(ZU_EXAMPLES_DIR "/single-client-install.xml");
  constexpr std::size_t kBig = 32 * kMiB, kMillion = 1000000;
  constexpr long long kCap = 264 * kMiB;  // the cap and the allocator's slack, far below a doubling
  // A file or a document; the error ("": it loads; null: "Failed to open file <path>"), for a document with the
  // parse error; peak growth allowed, below 100 per byte of document: each entry costs less than 256 bytes beyond
  // the text that described it.
  std::tuple<std::string, bool, const char*, long long> cases[] = {
      {dir.path().string(), true, kFileRefused, kCap},
      {dir.write("empty.xml", ""), true, kFileRefused, kCap},
      {"/dev/null", true, kFileRefused, kCap},
      {dir.write("cut.xml", request.substr(0, request.size() / 2)), true, kFileRefused, kCap},
      {dir.write("nul.xml", std::string("<ClientSetup\0/>", 15)), true, kFileRefused, kCap},
      {dir / "missing.xml", true, nullptr, kCap},
      {dir.write("plain", "x") + "/request.xml", true, nullptr, kCap},
      {"/dev/zero", true, kFileRefused, kCap},            // regression: the text's room doubled past the 256 MiB cap
      {dir.write("whole.xml", request), true, "", kCap},  // the cut file was cut from a whole request
      {Repeated(R"(<ClientSetup><organizationInfo authCode=")", "A", kBig, R"("/></ClientSetup>)"), false, "", 5},
      {Repeated("<ClientSetup>", "<x>", kMillion, Repeated("", "</x>", kMillion, "</ClientSetup>")), false,
       "Failed to unserialize XML: nesting deeper than 64", 2},
      {Repeated("<ClientSetup>", "<clientComposition/>", kMillion, "</ClientSetup>"), false, "", 14}};
  for (auto& [input, file, error, bound] : cases) {
    SCOPED_TRACE(input.substr(0, 80));
    ClientSetup target;
    std::string said;
    ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target, said), 0) << said;
    const std::string before = Written(target);
    const long long size = static_cast<long long>(input.size());
    const PeakMemory peak;
    said = "unset";  // the document is moved in, so no copy counts against memory
    const int result = file ? PopulateClientSetupFromXmlFile(&target, input, said)
                            : ConvertStringToClientSetup(std::move(input), &target, said);
    EXPECT_LE(peak.Rise(), bound < 100 ? bound * size : bound);
    if (!file && result != 0) said += ": " + CNMessageBase::LastParseError().reason;
    EXPECT_EQ(result == 0 ? "" : said, error != nullptr ? error : "Failed to open file " + input);
    // A loaded document is written back as it was given, so its length shows nothing was lost.
    EXPECT_TRUE(result != 0 ? Written(target) == before
                            : file || static_cast<long long>(Written(target).size()) == size);
  }
}

TEST(PreInstallPathTakenBy, AnythingButARegularFileDropsEveryEntry) {
  zutest::ScratchDir dir;
  const auto typeAt = [](const std::string& path) { return std::filesystem::symlink_status(path).type(); };
  const std::tuple<std::string, std::function<bool()>, std::function<bool()>> cases[] = {
      {kPreInstallPath, [] { return ::mkdir(kPreInstallPath, 0755) == 0; },
       [] { return ::rmdir(kPreInstallPath) == 0; }},
      {kPreInstallPath, [&] { return ::symlink(dir.write("victim", "original\n").c_str(), kPreInstallPath) == 0; },
       [&] { return zutest::ReadFile(dir / "victim") == "original\n"; }},
      {kPreInstallPath, [&] { return ::symlink((dir / "created").c_str(), kPreInstallPath) == 0; },
       [&] { return !zutest::Exists(dir / "created"); }},
      // Regression: without O_NONBLOCK the open waits for a reader forever.
      {kPreInstallPath, [] { return ::mkfifo(kPreInstallPath, 0600) == 0; }, [] { return true; }},
      {dir / "missing/file.log", [] { return true; }, [&] { return !zutest::Exists(dir / "missing"); }}};
  for (const auto& [path, plant, intact] : cases) {
    zutest::PreInstallPathGuard guard;
    zutest::EnvGuard environment{{"ZU_FOCUS", std::nullopt}, {"ZU_LOG_DIR", dir / "logs"}};
    ASSERT_TRUE(plant());
    const auto planted = typeAt(path);
    // Through every path that reaches the pre-install file, and through a
    // logger never started, which writes to the name it was given; in a child
    // the alarm ends should it block.
    const pid_t child = ::fork();
    if (child == 0) {
      ::alarm(3);
      ZUSimLog(path).LogMessagePreInstall("direct entry\n");
      ZUSimLog log("hardening");
      log.LogMessage("f", 0, "plain entry");
      log.LogMessageV("f", -1, "formatted %d", 7);
      log.LogXML("f", R"(<ClientSetup><userAccount password="s"/></ClientSetup>)", 0, 1);
      log.AddPlatformMarker("install", "started");
      ::_exit(0);
    }
    int status = 0;
    EXPECT_TRUE(::waitpid(child, &status, 0) == child && WIFEXITED(status)) << "the logger blocked opening " << path;
    EXPECT_EQ(typeAt(path), planted) << "what was planted was replaced";
    EXPECT_TRUE(intact()) << path << " of type " << static_cast<int>(planted);
  }
}

}  // namespace
