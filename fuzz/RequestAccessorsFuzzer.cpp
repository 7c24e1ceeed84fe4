// Loads untrusted XML and runs every read accessor over the request, every
// entry and one index past the last. Reading must never change the request;
// the entry-level answers must match the request-level ones; and the setters,
// run on a copy, must read back and leave a request that still round-trips.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ZUInstallXmlUtils.h"

namespace {

using ZUInstallManager::ClientSetup;
using ZUInstallManager::ClientsComposition;
using ZUInstallManager::Components;
using ZUInstallManager::PackageInformation;

constexpr char kUnread[] = "\x01unread";

// Outputs of one accessor call, preset to values no request can produce by chance.
struct Outputs {
  int result = -2;
  std::string text1 = kUnread;
  std::string text2 = kUnread;
  unsigned long number = 0xA5A5A5A5u;
  int n1 = 0x5A5A, n2 = 0x5A5A, n3 = 0x5A5A, n4 = 0x5A5A;
  bool flag = true;
  std::vector<std::string> names;
  const void* pointer = kUnread;

  bool operator==(const Outputs& o) const {
    return result == o.result && text1 == o.text1 && text2 == o.text2 && number == o.number && n1 == o.n1 &&
           n2 == o.n2 && n3 == o.n3 && n4 == o.n4 && flag == o.flag && names == o.names && pointer == o.pointer;
  }
};

App::Client* ClientOf(ClientsComposition* entry) {
  if (entry == nullptr) return nullptr;
  App::ClientInfo* info = zumsg::object<ClientsComposition::clientInfo>(*entry);
  return info != nullptr ? zumsg::object<App::ClientInfo::client>(*info) : nullptr;
}

// Calls the request-level and entry-level forms of each reader and requires
// the same answer; without an entry the request-level form must fail and
// leave its outputs as they were.
void ReadEntry(ClientSetup* request, unsigned long index) {
  using namespace XmlUtils;
  ClientsComposition* entry = GetClientComposition(request, index);
  Components* components = GetComponents(entry);
  (void)GetClientEntity(entry);

  const auto same = [&](const char* what, auto byRequest, auto byEntry) {
    Outputs a, b;
    byRequest(a);
    if (entry == nullptr) {
      Outputs untouched;
      untouched.result = a.result;
      zufuzz::Require(a.result == -1, what, "no entry must fail");
      zufuzz::Require(a == untouched, what, "no entry must leave the outputs alone");
      return;
    }
    byEntry(b);
    zufuzz::Require(a == b, what, "request-level and entry-level answers differ");
  };
  same(
      "GetClientName", [&](Outputs& o) { o.result = GetClientName(request, index, o.text1); },
      [&](Outputs& o) { o.result = GetClientName(entry, o.text1); });
  same(
      "GetClientHostName", [&](Outputs& o) { o.result = GetClientHostName(request, index, o.text1); },
      [&](Outputs& o) { o.result = GetClientHostName(entry, o.text1); });
  same(
      "GetClientGUID", [&](Outputs& o) { o.result = GetClientGUID(request, index, o.text1); },
      [&](Outputs& o) { o.result = GetClientGUID(ClientOf(entry), o.text1); });
  same(
      "GetClientID", [&](Outputs& o) { o.result = GetClientID(request, index, o.number); },
      [&](Outputs& o) { o.result = GetClientID(entry, o.number); });
  same(
      "GetClientOperationType",
      [&](Outputs& o) {
        ZUInstallManager::SIMOperationType type = static_cast<ZUInstallManager::SIMOperationType>(o.n1);
        o.result = GetClientOperationType(request, index, type);
        o.n1 = type;
      },
      [&](Outputs& o) {
        ZUInstallManager::SIMOperationType type = static_cast<ZUInstallManager::SIMOperationType>(o.n1);
        o.result = GetClientOperationType(entry, type);
        o.n1 = type;
      });
  same(
      "GetPackageList",
      [&](Outputs& o) {
        std::vector<PackageInformation>* list = nullptr;
        o.result = GetPackageList(request, index, list);
        if (o.result == 0) o.pointer = list;
      },
      [&](Outputs& o) {
        std::vector<PackageInformation>* list = nullptr;
        o.result = GetPackageList(entry, list);
        if (o.result == 0) o.pointer = list;
      });
  same(
      "GetClientSPVersion", [&](Outputs& o) { o.result = GetClientSPVersion(request, index, o.text1); },
      [&](Outputs& o) { o.result = GetClientSPVersion(entry, o.text1); });
  same(
      "GetClientSPFullVersion",
      [&](Outputs& o) { o.result = GetClientSPFullVersion(request, index, o.text1, o.n1, o.text2, o.n2, o.n3, o.n4); },
      [&](Outputs& o) { o.result = GetClientSPFullVersion(entry, o.text1, o.n1, o.text2, o.n2, o.n3, o.n4); });
  same(
      "GetClientStatus", [&](Outputs& o) { o.result = GetClientStatus(request, index, o.number, o.text1); },
      [&](Outputs& o) { o.result = GetClientStatus(entry, o.number, o.text1); });
  same(
      "GetPushJobStatus", [&](Outputs& o) { o.result = GetPushJobStatus(request, index, o.number, o.text1); },
      [&](Outputs& o) { o.result = GetClientStatus(entry, o.number, o.text1); });
  same(
      "GetStoragePolicy", [&](Outputs& o) { o.result = GetStoragePolicy(request, index, o.text1); },
      [&](Outputs& o) { o.result = GetStoragePolicy(entry, o.text1); });
  same(
      "GetSubclientPolicy", [&](Outputs& o) { o.result = GetSubclientPolicy(request, index, o.text1); },
      [&](Outputs& o) { o.result = GetSubclientPolicy(entry, o.text1); });
  same(
      "GetClientGroup", [&](Outputs& o) { o.result = GetClientGroup(request, index, o.text1); },
      [&](Outputs& o) { o.result = GetClientGroup(entry, o.text1); });
  same(
      "GetPMAssociated", [&](Outputs& o) { o.result = GetPMAssociated(request, index, o.names); },
      [&](Outputs& o) { o.result = GetPMAssociated(entry, o.names); });
  // With an entry, a port that is not found reads as 0 in both forms.
  same(
      "GetClientZUDPort", [&](Outputs& o) { o.result = GetClientZUDPort(request, index, o.n1); },
      [&](Outputs& o) {
        o.result = GetClientZUDPort(entry, o.n1);
        zufuzz::Require(o.result == 0 || o.n1 == 0, "GetClientZUDPort leaves 0 on failure");
      });
  same(
      "GetClientPassword", [&](Outputs& o) { o.result = GetClientPassword(request, index, o.text1); },
      [&](Outputs& o) { o.result = GetClientPassword(entry, o.text1); });
  same(
      "GetClientPassword(client)", [&](Outputs& o) { o.result = GetClientPassword(request, index, o.text1); },
      [&](Outputs& o) { o.result = GetClientPassword(ClientOf(entry), o.text1); });
  same(
      "GetFailoverDX", [&](Outputs& o) { o.result = GetFailoverDX(request, index, o.text1, o.text2, o.flag); },
      [&](Outputs& o) { o.result = GetFailoverDX(entry, o.text1, o.text2, o.flag); });
  same(
      "GetLaptopBackupRole", [&](Outputs& o) { o.result = GetLaptopBackupRole(request, index, o.flag); },
      [&](Outputs& o) { o.result = GetLaptopBackupRole(entry, o.flag); });
  same(
      "IsVirtualDiscoveredClient", [&](Outputs& o) { o.result = IsVirtualDiscoveredClient(request, index) ? 0 : -1; },
      [&](Outputs& o) { o.result = IsVirtualDiscoveredClient(entry) ? 0 : -1; });

  // Readers with a request-level form only, or whose entry form reads deeper.
  std::string text = kUnread, text2 = kUnread;
  unsigned long number = 0;
  int planId = 0;
  bool flag = false;
  (void)GetSourceClientForClient(request, index, text);
  (void)GetUserCentricClient(request, index, number);
  ZuEntities::ClientEntity* entity = nullptr;
  (void)GetReassociateLaptop(request, index, entity);
  (void)IsDBPackageSelected(request, index, true);
  (void)IsDBPackageSelected(request, index, false);
  flag = true;
  const int restoreOnly = IsRestoreOnlyClient(request, index, flag);
  zufuzz::Require(restoreOnly == 0 || !flag, "IsRestoreOnlyClient clears its output on failure");
  (void)GetClientReleaseString(request, index, text);
  (void)GetClientOS(request, index, text, text2);
  (void)GetSubclientPlan(entry, planId, text);
  (void)GetStoragePolicy(components, text);
  (void)GetSubclientPolicy(components, text);
  (void)GetSubclientPlan(components, planId, text);
  (void)GetDalvexMetricsReportingFlag(components, flag);
  (void)GetDalvexSurveyURLs(components, text, text2);
  ZUInstallManager::PatchInformation* patch = nullptr;
  (void)GetPatchInformation(entry, patch);
  ZUInstallManager::SILType silType = ZUInstallManager::SIL_NONE;
  (void)GetSharedInstallLocation(entry, silType, text);
  (void)GetApplianceClient(entry, flag);

  std::vector<int> ids{-7};
  std::vector<PackageInformation>* list = nullptr;
  if (GetPackageList(request, index, ids) == 0) {
    zufuzz::Require(GetPackageList(request, index, list) == 0 && list != nullptr, "a package list is handed out");
    zufuzz::Require(ids.size() <= list->size() + 1 && ids.front() == -7, "package ids are appended");
    for (std::size_t i = 1; i < ids.size(); ++i) zufuzz::Require(ids[i] > 0, "only ids above 0 are listed");
    for (int id : ids) {
      const unsigned long wide = static_cast<unsigned long>(id);
      (void)IsDBPackage(wide), (void)IsNonDX_DBPackage(wide), (void)IsBasePackage(wide);
      (void)IsMediaAgentPackage(wide), (void)IsFSPackage(wide), (void)IsSRMAgentPackage(wide);
      (void)isThirdPartyPackage(id);
      zufuzz::Require(FindPackageInVector(list, id) || id <= 0, "a listed id is found");
    }
  } else {
    zufuzz::Require(ids.size() == 1, "a failed package read leaves the ids alone");
  }
}

void ReadRequest(ClientSetup* request) {
  using namespace XmlUtils;
  std::string text, text2;
  unsigned long number = 0;
  unsigned int small = 0;
  int value = 0;
  bool flag = false;
  ZUInstallManager::SIMOperationType type = ZUInstallManager::SIM_INSTALL;

  (void)GetComponentCount(request, value);
  (void)GetDXClientName(request, text);
  (void)GetDXHostName(request, text);
  (void)GetDXGUID(request, text);
  (void)GetActivateClientDetails(request, text);
  (void)GetUpdatedClientNames(request, text);
  (void)IsBuiltinCertUsed(request), (void)IsClientInstallRequest(request);
  (void)IsAsyncRequest(request), (void)IsAutoRegisteredClient(request);
  (void)GetJobId(request), (void)GetSubcriptionID(request), (void)GetRequestType(request);
  (void)GetClientAuthentication(request);
  (void)GetOperationType(request, type);
  (void)GetlocaleID(request, number);
  (void)GetUserID(request, number);
  (void)GetUpgradeMode(request, flag);
  (void)GetRemoteClient(request, flag);
  (void)IsUserAuthenticationRequested(request, flag);
  (void)GetXMLRequestID(request, value);
  (void)GetResponseErrorCode(request);
  (void)GetResponseInfo(request, number, text);
  (void)GetOrganizationAuthcode(request, text);
  (void)GetDXID(request, value);
  (void)GetDXType(request, value);
  (void)GetConnectionUrl(request, text);
  (void)GetiNetworkGateway(request, text);
  (void)GetUserAccountToLogin(request, text, text2);
  (void)GetiFirewallConfigBlock(request, text);
  (void)GetNetworkProxyRole(request, flag);
  (void)GetVMInstanceID(request, small);
  (void)GetCustomRolesProp(request, text);
  (void)GetRestoreOnlyAgentsMode(request, flag);
  (void)GetRolesManagerProperties(request, text);
  (void)GetSIMErrorCodeFromXML(request);

  const auto* entries = zumsg::list<ClientSetup::clientComposition>(*request);
  const unsigned long count = entries != nullptr ? static_cast<unsigned long>(entries->size()) : 0;
  for (unsigned long index = 0; index <= count; ++index) ReadEntry(request, index);
  zufuzz::Require(XmlUtils::GetClientComposition(request, count) == nullptr, "no entry past the last");
  zufuzz::Require(XmlUtils::GetClientComposition(request, ~0ul) == nullptr, "no entry at the largest index");
}

// Runs the setters on a copy and reads each back.
void WriteCopy(const ClientSetup& loaded) {
  using namespace XmlUtils;
  ClientSetup copy(loaded);
  ClientSetup* request = &copy;
  const long long flagsBefore = GetRequestFlags(request);
  zufuzz::Require(UpdateRequestFlags(request, 0x80000) == 0, "UpdateRequestFlags succeeds");
  const long long flagsAfter = GetRequestFlags(request);
  zufuzz::Require(IsAsyncRequest(request), "an added flag reads back");
  zufuzz::Require((static_cast<std::uint32_t>(flagsAfter) & static_cast<std::uint32_t>(flagsBefore)) ==
                      static_cast<std::uint32_t>(flagsBefore),
                  "UpdateRequestFlags never clears a bit");
  zufuzz::Require(ClearSIMError(request) == 0, "ClearSIMError succeeds");
  const int code = GetResponseErrorCode(request);
  zufuzz::Require(code == 0 || code == -1, "a cleared error reads as 0 or absent");

  std::string account, password;
  zufuzz::Require(SetUserAccountToLogin(request, "svc-fuzz", "V8:pw") == 0, "SetUserAccountToLogin succeeds");
  zufuzz::Require(GetUserAccountToLogin(request, account, password) == 0, "the login account reads back");
  zufuzz::Require(password == "V8:pw", "the login password reads back", password);
  zufuzz::Require(account.size() >= 8 && account.compare(account.size() - 8, 8, "svc-fuzz") == 0,
                  "the login user reads back", account);

  std::string text;
  if (GetClientComposition(request, 0) != nullptr) {
    ClientsComposition* entry = GetClientComposition(request, 0);
    zufuzz::Require(SetStoragePolicy(entry, "sp-fuzz") == 0, "SetStoragePolicy succeeds");
    zufuzz::Require(GetStoragePolicy(entry, text) == 0 && text == "sp-fuzz", "the storage policy reads back", text);
    zufuzz::Require(SetSubclientPolicy(entry, "scp-fuzz") == 0, "SetSubclientPolicy succeeds");
    zufuzz::Require(GetSubclientPolicy(entry, text) == 0 && text == "scp-fuzz", "the subclient policy reads back");
    const App::ClientInfo* info = zumsg::object<ClientsComposition::clientInfo>(*entry);
    const auto* groups = info != nullptr ? zumsg::list<App::ClientInfo::clientGroups>(*info) : nullptr;
    const bool firstGroup = groups == nullptr || groups->empty();
    zufuzz::Require(SetClientGroup(entry, "grp-fuzz") == 0, "SetClientGroup succeeds");
    if (firstGroup) {
      zufuzz::Require(GetClientGroup(entry, text) == 0 && text == "grp-fuzz", "a first group reads back", text);
    }
  }
  zufuzz::Require(SetFirewallInstall(request, "a", nullptr, 3, "block") == 0, "SetFirewallInstall succeeds");
  zufuzz::Require(GetiFirewallConfigBlock(request, text) == 0 && text == "block", "the firewall block reads back");

  std::string error;
  const int converted = ReEncryptInputRequestNetPwdV8ToV3(request, error);
  zufuzz::Require(converted == 0 || (converted == -22 && !error.empty()), "password conversion answers 0 or -22");

  const std::string written = zufuzz::MustSerialize(copy, "a changed request writes");
  ClientSetup reloaded;
  zufuzz::Require(ConvertStringToClientSetup(written, &reloaded, error) == 0, "a changed request loads again", written);
  zufuzz::Require(zufuzz::MustSerialize(reloaded, "a reloaded request writes") == written,
                  "a changed request round-trips");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ClientSetup request;
  std::string error;
  if (ConvertStringToClientSetup(zufuzz::Text(data, size), &request, error) != 0) return 0;
  const std::string before = zufuzz::MustSerialize(request, "a loaded request writes");
  ReadRequest(&request);
  zufuzz::Require(zufuzz::MustSerialize(request, "a read request writes") == before, "reading never changes a request");
  WriteCopy(request);
  zufuzz::Require(zufuzz::MustSerialize(request, "the original writes") == before, "a copy is independent");
  return 0;
}
