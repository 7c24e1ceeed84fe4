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
#include <chrono>
#include <climits>
#include <functional>
#include <future>
#include <new>
#include <regex>
#include <set>
#include <thread>

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

}  // namespace

void* operator new(std::size_t size) {
  const bool watched = gArmed;
  if (watched && gBudget-- == 0) {
    gRefused = true;
    throw std::bad_alloc();
  }
  auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + size));
  if (header == nullptr) throw std::bad_alloc();
  if ((header->watched = watched)) ++gLive;  // only then: unarmed threads must not write the globals
  return header + 1;
}
void operator delete(void* pointer) noexcept {
  if (pointer == nullptr) return;
  Header* header = static_cast<Header*>(pointer) - 1;
  if (header->watched) --gLive;
  std::free(header);
}
// The other forms, spelled out so a sanitizer's own cannot pair with these.
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
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
  using Observe = std::function<std::string(State&)>;
  EntryPoint(const char* name, std::string request, std::string input, Strings outputs, int failure, Strings texts,
             int keeps, std::function<int(State&)> call, Observe observe = nullptr)
      : name(name),
        request(std::move(request)),
        input(std::move(input)),
        outputs(std::move(outputs)),
        failure(failure),
        texts(std::move(texts)),
        keeps(keeps),
        call(std::move(call)),
        observe(std::move(observe)) {}
  const char* name;
  std::string request, input;  // the request is loaded into the target before each run
  Strings outputs;             // preset before each run
  int failure;                 // the result of a failed call; 0: any non-zero one
  Strings texts;               // error texts a failed call may give; the first must occur
  int keeps;                   // blocks a call may keep in the target or outputs: 0 none, 1 when it succeeds, 2 always
  std::function<int(State&)> call;  // must not throw, allocate besides the library or assert
  Observe observe;                  // what the call may change; default: target and outputs
};

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
  s.out.clear();  // fresh strings and vectors: storing a long value must allocate
  s.out = e.outputs;
  s.ids = std::vector<int>();
  s.output = nullptr;
}

void ExpectFailsCleanlyAtEveryPoint(const EntryPoint& e) {
  SCOPED_TRACE(e.name);
  State s;
  const auto observe = e.observe ? e.observe : TargetAndOutputs;
  Reset(e, s);
  const std::string before = observe(s);
  ASSERT_EQ(e.call(s), 0) << "an unhindered call succeeds";
  const std::string answer = observe(s);
  std::set<std::string> texts;
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
      texts.insert(s.error);
      EXPECT_TRUE(std::count(e.texts.begin(), e.texts.end(), s.error)) << "error text: " << s.error;
    }
    if (e.keeps == 0 || (e.keeps == 1 && result != 0)) EXPECT_EQ(gLive, 0) << "blocks kept";
    if (!gRefused) break;
  }
  if (!e.texts.empty()) EXPECT_EQ(texts.count(e.texts[0]), 1u) << "never failed with: " << e.texts[0];
}

// A failed read may leave room reserved in an output.
EntryPoint Reader(const char* name, std::size_t outputs, std::function<int(State&)> call) {
  return EntryPoint(name, Data("hardening-long-values"), "", Strings(outputs, "unread"), -1, {}, 2, std::move(call));
}

// A catalogue list is whole or, out of memory, empty; never half-filled.
EntryPoint Catalogue(const char* name, void (*list)(std::vector<int>&)) {
  return EntryPoint(
      name, "<ClientSetup/>", "", {}, 0, {}, 2, [list](State& s) { return list(s.ids), 0; },
      [list](State& s) {
        std::vector<int> whole;
        list(whole);
        return s.ids.empty() || s.ids == whole ? "whole or empty" : "half-filled";
      });
}

TEST(AllocationFailure, EveryEntryPointFailsCleanlyAtEveryPoint) {
  const std::string bulk = zutest::ReadFile(ZU_EXAMPLES_DIR "/bulk-install.xml");
  ASSERT_FALSE(bulk.empty());
  zutest::ScratchDir dir;
  const std::string bulkFile = dir.write("bulk.xml", bulk);
  zutest::PreInstallPathGuard preInstall;
  zutest::EnvGuard environment{
      {"ZU_LOG_DIR", dir.path().string()}, {"ZU_FOCUS", "instance001"}, {"ZU_DEBUG_LEVEL", std::nullopt}};
  // A failed start of the logger registers the pre-install name once for the process.
  ASSERT_TRUE(EvDebug::getLogId("alloc") > 0 && EvDebug::getLogId(zutest::kPreInstallPath) > 0);
  char *v8 = nullptr, errorText[1024] = {};
  ASSERT_EQ(ZUEncryptPassword_V8("alloc-plain-password", &v8, errorText), 0) << errorText;
  const std::string encrypted = v8;
  delete[] v8;
  const std::string client =
      "<clientComposition><clientInfo><client clientPassword=\"" + encrypted + "\"/></clientInfo></clientComposition>";
  const std::string maskable = R"(<a password="x" clientPassword="a-very-long-client-password-value" pAccess=""/>)"
                               R"(<b pExecAccess="p" password="another-long-password-value-here" clientPassword="c"/>)";
  const EntryPoint entryPoints[] = {
      EntryPoint("ConvertStringToClientSetup", kEarlier, bulk, {}, -1, {"Failed to unserialize XML"}, 1,
                 [](State& s) { return ConvertStringToClientSetup(std::move(s.input), &s.target, s.error); }),
      EntryPoint("PopulateClientSetupFromXmlFile", kEarlier, bulkFile, {}, -1, {kFileRefused}, 1,
                 [](State& s) { return PopulateClientSetupFromXmlFile(&s.target, s.input, s.error); }),
      EntryPoint("XMLEncoder::serialize", bulk, "", {"unread"}, XMLEncoder::kOutOfMemory, {}, 1,
                 [](State& s) {
                   std::string xml;
                   const int result = XMLEncoder(kFlags, nullptr).serialize(&s.target, xml, false);
                   if (result == 0) s.out[0] = std::move(xml);
                   return result;
                 }),
      EntryPoint("copy constructor throws and keeps nothing", bulk, "", {}, -1, {}, 0,
                 [](State& s) {
                   try {
                     ClientSetup copy(s.target);
                   } catch (const std::bad_alloc&) {
                     return -1;
                   }
                   return 0;
                 }),
      // Short values make the result longer than the text, long ones shorter;
      // out of memory cuts the text after the last value masked in place.
      EntryPoint(
          "MaskInformation never leaves a value behind", "<ClientSetup/>", maskable,
          {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\""}, -1, {}, 1,
          [](State& s) {
            for (std::string& key : s.out) MaskInformation(s.input, std::move(key), 8);
            return 0;
          },
          [](State& s) {
            static const std::regex kLeft(R"((?:password|Password|pAccess|pExecAccess)="(?!\*{8}(?:"|$)))");
            return std::regex_search(s.input, kLeft) ? s.input : "every value masked";
          }),
      EntryPoint(
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
      EntryPoint(
          "ZUDecryptPassword", "<ClientSetup/>", encrypted, {}, -1, {}, 0,
          [](State& s) { return ZUDecryptPassword(s.input.c_str(), &s.output, s.errorText); },
          [](State& s) {
            const std::string plain = s.output != nullptr ? s.output : "";
            delete[] s.output;
            return plain;
          }),
      EntryPoint("UtilDecrypt", "<ClientSetup/>", encrypted, {"unread"}, 0, {}, 1,
                 [](State& s) { return UtilDecrypt(s.input.c_str(), s.out[0]); }),
      // Each client password ends up converted or exactly as it was; the
      // conversion's own out-of-memory text must show (gap: it once went unseen).
      EntryPoint(
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
            for (unsigned long index = 0; index < 2; ++index) {
              const bool ok = XmlUtils::GetClientPassword(&s.target, index, password) == 0 &&
                              (password == encrypted ||
                               (password.compare(0, 3, "V3:") == 0 && UtilDecrypt(password.c_str(), plain) == 0 &&
                                plain == "alloc-plain-password"));
              seen += ok ? "ok " : password + " ";
            }
            return seen;
          }),
      Catalogue("GetAllDBPackages", GetAllDBPackages),
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
  if (__lsan_do_recoverable_leak_check != nullptr) {
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found blocks no one holds";
  }
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
// kernel's peak mark is reset first, so earlier tests do not count.
struct PeakMemory {
  PeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }
  long long baseline = Status("VmRSS:");
  // Only without sanitizers, whose allocators keep freed memory in quarantine (ASan brings LSan; TSan never runs this).
  void ExpectAtMost(long long bound) const {
    if (__lsan_do_recoverable_leak_check == nullptr) {
      EXPECT_LE(Status("VmHWM:") - baseline, bound);
    }
  }
};

class LoaderInput : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error_), 0) << error_; }
  std::string Held() { return Written(target_); }
  // Loads the document (moved in, so no copy counts against memory) or the file.
  int Load(std::string input, bool file) {
    error_ = "unset";
    return file ? PopulateClientSetupFromXmlFile(&target_, input, error_)
                : ConvertStringToClientSetup(std::move(input), &target_, error_);
  }
  ClientSetup target_;
  std::string error_;
};

std::string Repeated(const std::string& open, const std::string& unit, std::size_t times, const std::string& close) {
  std::string xml = open;
  for (std::size_t i = 0; i < times; ++i) xml += unit;
  return xml + close;
}

TEST_F(LoaderInput, UnreadableTruncatedAndEndlessFilesAreRefused) {
  zutest::ScratchDir dir;
  const std::string request = zutest::ReadFile(ZU_EXAMPLES_DIR "/single-client-install.xml");
  const std::string before = Held();
  // null error: "Failed to open file <path>"
  const std::pair<std::string, const char*> cases[] = {
      {dir.path().string(), kFileRefused},
      {dir.write("empty.xml", ""), kFileRefused},
      {"/dev/null", kFileRefused},
      {dir.write("cut.xml", request.substr(0, request.size() / 2)), kFileRefused},
      {dir.write("nul.xml", std::string("<ClientSetup\0/>", 15)), kFileRefused},
      {dir / "missing.xml", nullptr},
      {dir.write("plain", "x") + "/request.xml", nullptr},
      {"/dev/zero", kFileRefused}};  // regression: the text's room doubled past the 256 MiB cap
  for (const auto& [path, error] : cases) {
    const PeakMemory peak;
    EXPECT_EQ(Load(path, true), -1) << path;
    EXPECT_EQ(error_, error != nullptr ? error : "Failed to open file " + path);
    EXPECT_EQ(Held(), before);
    peak.ExpectAtMost(256 * kMiB + kMiB);
  }
  EXPECT_EQ(Load(dir.write("whole.xml", request), true), 0) << "the cut file was cut from a whole request";
}

TEST_F(LoaderInput, HugeDocumentsLoadOrAreRefusedWithinBoundedMemory) {
  constexpr std::size_t kBig = 32 * kMiB, kMillion = 1000000;
  // reason null: the document loads; factor: peak growth allowed per byte of text. Each entry costs less than 256
  // bytes beyond the text that described it.
  const std::tuple<std::string, std::string, std::size_t, std::string, const char*, long long> cases[] = {
      {R"(<ClientSetup><organizationInfo authCode=")", "A", kBig, R"("/></ClientSetup>)", nullptr, 5},
      {"<ClientSetup>", "<x>", kMillion, Repeated("", "</x>", kMillion, "</ClientSetup>"), "nesting deeper than 64", 2},
      {"<ClientSetup>", "<clientComposition/>", kMillion, "</ClientSetup>", nullptr, 14}};
  for (const auto& [open, unit, times, close, reason, factor] : cases) {
    SCOPED_TRACE(unit);
    std::string xml = Repeated(open, unit, times, close);
    const std::size_t size = xml.size();
    const std::string before = Held();
    const PeakMemory peak;
    ASSERT_EQ(Load(std::move(xml), false), reason ? -1 : 0) << CNMessageBase::LastParseError().reason;
    peak.ExpectAtMost(factor * static_cast<long long>(size));
    if (reason != nullptr) EXPECT_EQ(CNMessageBase::LastParseError().reason, reason);
    // A loaded document is written back as it was given, so its length shows nothing was lost.
    EXPECT_TRUE(reason ? Held() == before : Held().size() == size);
    ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target_, error_), 0);
  }
}

TEST(PreInstallPathTakenBy, AnythingButARegularFileDropsEveryEntry) {
  zutest::ScratchDir dir;
  const auto typeAt = [](const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
  };
  const struct Case {
    std::string path;
    std::function<bool()> plant, intact;
  } cases[] = {
      {kPreInstallPath, [] { return ::mkdir(kPreInstallPath, 0755) == 0; },
       [] { return ::rmdir(kPreInstallPath) == 0; }},
      {kPreInstallPath, [&] { return ::symlink(dir.write("victim", "original\n").c_str(), kPreInstallPath) == 0; },
       [&] { return zutest::ReadFile(dir / "victim") == "original\n"; }},
      {kPreInstallPath, [&] { return ::symlink((dir / "created").c_str(), kPreInstallPath) == 0; },
       [&] { return !zutest::Exists(dir / "created"); }},
      // Regression: without O_NONBLOCK the open waits for a reader forever.
      {kPreInstallPath, [] { return ::mkfifo(kPreInstallPath, 0600) == 0; }, [] { return true; }},
      {dir / "missing/file.log", [] { return true; }, [&] { return !zutest::Exists(dir / "missing"); }}};
  for (const Case& c : cases) {
    zutest::PreInstallPathGuard guard;
    zutest::EnvGuard environment{{"ZU_FOCUS", std::nullopt}, {"ZU_LOG_DIR", dir / "logs"}};
    ASSERT_TRUE(c.plant());
    const mode_t planted = typeAt(c.path);
    // Through every path that reaches the pre-install file, and through a
    // logger never started, which writes to the name it was given.
    std::packaged_task<void()> task([&c] {
      ZUSimLog(c.path).LogMessagePreInstall("direct entry\n");
      ZUSimLog log("hardening");
      log.LogMessage("f", 0, "plain entry");
      log.LogMessageV("f", -1, "formatted %d", 7);
      log.LogXML(
          "f", R"(<ClientSetup><clientAuthentication><userAccount password="s"/></clientAuthentication></ClientSetup>)",
          0, 1);
      log.AddPlatformMarker("install", "started");
    });
    std::future<void> done = task.get_future();
    std::thread logger(std::move(task));
    const bool blocked = done.wait_for(std::chrono::seconds(3)) != std::future_status::ready;
    blocked ? logger.detach() : logger.join();  // blocked for good: the process ends it
    if (blocked) {
      ADD_FAILURE() << "the logger blocked opening " << c.path;
      continue;
    }
    EXPECT_EQ(typeAt(c.path), planted) << "what was planted was replaced";
    EXPECT_TRUE(c.intact()) << c.path << " of type " << planted;
  }
}

}  // namespace
