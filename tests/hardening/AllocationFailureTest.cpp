// Allocation failure at every point of a call: this program replaces the
// global operator new so that, while armed, allocation number n fails and
// every other succeeds, as when memory is short for a moment. Each call is
// run for n = 0, 1, ... until it no longer meets a failure. Every run must end in the call's failure result
// (never an exception), leave its target and outputs as they were, and give
// back every block it took; under ASan, LeakSanitizer also sees expat's and
// OpenSSL's own allocations.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "ZUInstallXmlUtils.h"
#include "hardening/HardeningSupport.h"

#if ZU_HARDENING_SANITIZED
#include <sanitizer/lsan_interface.h>
#endif

namespace {

struct Header {
  std::size_t offset;  // from the start of the underlying block to the caller's pointer
  std::uint32_t magic;
  std::uint32_t reserved;
};
static_assert(sizeof(Header) == 16, "the header keeps the default new alignment");

constexpr std::uint32_t kWatched = 0x57415443;  // allocated while armed
constexpr std::uint32_t kPlain = 0x504C4149;

// One thread drives these tests and the library starts none, so plain
// globals do; a block may still be released on another thread.
bool gArmed = false;
long long gBudget = 0;  // allocations that succeed while armed before the one that fails
bool gRefused = false;  // an allocation was refused since arming
long long gLive = 0;    // blocks allocated while armed and not released

void* Allocate(std::size_t size, std::size_t align, bool nothrow) {
  const bool watched = gArmed;
  if (watched && gBudget-- == 0) {
    gRefused = true;
    if (nothrow) return nullptr;
    throw std::bad_alloc();
  }
  const std::size_t offset = align > sizeof(Header) ? align : sizeof(Header);
  void* base = nullptr;
  if (size <= SIZE_MAX / 2) {
    base = align > sizeof(Header) ? std::aligned_alloc(align, (offset + size + align - 1) / align * align)
                                  : std::malloc(offset + size);
  }
  if (base == nullptr) {
    if (nothrow) return nullptr;
    throw std::bad_alloc();
  }
  char* user = static_cast<char*>(base) + offset;
  Header* header = reinterpret_cast<Header*>(user) - 1;
  header->offset = offset;
  header->magic = watched ? kWatched : kPlain;
  if (watched) ++gLive;
  return user;
}

void Release(void* pointer) noexcept {
  if (pointer == nullptr) return;
  Header* header = static_cast<Header*>(pointer) - 1;
  if (header->magic == kWatched) --gLive;
  header->magic = 0;
  std::free(static_cast<char*>(pointer) - header->offset);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size, 0, false); }
void* operator new[](std::size_t size) { return Allocate(size, 0, false); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, 0, true); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, 0, true); }
void* operator new(std::size_t size, std::align_val_t align) {
  return Allocate(size, static_cast<std::size_t>(align), false);
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return Allocate(size, static_cast<std::size_t>(align), false);
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return Allocate(size, static_cast<std::size_t>(align), true);
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return Allocate(size, static_cast<std::size_t>(align), true);
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p); }

namespace {

using hardening::ReadFile;
using hardening::ScratchDir;
using hardening::Written;
using ZUInstallManager::ClientSetup;

struct FailureRun {
  int failurePoint;  // allocations granted before the refused one
  bool refused;      // the run met a refused allocation
  long long live;    // blocks the run took and did not give back
  bool escaped;      // an exception left the call
};

// For n = 0, 1, ...: `prepare` (unarmed), `call` with allocation n refused,
// then `check` (unarmed); stops after the first run that meets no refusal.
// `call` must not allocate other than through the library and must not use
// test assertions.
template <class Prepare, class Call, class Check>
int EveryFailurePoint(Prepare prepare, Call call, Check check) {
  constexpr int kMostPoints = 200000;
  const auto failures = [] {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
  };
  const int failuresBefore = failures();
  for (int n = 0; n < kMostPoints; ++n) {
    prepare();
    gLive = 0;
    gRefused = false;
    gBudget = n;
    bool escaped = false;
    gArmed = true;
    try {
      call();
    } catch (...) {
      escaped = true;
    }
    gArmed = false;
    const FailureRun run{n, gRefused, gLive, escaped};
    check(run);
    if (failures() != failuresBefore || !run.refused) return n + 1;
  }
  ADD_FAILURE() << "the call still met refusals after " << kMostPoints << " allocations";
  return kMostPoints;
}

void ExpectNoLeakSeenBySanitizer() {
#if ZU_HARDENING_SANITIZED
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found blocks no one holds";
#endif
}

const std::string& BulkRequest() {
  static const std::string text = ReadFile(ZU_EXAMPLES_DIR "/bulk-install.xml");
  return text;
}

constexpr char kEarlier[] =
    R"(<ClientSetup jobId="41"><dxInfo connectionUrl="https://earlier.example.com/with/a/long/path"/>)"
    R"(<clientComposition operationType="7"/></ClientSetup>)";

class AllocationFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(BulkRequest().empty());
    std::string error;
    // Warms the library's one-time set-up, so runs measure only themselves.
    ASSERT_EQ(ConvertStringToClientSetup(BulkRequest(), &expected_, error), 0) << error;
    expectedText_ = Written(expected_);
  }

  ClientSetup expected_;
  std::string expectedText_;
};

TEST_F(AllocationFailure, LoadFromTextFailsCleanlyAtEveryPoint) {
  ClientSetup target;
  std::string error;
  ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target, error), 0);
  const std::string before = Written(target);
  std::string xml;
  int result = 0;
  const int runs = EveryFailurePoint(
      [&] {
        xml = BulkRequest();
        error.assign(64, ' ');
        error = "unset";
      },
      [&] { result = ConvertStringToClientSetup(std::move(xml), &target, error); },
      [&](const FailureRun& run) {
        ASSERT_FALSE(run.escaped) << "at point " << run.failurePoint;
        if (run.refused) {
          ASSERT_EQ(result, -1) << "at point " << run.failurePoint;
          ASSERT_EQ(error, "Failed to unserialize XML");
          ASSERT_EQ(run.live, 0) << "blocks kept at point " << run.failurePoint;
          ASSERT_EQ(Written(target), before) << "the target changed at point " << run.failurePoint;
        } else {
          ASSERT_EQ(result, 0);
          ASSERT_EQ(Written(target), expectedText_);
        }
      });
  EXPECT_GT(runs, 50) << "the load should allocate many times";
  RecordProperty("failure_points", runs);
  ExpectNoLeakSeenBySanitizer();
}

TEST_F(AllocationFailure, LoadFromFileFailsCleanlyAtEveryPoint) {
  ScratchDir dir;
  std::string path = dir.write("bulk.xml", BulkRequest());
  ClientSetup target;
  std::string error;
  ASSERT_EQ(ConvertStringToClientSetup(kEarlier, &target, error), 0);
  const std::string before = Written(target);
  int result = 0;
  EveryFailurePoint([&] { error.assign(64, ' '); },
                    [&] { result = PopulateClientSetupFromXmlFile(&target, path, error); },
                    [&](const FailureRun& run) {
                      ASSERT_FALSE(run.escaped) << "at point " << run.failurePoint;
                      if (run.refused) {
                        ASSERT_EQ(result, -1);
                        ASSERT_EQ(error, "Failed to unserialize XML blob from the input file.");
                        ASSERT_EQ(run.live, 0) << "blocks kept at point " << run.failurePoint;
                        ASSERT_EQ(Written(target), before) << "the target changed at point " << run.failurePoint;
                      } else {
                        ASSERT_EQ(result, 0);
                        ASSERT_EQ(Written(target), expectedText_);
                      }
                    });
  ExpectNoLeakSeenBySanitizer();
}

TEST_F(AllocationFailure, WritingARequestReportsOutOfMemory) {
  int result = 0;
  bool same = false;
  EveryFailurePoint([] {},
                    [&] {
                      std::string xml;
                      const EncodingFlags flags{true, false, false, 0, 0, -1, false, false, true, false, 1};
                      XMLEncoder encoder(flags, nullptr);
                      result = encoder.serialize(&expected_, xml, false);
                      same = xml == expectedText_;
                    },
                    [&](const FailureRun& run) {
                      ASSERT_FALSE(run.escaped);
                      ASSERT_EQ(run.live, 0);
                      if (run.refused) {
                        ASSERT_EQ(result, XMLEncoder::kOutOfMemory) << "at point " << run.failurePoint;
                      } else {
                        ASSERT_EQ(result, 0);
                        ASSERT_TRUE(same);
                      }
                    });
}

TEST_F(AllocationFailure, CopyingARequestThrowsAndKeepsNothing) {
  bool threw = false;
  EveryFailurePoint([] {},
                    [&] {
                      threw = false;
                      try {
                        ClientSetup copy(expected_);
                      } catch (const std::bad_alloc&) {
                        threw = true;
                      }
                    },
                    [&](const FailureRun& run) {
                      ASSERT_FALSE(run.escaped);
                      ASSERT_EQ(threw, run.refused);
                      ASSERT_EQ(run.live, 0) << "blocks kept at point " << run.failurePoint;
                    });
}

constexpr const char* kMaskedKeys[] = {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\""};

TEST_F(AllocationFailure, MaskingNeverLeavesAValueBehind) {
  // Short values make the result longer than the text, long ones shorter.
  const std::string original =
      R"(<a password="x" clientPassword="a-very-long-client-password-value" pAccess=""/>)"
      R"(<b pExecAccess="p" password="another-long-password-value-here" clientPassword="c"/>)";
  std::string text;
  std::vector<std::string> keys;
  EveryFailurePoint(
      [&] {
        text = original;
        keys.assign(std::begin(kMaskedKeys), std::end(kMaskedKeys));
      },
      [&] {
        for (std::string& key : keys) MaskInformation(text, std::move(key), 8);
      },
      [&](const FailureRun& run) {
        ASSERT_FALSE(run.escaped);
        for (const std::string key : kMaskedKeys) {
          for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
            const std::size_t value = at + key.size();
            ASSERT_EQ(text.compare(value, 8, "********"), 0) << "at point " << run.failurePoint << ": " << text;
            ASSERT_TRUE(value + 8 == text.size() || text[value + 8] == '"') << text;
          }
        }
        if (!run.refused) {
          ASSERT_EQ(text,
                    R"(<a password="********" clientPassword="********" pAccess="********"/>)"
                    R"(<b pExecAccess="********" password="********" clientPassword="********"/>)");
        }
      });
}

TEST_F(AllocationFailure, LoggingNeverThrowsNorWritesAPassword) {
  ScratchDir dir;
  hardening::RuntimeEnvironment environment(dir.path(), "instance001");
  ASSERT_GT(EvDebug::getLogId("alloc"), 0);
  ClientSetup request;
  std::string error;
  ASSERT_EQ(ConvertStringToClientSetup(
                R"(<ClientSetup jobId="5"><clientAuthentication><userAccount userName="svc" )"
                R"(password="alloc-secret-value-1"/></clientAuthentication><clientComposition><clientInfo>)"
                R"(<client clientPassword="alloc-secret-value-2"/></clientInfo></clientComposition></ClientSetup>)",
                &request, error),
            0);
  std::string name;
  int xmlResult = 0;
  int textResult = 0;
  const auto logAll = [&] {
    ZUSimLog log(std::move(name));
    xmlResult = log.LogXML("f", &request, 0, 1);
    textResult = log.LogXML("f", R"(<x password="alloc-secret-value-3" a="1"/>)", 0, 2);
    log.LogMessageV("f", 0, "entry %s", "with a long argument to format");
    log.AddClientMarker("web01", "packages", 0);
    const unsigned long locale = 1033;
    const long event = 7;
    log.SendEventToConsole(locale, event, EVENT_STATUS, "%d %s", 3, "disk full");
  };
  // Once unarmed, so what the runtime sets up on first use is not counted;
  // after a failed start the logger retries under the pre-install path's
  // name, which the process-wide log registry then keeps.
  name = "alloc";
  logAll();
  ASSERT_GT(EvDebug::getLogId("/tmp/ZuInstallMgrPreInstall.log"), 0);
  EveryFailurePoint([&] { name = "alloc"; }, logAll, [&](const FailureRun& run) {
    ASSERT_FALSE(run.escaped) << "at point " << run.failurePoint;
    ASSERT_TRUE(xmlResult == 0 || xmlResult == -1);
    ASSERT_TRUE(textResult == 0 || textResult == -1);
    ASSERT_EQ(run.live, 0) << "blocks kept at point " << run.failurePoint;
  });
  const std::string written = ReadFile(dir / "alloc.log");
  EXPECT_NE(written.find("XML Request :"), std::string::npos) << "the last run logs the request";
  EXPECT_EQ(written.find("alloc-secret-value"), std::string::npos) << "a password reached the log";
  ExpectNoLeakSeenBySanitizer();
}

// Every value is longer than a short-string buffer, so each copy allocates.
constexpr char kLongValues[] =
    R"(<ClientSetup><dxInfo connectionUrl="https://dx01.example.com/zu/install" networkGateway="gw01.example.com:8403">)"
    R"(<dxClient clientGUID="5C2E0F8A-6A0B-4B8C-9E47-0D1F2A3B4C5D"/></dxInfo>)"
    R"(<clientAuthentication><userAccount userName="service-account-name" domainName="CORPORATE-DOMAIN")"
    R"( password="V8:password-value-long-enough"/></clientAuthentication>)"
    R"(<clientComposition><clientInfo><client clientPassword="V8:client-password-long-enough">)"
    R"(<clientEntity hostName="web01.example.com"/>)"
    R"(<osInfo osName="Linux-operating-system" osDetail="Debian 12 bookworm x86_64"/>)"
    R"(<versionInfo><release releaseName="11.0.0 (B80) long release"/></versionInfo></client>)"
    R"(<pmAssociatedClients clientName="associated-client-one"/><pmAssociatedClients clientName="associated-client-two"/>)"
    R"(<clientGroups clientGroupName="client-group-with-long-name"/>)"
    R"(</clientInfo><components><policySettings><plan planId="5" planName="server-plan-daily-long"/>)"
    R"(<storagePolicy storagePolicyName="storage-policy-gold-long"/></policySettings>)"
    R"(<subclientPolicySettings><subclientPolicy subclientPolicyName="subclient-policy-long"/>)"
    R"(</subclientPolicySettings>)"
    R"(</components><failoverDXInfo failoverValue1="failover-value-number-one" failoverValue2="failover-value-number-two")"
    R"( failoverFlag="1"/></clientComposition><installOptions><firewallConfig firewallConfigBlock="firewall-config-block-text"/>)"
    R"(</installOptions></ClientSetup>)";

// A reader under test: writes its outputs into `out`, which holds one text per output.
struct Reader {
  const char* name;
  std::size_t outputs;
  int (*read)(ClientSetup* request, std::vector<std::string>& out);
};

// Runs each reader at every failure point: it answers as without failures,
// or fails with -1 and every output as it was.
void ExpectReadersFailCleanly(const std::vector<Reader>& readers) {
  ClientSetup request;
  std::string error;
  ASSERT_EQ(ConvertStringToClientSetup(kLongValues, &request, error), 0) << error;
  // Short, so storing any of the long values into it must allocate.
  const std::string unread = "unread";
  for (const Reader& reader : readers) {
    SCOPED_TRACE(reader.name);
    std::vector<std::string> full(reader.outputs, unread);
    ASSERT_EQ(reader.read(&request, full), 0) << "the request holds every value";
    std::vector<std::string> untouched(reader.outputs, unread);
    ASSERT_EQ(reader.read(nullptr, untouched), -1);
    std::vector<std::string> out;
    int result = 0;
    EveryFailurePoint(
        [&] {
          out.assign(reader.outputs, unread);
          out.reserve(out.size() + 8);
        },
        [&] { result = reader.read(&request, out); },
        [&](const FailureRun& run) {
          ASSERT_FALSE(run.escaped);
          if (result == 0) {
            ASSERT_EQ(out, full) << "a read that succeeded at point " << run.failurePoint << " gave another answer";
          } else {
            ASSERT_TRUE(run.refused);
            ASSERT_EQ(result, -1);
            ASSERT_EQ(out, untouched) << "outputs written by a read that failed at point " << run.failurePoint;
          }
        });
  }
}

TEST_F(AllocationFailure, GetstringSwallowingOutOfMemoryMakesReadersAnswerEmpty) {
  ExpectReadersFailCleanly({
      {"GetClientHostName", 1, [](ClientSetup* r, std::vector<std::string>& o) {
         return XmlUtils::GetClientHostName(r, 0, o[0]);
       }},
      {"GetDXGUID", 1, [](ClientSetup* r, std::vector<std::string>& o) { return XmlUtils::GetDXGUID(r, o[0]); }},
      {"GetConnectionUrl", 1, [](ClientSetup* r, std::vector<std::string>& o) {
         return XmlUtils::GetConnectionUrl(r, o[0]);
       }},
      {"GetClientReleaseString", 1, [](ClientSetup* r, std::vector<std::string>& o) {
         return XmlUtils::GetClientReleaseString(r, 0, o[0]);
       }},
      {"GetPMAssociated", 1, [](ClientSetup* r, std::vector<std::string>& o) {
         return XmlUtils::GetPMAssociated(r, 0, o);
       }},
      {"GetiFirewallConfigBlock", 1, [](ClientSetup* r, std::vector<std::string>& o) {
         return XmlUtils::GetiFirewallConfigBlock(r, o[0]);
       }},
      {"GetStoragePolicy", 1, [](ClientSetup* r, std::vector<std::string>& o) {
         return XmlUtils::GetStoragePolicy(r, 0, o[0]);
       }},
      {"GetSubclientPolicy", 1, [](ClientSetup* r, std::vector<std::string>& o) {
         return XmlUtils::GetSubclientPolicy(r, 0, o[0]);
       }},
      {"GetClientGroup", 1, [](ClientSetup* r, std::vector<std::string>& o) {
         return XmlUtils::GetClientGroup(r, 0, o[0]);
       }},
      {"GetClientPassword", 1, [](ClientSetup* r, std::vector<std::string>& o) {
         return XmlUtils::GetClientPassword(r, 0, o[0]);
       }},
  });
}

TEST_F(AllocationFailure, MultiOutputReadersWritePartlyWhenACopyFails) {
  ExpectReadersFailCleanly({
      {"GetClientOS", 2, [](ClientSetup* r, std::vector<std::string>& o) {
         return XmlUtils::GetClientOS(r, 0, o[0], o[1]);
       }},
      {"GetUserAccountToLogin", 2, [](ClientSetup* r, std::vector<std::string>& o) {
         return XmlUtils::GetUserAccountToLogin(r, o[0], o[1]);
       }},
      {"GetFailoverDX", 3, [](ClientSetup* r, std::vector<std::string>& o) {
         bool flag = o[2] == "1";
         const int result = XmlUtils::GetFailoverDX(r, 0, o[0], o[1], flag);
         o[2] = flag ? "1" : "0";
         return result;
       }},
      {"GetSubclientPlan", 2, [](ClientSetup* r, std::vector<std::string>& o) {
         int id = -5;
         const int result = XmlUtils::GetSubclientPlan(XmlUtils::GetClientComposition(r, 0), id, o[0]);
         o[1] = std::to_string(id);
         return result;
       }},
  });
}

TEST_F(AllocationFailure, PasswordServicesFailWithoutPartialResults) {
  char* v8 = nullptr;
  char errorText[1024] = {};
  ASSERT_EQ(ZUEncryptPassword_V8("alloc-plain-password", &v8, errorText), 0) << errorText;
  const std::string encrypted = v8;
  delete[] v8;

  char* output = nullptr;
  int result = 0;
  EveryFailurePoint([&] { output = nullptr; },
                    [&] { result = ZUDecryptPassword(encrypted.c_str(), &output, errorText); },
                    [&](const FailureRun& run) {
                      ASSERT_FALSE(run.escaped);
                      if (result == 0) {
                        ASSERT_STREQ(output, "alloc-plain-password");
                      } else {
                        ASSERT_TRUE(run.refused) << "failed without a refusal";
                      }
                      delete[] output;
                      ASSERT_EQ(gLive, 0) << "blocks kept at point " << run.failurePoint;
                    });

  std::string plain = "untouched";
  EveryFailurePoint([&] { plain.assign(64, 'u'); }, [&] { result = UtilDecrypt(encrypted.c_str(), plain); },
                    [&](const FailureRun& run) {
                      ASSERT_FALSE(run.escaped);
                      if (result == 0) {
                        ASSERT_EQ(plain, "alloc-plain-password");
                      } else {
                        ASSERT_EQ(plain, std::string(64, 'u'));
                      }
                    });

  // Each client password ends up either converted or exactly as it was.
  const std::string request = "<ClientSetup>" +
                              std::string("<clientComposition><clientInfo><client clientPassword=\"") + encrypted +
                              "\"/></clientInfo></clientComposition>" +
                              "<clientComposition><clientInfo><client clientPassword=\"" + encrypted +
                              "\"/></clientInfo></clientComposition></ClientSetup>";
  ClientSetup setup;
  ClientSetup* pointer = &setup;
  std::string error;
  EveryFailurePoint(
      [&] {
        ASSERT_EQ(ConvertStringToClientSetup(request, &setup, error), 0);
        error.assign(64, ' ');
      },
      [&] { result = ReEncryptInputRequestNetPwdV8ToV3(pointer, error); },
      [&](const FailureRun& run) {
        ASSERT_FALSE(run.escaped);
        ASSERT_TRUE(result == 0 || result == -22) << result;
        for (unsigned long index = 0; index < 2; ++index) {
          std::string password;
          ASSERT_EQ(XmlUtils::GetClientPassword(&setup, index, password), 0);
          if (password == encrypted) continue;
          ASSERT_EQ(password.compare(0, 3, "V3:"), 0) << password;
          std::string back;
          ASSERT_EQ(UtilDecrypt(password.c_str(), back), 0);
          ASSERT_EQ(back, "alloc-plain-password");
        }
      });
}

}  // namespace
