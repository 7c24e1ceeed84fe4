// Allocation failure at every point of a call: this program replaces the
// global operator new so that, while armed, allocation number n fails and
// every other succeeds, as when memory is short for a moment. Each entry point
// runs for n = 0, 1, ... until it meets no refusal. A run must never throw; it
// either answers as an unhindered call does, or fails with the entry point's
// failure result and text, leaves what it may change as it was and gives back
// every block it took. Under ASan, LeakSanitizer also sees expat's and
// OpenSSL's own allocations.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <new>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"
#include "ZUInstallXmlUtils.h"
#include "common/TestSupport.h"

// Present when LeakSanitizer runs.
extern "C" int __lsan_do_recoverable_leak_check() __attribute__((weak));

namespace {

// One thread drives this test and the library starts none, so plain globals do.
bool gArmed = false;
long long gBudget = 0;  // allocations that succeed while armed before the one that fails
bool gRefused = false;  // an allocation was refused since arming
long long gLive = 0;    // blocks allocated while armed and not released

struct alignas(16) Header {
  bool watched;  // allocated while armed
};

}  // namespace

void* operator new(std::size_t size) {
  const bool watched = gArmed;
  if (watched && gBudget-- == 0) { gRefused = true; throw std::bad_alloc(); }
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
  try { return operator new(size); } catch (const std::bad_alloc&) { return nullptr; }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* pointer, std::size_t) noexcept { operator delete(pointer); }
void operator delete[](void* pointer) noexcept { operator delete(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { operator delete(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { operator delete(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { operator delete(pointer); }

namespace {

using ZUInstallManager::ClientSetup;
constexpr EncodingFlags kFlags{true, false, false, 0, 0, -1, false, false, true, false, 1};

// What a call works on; reset before every run.
struct State {
  ClientSetup target;
  std::string input, error;
  std::vector<std::string> out;
  char* output = nullptr;
  char errorText[1024] = {};
};

struct EntryPoint {
  const char* name;
  std::string request;  // loaded into the target before each run
  std::string input;
  std::vector<std::string> outputs;  // preset before each run
  std::function<int(State&)> call;  // must not throw, allocate besides the library or assert
  int failure;                      // the result of a failed call; 0: any non-zero one
  std::vector<std::string> texts;   // error texts a failed call may give; the first must occur
  int keeps = 0;  // blocks a call may keep in the target or outputs: 0 none, 1 when it succeeds, 2 always
  std::function<std::string(State&)> observe = nullptr;  // what the call may change; default: target and outputs
};

std::string TargetAndOutputs(State& s) {
  std::string seen;
  if (XMLEncoder(kFlags, nullptr).serialize(&s.target, seen, false) != 0) seen = "<unwritable>";
  for (const std::string& text : s.out) seen += "|" + text;
  return seen;
}

void Reset(const EntryPoint& e, State& s) {
  std::string error;
  ASSERT_EQ(ConvertStringToClientSetup(e.request, &s.target, error), 0) << error;
  s.input = e.input;
  s.error.assign(64, ' ');  // room for any error text, so storing one allocates nothing
  s.error = "unset";
  s.out.clear();  // fresh strings: storing a long value must allocate
  s.out = e.outputs;
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
    try { result = e.call(s); } catch (...) {}
    gArmed = false;
    const std::string seen = observe(s);
    SCOPED_TRACE("refused allocation " + std::to_string(n));
    ASSERT_NE(result, kEscaped) << "an exception left the call";
    EXPECT_TRUE(result == 0 || gRefused) << "failed without a refusal";
    EXPECT_TRUE(result == 0 || e.failure == 0 || result == e.failure) << result;
    EXPECT_EQ(seen, result == 0 ? answer : before) << "a call that met a refusal answered otherwise, or a failed one changed what it was given";
    if (result != 0 && !e.texts.empty()) {
      texts.insert(s.error);
      EXPECT_TRUE(std::count(e.texts.begin(), e.texts.end(), s.error)) << "error text: " << s.error;
    }
    if (e.keeps == 0 || (e.keeps == 1 && result != 0)) { EXPECT_EQ(gLive, 0) << "blocks kept"; }
    if (!gRefused) break;
  }
  if (!e.texts.empty()) { EXPECT_EQ(texts.count(e.texts[0]), 1u) << "never failed with: " << e.texts[0]; }
}

// Every value is longer than a short-string buffer, so each copy allocates.
constexpr char kLongValues[] =
    R"(<ClientSetup><clientAuthentication><userAccount userName="service-account-name" password="V8:password-value-long-enough"/>)"
    R"(</clientAuthentication><clientComposition><clientInfo><client clientPassword="V8:client-password-long-enough"><osInfo )"
    R"(osName="Linux-operating-system" osDetail="Debian 12 bookworm x86_64"/></client><pmAssociatedClients clientName="associated-one"/>)"
    R"(<pmAssociatedClients clientName="associated-client-two"/></clientInfo><components><policySettings><plan planId="5" )"
    R"(planName="server-plan-daily-long"/></policySettings></components><failoverDXInfo failoverValue1="failover-value-number-one" )"
    R"(failoverValue2="failover-value-number-two" failoverFlag="1"/></clientComposition></ClientSetup>)";
constexpr char kEarlier[] = R"(<ClientSetup jobId="41"><dxInfo connectionUrl="https://earlier.example.com/with/a/long/path"/><clientComposition operationType="7"/></ClientSetup>)";
constexpr char kSecretRequest[] =
    R"(<ClientSetup jobId="5"><clientAuthentication><userAccount userName="svc" password="alloc-secret-value-1"/>)"
    R"(</clientAuthentication><clientComposition><clientInfo><client clientPassword="alloc-secret-value-2"/></clientInfo></clientComposition></ClientSetup>)";

// A failed read may leave room reserved in an output.
EntryPoint Reader(const char* name, std::size_t outputs, std::function<int(State&)> call) {
  return EntryPoint{name, kLongValues, "", std::vector<std::string>(outputs, "unread"), std::move(call), -1, {}, 2};
}

TEST(AllocationFailure, EveryEntryPointFailsCleanlyAtEveryPoint) {
  const std::string bulk = zutest::ReadFile(ZU_EXAMPLES_DIR "/bulk-install.xml");
  ASSERT_FALSE(bulk.empty());
  zutest::ScratchDir dir;
  const std::string bulkFile = dir.write("bulk.xml", bulk);
  zutest::PreInstallPathGuard preInstall;
  zutest::EnvGuard environment{{"ZU_LOG_DIR", dir.path().string()}, {"ZU_FOCUS", "instance001"}, {"ZU_DEBUG_LEVEL", std::nullopt}};
  // A failed start of the logger registers the pre-install name once for the process.
  ASSERT_GT(EvDebug::getLogId("alloc"), 0);
  ASSERT_GT(EvDebug::getLogId(zutest::kPreInstallPath), 0);
  char* v8 = nullptr;
  char errorText[1024] = {};
  ASSERT_EQ(ZUEncryptPassword_V8("alloc-plain-password", &v8, errorText), 0) << errorText;
  const std::string encrypted = v8;
  delete[] v8;
  const std::string client = "<clientComposition><clientInfo><client clientPassword=\"" + encrypted + "\"/></clientInfo></clientComposition>";
  const std::string maskable = R"(<a password="x" clientPassword="a-very-long-client-password-value" pAccess=""/>)"
                               R"(<b pExecAccess="p" password="another-long-password-value-here" clientPassword="c"/>)";
  const EntryPoint entryPoints[] = {
      {"ConvertStringToClientSetup", kEarlier, bulk, {}, [](State& s) { return ConvertStringToClientSetup(std::move(s.input), &s.target, s.error); }, -1, {"Failed to unserialize XML"}, 1},
      {"PopulateClientSetupFromXmlFile", kEarlier, bulkFile, {}, [](State& s) { return PopulateClientSetupFromXmlFile(&s.target, s.input, s.error); }, -1, {"Failed to unserialize XML blob from the input file."}, 1},
      {"XMLEncoder::serialize", bulk, "", {"unread"}, [](State& s) {
         std::string xml;
         const int result = XMLEncoder(kFlags, nullptr).serialize(&s.target, xml, false);
         if (result == 0) s.out[0] = std::move(xml);
         return result;
       }, XMLEncoder::kOutOfMemory, {}, 1},
      {"copy constructor throws and keeps nothing", bulk, "", {}, [](State& s) {
         try { ClientSetup copy(s.target); } catch (const std::bad_alloc&) { return -1; }
         return 0;
       }, -1, {}},
      // Short values make the result longer than the text, long ones shorter;
      // out of memory cuts the text after the last value masked in place.
      {"MaskInformation never leaves a value behind", "<ClientSetup/>", maskable, {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\""},
       [](State& s) { for (std::string& key : s.out) MaskInformation(s.input, std::move(key), 8); return 0; }, -1, {}, 1, [](State& s) {
         static const std::regex kLeft(R"((?:password|Password|pAccess|pExecAccess)="(?!\*{8}(?:"|$)))");
         return std::regex_search(s.input, kLeft) ? s.input : "every value masked";
       }},
      {"logging never throws nor writes a password", kSecretRequest, "alloc", {}, [](State& s) {
         ZUSimLog log(std::move(s.input));
         const int xml = log.LogXML("f", &s.target, 0, 1), text = log.LogXML("f", R"(<x password="alloc-secret-value-3" a="1"/>)", 0, 2);
         log.LogMessageV("f", 0, "entry %s", "with a long argument to format");
         log.AddClientMarker("web01", "packages", 0);
         log.SendEventToConsole(1033ul, 7L, EVENT_STATUS, "%d %s", 3, "disk full");
         return (xml == 0 || xml == -1) && (text == 0 || text == -1) ? 0 : 1;
       }, -1, {}, 0, [&dir](State&) {
         const std::string written = zutest::ReadFile(dir / "alloc.log") + zutest::ReadFile(zutest::kPreInstallPath);
         return written.find("alloc-secret-value") == std::string::npos ? "" : "a password reached a log";
       }},
      {"ZUDecryptPassword", "<ClientSetup/>", encrypted, {}, [](State& s) { return ZUDecryptPassword(s.input.c_str(), &s.output, s.errorText); }, -1, {}, 0, [](State& s) {
         const std::string plain = s.output != nullptr ? s.output : "";
         delete[] s.output;
         return plain;
       }},
      {"UtilDecrypt", "<ClientSetup/>", encrypted, {"unread"}, [](State& s) { return UtilDecrypt(s.input.c_str(), s.out[0]); }, 0, {}, 1},
      // Each client password ends up converted or exactly as it was; the
      // conversion's own out-of-memory text must show (gap: it once went unseen).
      {"ReEncryptInputRequestNetPwdV8ToV3", "<ClientSetup>" + client + client + "</ClientSetup>", "", {}, [](State& s) {
         ClientSetup* pointer = &s.target;
         return ReEncryptInputRequestNetPwdV8ToV3(pointer, s.error);
       }, -22, {"Out of memory while converting passwords.", "", "Failed to encrypt password to get length, error 5", "Failed to encrypt password, error 5"}, 2, [&encrypted](State& s) {
         std::string seen, password, plain;
         for (unsigned long index = 0; index < 2; ++index) {
           const bool ok = XmlUtils::GetClientPassword(&s.target, index, password) == 0 && (password == encrypted ||
                           (password.compare(0, 3, "V3:") == 0 && UtilDecrypt(password.c_str(), plain) == 0 && plain == "alloc-plain-password"));
           seen += ok ? "ok " : password + " ";
         }
         return seen;
       }},
      // Fault mended: getstring answered "" when its copy failed, so readers
      // answered empty; multi-output readers wrote some outputs before failing.
      Reader("GetPMAssociated", 1, [](State& s) { return XmlUtils::GetPMAssociated(&s.target, 0, s.out); }),
      Reader("GetClientPassword", 1, [](State& s) { return XmlUtils::GetClientPassword(&s.target, 0, s.out[0]); }),
      Reader("GetClientOS", 2, [](State& s) { return XmlUtils::GetClientOS(&s.target, 0, s.out[0], s.out[1]); }),
      Reader("GetUserAccountToLogin", 2, [](State& s) { return XmlUtils::GetUserAccountToLogin(&s.target, s.out[0], s.out[1]); }),
      Reader("GetFailoverDX", 3, [](State& s) {
        bool flag = false;
        const int result = XmlUtils::GetFailoverDX(&s.target, 0, s.out[0], s.out[1], flag);
        if (flag) s.out[2] = "flag";
        return result;
      }),
      Reader("GetSubclientPlan", 2, [](State& s) {
        int id = -5;
        const int result = XmlUtils::GetSubclientPlan(XmlUtils::GetClientComposition(&s.target, 0), id, s.out[0]);
        if (id != -5) s.out[1] = "id " + std::to_string(id);
        return result;
      }),
  };
  for (const EntryPoint& e : entryPoints) ExpectFailsCleanlyAtEveryPoint(e);
  if (__lsan_do_recoverable_leak_check != nullptr) { EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found blocks no one holds"; }
}

}  // namespace
