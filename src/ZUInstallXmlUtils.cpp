#include "ZUInstallXmlUtils.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

using App::ClientInfo;
using App::ClientProperties;
using App::OsInfo;
using App::VersionInfo;
using ZuEntities::ClientEntity;
using ZuEntities::ClientGroupEntity;
using ZuEntities::PlanEntity;
using ZuEntities::ReleaseEntity;
using ZuEntities::StoragePolicyEntity;
using ZuEntities::SubclientPolicyEntity;
using ZuEntities::UserEntity;
using ZUInstallManager::ActivateClientInfo;
using ZUInstallManager::ClientAuthentication;
using ZUInstallManager::ClientRoles;
using ZUInstallManager::ClientSetup;
using ZUInstallManager::ClientsComposition;
using ZUInstallManager::Components;
using ZUInstallManager::DalvexMetrics;
using ZUInstallManager::DXInfo;
using ZUInstallManager::ErrorInfo;
using ZUInstallManager::FailoverDXInfo;
using ZUInstallManager::FirewallConfig;
using ZUInstallManager::InstallOptions;
using ZUInstallManager::OrganizationInfo;
using ZUInstallManager::PackageInformation;
using ZUInstallManager::PatchInformation;
using ZUInstallManager::PolicySettings;
using ZUInstallManager::SharedInstallLocation;
using ZUInstallManager::SILType;
using ZUInstallManager::SIMOperationType;
using ZUInstallManager::SubclientPolicySettings;
using ZuSecurity::UserAccount;
using CC = ZUInstallManager::ClientsComposition;

namespace {

constexpr int kFailed = -1;

// Request flag bits, tested on the low 32 bits of requestFlags.
constexpr std::uint32_t kBuiltinCertFlag = 0x1000;
constexpr std::uint32_t kClientNamesUpdatedFlag = 0x2000;
constexpr std::uint32_t kAutoRegisteredFlag = 0x20000;
constexpr std::uint32_t kAsyncFlag = 0x80000;
constexpr std::uint32_t kClientInstallFlag = 0x1000000;

// ---- How a stored 64-bit integer becomes an output -------------------------

int Low32(long long value) { return static_cast<int>(static_cast<std::uint32_t>(value)); }
unsigned int Unsigned32(long long value) { return static_cast<std::uint32_t>(value); }
// Identifiers: 4294967295 must read as 18446744073709551615, as callers have always seen.
unsigned long SignExtended32(long long value) { return static_cast<unsigned long>(static_cast<long>(Low32(value))); }
unsigned long Full64(long long value) { return static_cast<unsigned long>(value); }
bool NonZero(long long value) { return value != 0; }
template <class Enum>
Enum Enum32(long long value) {
  return static_cast<Enum>(Low32(value));
}

// ---- Paths -------------------------------------------------------------------

// True when `obj` exists and holds field F (a field of obj's own class).
template <auto F, class T>
bool Has(const T* obj) {
  static_assert(std::is_same_v<decltype(F), typename T::Field>, "field of another class");
  return obj != nullptr && obj->isSet(F);
}

// The object held by object field F; null when the owner is null, the field
// absent, or the field holds no object.
template <auto F>
zumsg::ChildOf<F>* Step(const zumsg::OwnerOf<F>* owner) {
  return Has<F>(owner) ? zumsg::object<F>(*owner) : nullptr;
}

// Follows object fields link by link: null at the first absent link.
template <auto F, auto... Rest>
auto* Walk(const zumsg::OwnerOf<F>* owner) {
  if constexpr (sizeof...(Rest) == 0) {
    return Step<F>(owner);
  } else {
    return Walk<Rest...>(Step<F>(owner));
  }
}

// The vector of list field F; null when the owner is null or the field absent.
template <auto F>
std::vector<zumsg::ChildOf<F>>* List(const zumsg::OwnerOf<F>* owner) {
  return Has<F>(owner) ? zumsg::list<F>(*owner) : nullptr;
}

// The object of field F, created (or kept, as the library decides); throws
// std::bad_alloc when the library could not make one.
template <auto F>
zumsg::ChildOf<F>& Create(zumsg::OwnerOf<F>& owner) {
  CNMessageBase** slot = owner.getObjectAccessor(true, true, F, zumsg::ChildOf<F>::kClassNumber);
  if (slot == nullptr || *slot == nullptr) throw std::bad_alloc();
  return *static_cast<zumsg::ChildOf<F>*>(*slot);
}

// The object of field F, creation requested only when there is none: the
// library may replace a child that is already there when asked to create.
template <auto F>
zumsg::ChildOf<F>& Obtain(zumsg::OwnerOf<F>& owner) {
  if (zumsg::ChildOf<F>* child = Step<F>(&owner)) return *child;
  return Create<F>(owner);
}

template <auto F, auto... Rest>
auto& ObtainPath(zumsg::OwnerOf<F>& owner) {
  if constexpr (sizeof...(Rest) == 0) {
    return Obtain<F>(owner);
  } else {
    return ObtainPath<Rest...>(Obtain<F>(owner));
  }
}

template <auto F>
std::vector<zumsg::ChildOf<F>>& ObtainList(zumsg::OwnerOf<F>& owner) {
  if (std::vector<zumsg::ChildOf<F>>* list = List<F>(&owner)) return *list;
  void** slot = owner.getlistobject(F, true);
  if (slot == nullptr || *slot == nullptr) throw std::bad_alloc();
  return *static_cast<std::vector<zumsg::ChildOf<F>>*>(*slot);
}

ClientEntity* ClientEntityOf(const ClientsComposition* entry) {
  return Walk<CC::clientInfo, ClientInfo::client, App::Client::clientEntity>(entry);
}
ClientEntity* ServerEntityOf(const ClientSetup* request) {
  return Walk<ClientSetup::dxInfo, DXInfo::dxClient>(request);
}
App::Client* ClientOf(const ClientsComposition* entry) { return Walk<CC::clientInfo, ClientInfo::client>(entry); }
std::vector<PackageInformation>* PackagesOf(ClientsComposition* entry) {
  return List<Components::packages>(XmlUtils::GetComponents(entry));
}
ClientsComposition* FirstEntry(ClientSetup* request) { return XmlUtils::GetClientComposition(request, 0); }

// Resolves entry `index` and hands it to `onEntry`; `failure` when there is no such entry.
template <class OnEntry, class Result = int>
Result ForEntry(ClientSetup* request, unsigned long index, OnEntry onEntry, Result failure = kFailed) {
  ClientsComposition* entry = XmlUtils::GetClientComposition(request, index);
  return entry != nullptr ? onEntry(entry) : failure;
}

// ---- Reading values ------------------------------------------------------------

// Runs `body`; an exception (a copy that could not allocate) becomes `failure`.
template <class Result, class Body>
Result Guard(Result failure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

// Replaces `out` with make(); false, `out` untouched, when the copy fails.
template <class Make>
bool Assign(std::string& out, Make make) noexcept {
  return Guard(false, [&] {
    out = make();
    return true;
  });
}

// The stored text of string field F. The stand-in message library lends a
// view of its storage, so a read costs no temporary string; the product's
// library hands out copies only.
#ifdef ZU_MESSAGES_STRING_VIEW
template <auto F, class T>
std::string_view TextOf(const T* obj) noexcept {
  return obj->getstringview(F);
}
#else
template <auto F, class T>
std::string TextOf(const T* obj) {
  return obj->getstring(F);
}
#endif

// Copies string field F into `out`; false, `out` untouched, when absent.
// (assign leaves `out` as it was when it cannot grow).
template <auto F, class T>
bool Fetch(const T* obj, std::string& out) noexcept {
  return Has<F>(obj) && Guard(false, [&] {
           out.assign(TextOf<F>(obj));
           return true;
         });
}

// As Fetch, through FXString::ToString.
template <auto F, class T>
bool FetchFx(const T* obj, std::string& out) noexcept {
  return Has<F>(obj) && Assign(out, [&] { return FXString::ToString(obj->getstring(F)); });
}

// The text of string field F, or the empty text when it is absent.
template <auto F, class T>
auto TextOrEmpty(const T* obj) -> decltype(TextOf<F>(obj)) {
  using Text = decltype(TextOf<F>(obj));
  return Has<F>(obj) ? TextOf<F>(obj) : Text();
}

// Writes two texts as one: room for both copies is made before either output
// changes, and a copy into room already made cannot fail, so an allocation
// failure leaves both outputs as they were. A null output is left alone.
template <class A, class B>
void StoreBoth(std::string* first, const A& a, std::string* second, const B& b) {
  if (first != nullptr) first->reserve(a.size());
  if (second != nullptr) second->reserve(b.size());
  if (first != nullptr) first->assign(a.data(), a.size());
  if (second != nullptr) second->assign(b.data(), b.size());
}

// Copies string field F, or the empty text when it is absent.
template <auto F, class T>
bool FetchOrEmpty(const T* obj, std::string& out) noexcept {
  return Guard(false, [&] {
    if (Has<F>(obj)) {
      out.assign(TextOf<F>(obj));
    } else {
      out.clear();
    }
    return true;
  });
}

// Integer field F, or 0 when it is absent.
template <auto F, class T>
long long Int64Or0(const T* obj) {
  return Has<F>(obj) ? obj->getint64(F) : 0;
}

// Output rule: any text, the empty one included.
template <auto F, class T>
int ReadText(const T* obj, std::string& out) noexcept {
  return Fetch<F>(obj, out) ? 0 : kFailed;
}

// Output rule: a non-empty text only; an empty one leaves `out` untouched.
template <auto F, class T>
int ReadNonEmpty(const T* obj, std::string& out) noexcept {
  if (!Has<F>(obj)) return kFailed;
  return Guard(kFailed, [&] {
    const auto value = TextOf<F>(obj);
    if (value.empty()) return kFailed;
    out.assign(value);
    return 0;
  });
}

// Output rule: the text is written before it is tested, so an empty one is
// written and still fails.
template <auto F, class T>
int ReadThenTestEmpty(const T* obj, std::string& out) noexcept {
  if (!Fetch<F>(obj, out)) return kFailed;
  return out.empty() ? kFailed : 0;
}

// Output rule: integer field F through `Convert`.
template <auto F, auto Convert, class T, class Out>
int ReadValue(const T* obj, Out& out) {
  if (!Has<F>(obj)) return kFailed;
  out = Convert(obj->getint64(F));
  return 0;
}

// True when flag field F is present and non-zero.
template <auto F, class T>
bool FlagOn(const T* obj) {
  return Has<F>(obj) && obj->getint64(F) != 0;
}

// Output rule of the role readers: true or an error, never false.
int TrueOrFail(bool on, bool& role) {
  if (!on) return kFailed;
  role = true;
  return 0;
}

bool TestRequestFlag(const ClientSetup* request, std::uint32_t bit) {
  return Has<ClientSetup::requestFlags>(request) &&
         (static_cast<std::uint32_t>(request->getint64(ClientSetup::requestFlags)) & bit) != 0;
}

int PackageId(const PackageInformation& package) { return Low32(Int64Or0<PackageInformation::packageId>(&package)); }

}  // namespace

// ---- Navigation ------------------------------------------------------------

ClientsComposition* XmlUtils::GetClientComposition(ClientSetup* request, unsigned long index) {
  std::vector<ClientsComposition>* entries = List<ClientSetup::clientComposition>(request);
  if (entries == nullptr || index >= entries->size()) return nullptr;
  return &(*entries)[index];
}

Components* XmlUtils::GetComponents(ClientsComposition* entry) { return Step<CC::components>(entry); }

ClientEntity* XmlUtils::GetClientEntity(ClientsComposition* entry) { return ClientEntityOf(entry); }

int XmlUtils::GetComponentCount(ClientSetup* request, int& count) {
  const std::vector<PackageInformation>* packages = PackagesOf(FirstEntry(request));
  if (packages == nullptr) return kFailed;
  count = static_cast<int>(packages->size());
  return 0;
}

// ---- Client identity ---------------------------------------------------------

int XmlUtils::GetClientName(ClientsComposition* entry, std::string& name) {
  return ReadNonEmpty<ClientEntity::clientName>(ClientEntityOf(entry), name);
}

int XmlUtils::GetClientName(ClientSetup* request, unsigned long index, std::string& name) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetClientName(entry, name); });
}

int XmlUtils::GetClientHostName(ClientsComposition* entry, std::string& host) {
  return ReadNonEmpty<ClientEntity::hostName>(ClientEntityOf(entry), host);
}

int XmlUtils::GetClientHostName(ClientSetup* request, unsigned long index, std::string& host) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetClientHostName(entry, host); });
}

int XmlUtils::GetDXClientName(ClientSetup* request, std::string& name) {
  return ReadNonEmpty<ClientEntity::clientName>(ServerEntityOf(request), name);
}

int XmlUtils::GetDXHostName(ClientSetup* request, std::string& host) {
  return ReadNonEmpty<ClientEntity::hostName>(ServerEntityOf(request), host);
}

int XmlUtils::GetSourceClientForClient(ClientSetup* request, unsigned long index, std::string& name) {
  return ForEntry(request, index, [&](ClientsComposition* entry) {
    return ReadNonEmpty<ClientEntity::sourceClientName>(GetClientEntity(entry), name);
  });
}

int XmlUtils::GetClientGUID(App::Client* client, std::string& guid) {
  return ReadThenTestEmpty<ClientEntity::clientGUID>(Step<App::Client::clientEntity>(client), guid);
}

int XmlUtils::GetClientGUID(ClientSetup* request, unsigned long index, std::string& guid) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetClientGUID(ClientOf(entry), guid); });
}

int XmlUtils::GetDXGUID(ClientSetup* request, std::string& guid) {
  return ReadThenTestEmpty<ClientEntity::clientGUID>(ServerEntityOf(request), guid);
}

int XmlUtils::GetClientID(ClientsComposition* entry, unsigned long& id) {
  return ReadValue<ClientEntity::clientId, SignExtended32>(ClientEntityOf(entry), id);
}

int XmlUtils::GetClientID(ClientSetup* request, unsigned long index, unsigned long& id) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetClientID(entry, id); });
}

int XmlUtils::GetUserCentricClient(ClientSetup* request, unsigned long index, unsigned long& id) {
  return ForEntry(request, index, [&](ClientsComposition* entry) {
    const ClientEntity* user = Walk<CC::activateClientInfo, ActivateClientInfo::userCentricClient>(entry);
    if (user == nullptr) return kFailed;
    // No presence test of its own: an absent identifier reads as the library's 0.
    id = SignExtended32(user->getint64(ClientEntity::clientId));
    return 0;
  });
}

int XmlUtils::GetReassociateLaptop(ClientSetup* request, unsigned long index, ClientEntity*& entity) {
  return ForEntry(request, index, [&](ClientsComposition* entry) {
    const ActivateClientInfo* activation = Step<CC::activateClientInfo>(entry);
    if (!Has<ActivateClientInfo::userCentricClient>(activation)) return kFailed;
    entity = zumsg::object<ActivateClientInfo::userCentricClient>(*activation);
    return 0;
  });
}

int XmlUtils::GetActivateClientDetails(ClientSetup* request, std::string& details) {
  return ReadText<ActivateClientInfo::activateClientDetails>(Step<CC::activateClientInfo>(FirstEntry(request)),
                                                             details);
}

bool XmlUtils::GetUpdatedClientNames(ClientSetup* request, std::string& name) {
  if ((static_cast<std::uint32_t>(GetRequestFlags(request)) & kClientNamesUpdatedFlag) == 0) return false;
  return ReadNonEmpty<ClientEntity::clientName>(ClientEntityOf(FirstEntry(request)), name) == 0;
}

// ---- Request header ----------------------------------------------------------

bool XmlUtils::IsBuiltinCertUsed(ClientSetup* request) { return TestRequestFlag(request, kBuiltinCertFlag); }

bool XmlUtils::IsClientInstallRequest(ClientSetup* request) { return TestRequestFlag(request, kClientInstallFlag); }

bool XmlUtils::IsAsyncRequest(ClientSetup* request) { return TestRequestFlag(request, kAsyncFlag); }

bool XmlUtils::IsAutoRegisteredClient(ClientSetup* request) { return TestRequestFlag(request, kAutoRegisteredFlag); }

long long XmlUtils::GetJobId(ClientSetup* request) { return Int64Or0<ClientSetup::jobId>(request); }

long long XmlUtils::GetSubcriptionID(ClientSetup* request) { return Int64Or0<ClientSetup::subscriptionId>(request); }

long long XmlUtils::GetRequestFlags(ClientSetup* request) { return Int64Or0<ClientSetup::requestFlags>(request); }

long long XmlUtils::GetRequestType(ClientSetup* request) { return Int64Or0<ClientSetup::requestType>(request); }

ClientAuthentication* XmlUtils::GetClientAuthentication(ClientSetup* request) {
  return Step<ClientSetup::clientAuthentication>(request);
}

int XmlUtils::GetOperationType(ClientSetup* request, SIMOperationType& type) {
  return ReadValue<ClientSetup::operationType, Enum32<SIMOperationType>>(request, type);
}

int XmlUtils::GetlocaleID(ClientSetup* request, unsigned long& locale) {
  return ReadValue<ClientSetup::localeId, SignExtended32>(request, locale);
}

int XmlUtils::GetUserID(ClientSetup* request, unsigned long& id) {
  return ReadValue<UserEntity::userId, SignExtended32>(Step<ClientSetup::user>(request), id);
}

int XmlUtils::GetUpgradeMode(ClientSetup* request, bool& upgrade) {
  return ReadValue<InstallOptions::upgradeMode, NonZero>(Step<ClientSetup::installOptions>(request), upgrade);
}

int XmlUtils::GetRemoteClient(ClientSetup* request, bool& remote) {
  return ReadValue<ClientSetup::remoteClient, NonZero>(request, remote);
}

int XmlUtils::IsUserAuthenticationRequested(ClientSetup* request, bool& requested) {
  return ReadValue<InstallOptions::userAuthenticationRequested, NonZero>(Step<ClientSetup::installOptions>(request),
                                                                         requested);
}

int XmlUtils::GetXMLRequestID(ClientSetup* request, int& id) {
  return ReadValue<ClientSetup::xmlRequestId, Low32>(request, id);
}

int XmlUtils::GetClientOperationType(ClientsComposition* entry, SIMOperationType& type) {
  return ReadValue<CC::operationType, Enum32<SIMOperationType>>(entry, type);
}

int XmlUtils::GetClientOperationType(ClientSetup* request, unsigned long index, SIMOperationType& type) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetClientOperationType(entry, type); });
}

int XmlUtils::UpdateRequestFlags(ClientSetup* request, int flags) {
  if (request == nullptr) return kFailed;
  std::uint32_t mask = static_cast<std::uint32_t>(flags);
  if (Has<ClientSetup::requestFlags>(request)) {
    mask |= static_cast<std::uint32_t>(request->getint64(ClientSetup::requestFlags));
  }
  request->setint64(ClientSetup::requestFlags, Low32(mask));
  return 0;
}

// ---- Package selection ---------------------------------------------------------

int XmlUtils::GetPackageList(ClientsComposition* entry, std::vector<PackageInformation>*& list) {
  std::vector<PackageInformation>* packages = PackagesOf(entry);
  if (packages == nullptr) return kFailed;
  list = packages;
  return 0;
}

int XmlUtils::GetPackageList(ClientSetup* request, unsigned long index, std::vector<PackageInformation>*& list) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetPackageList(entry, list); });
}

int XmlUtils::GetPackageList(ClientSetup* request, unsigned long index, std::vector<int>& ids) {
  return ForEntry(request, index, [&](ClientsComposition* entry) {
    const std::vector<PackageInformation>* packages = PackagesOf(entry);
    if (packages == nullptr) return kFailed;
    const std::size_t before = ids.size();
    const int result = Guard(kFailed, [&] {
      for (const PackageInformation& package : *packages) {
        const int id = PackageId(package);
        if (id > 0) ids.push_back(id);
      }
      return 0;
    });
    if (result != 0) ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(before), ids.end());
    return result;
  });
}

bool XmlUtils::IsDBPackageSelected(ClientSetup* request, unsigned long index, bool also24) {
  return ForEntry(
      request, index,
      [&](ClientsComposition* entry) {
        const std::vector<PackageInformation>* packages = PackagesOf(entry);
        if (packages == nullptr) return false;
        return std::any_of(packages->begin(), packages->end(), [&](const PackageInformation& package) {
          const int id = PackageId(package);
          return (id >= 802 && id <= 899) || (also24 && id == 24);
        });
      },
      false);
}

int XmlUtils::IsRestoreOnlyClient(ClientSetup* request, unsigned long index, bool& restoreOnly) {
  restoreOnly = false;
  return ForEntry(request, index, [&](ClientsComposition* entry) {
    const std::vector<PackageInformation>* packages = PackagesOf(entry);
    if (packages == nullptr) return kFailed;
    if (!packages->empty()) {
      restoreOnly = std::all_of(packages->begin(), packages->end(), [](const PackageInformation& package) {
        return Has<PackageInformation::packageMode>(&package) && package.getint64(PackageInformation::packageMode) == 0;
      });
    }
    return 0;
  });
}

// ---- Release, version and OS ---------------------------------------------------

int XmlUtils::GetClientReleaseString(ClientSetup* request, unsigned long index, std::string& release) {
  return ForEntry(request, index, [&](ClientsComposition* entry) {
    const ReleaseEntity* entity =
        Walk<CC::clientInfo, ClientInfo::client, App::Client::versionInfo, VersionInfo::release>(entry);
    return ReadNonEmpty<ReleaseEntity::releaseName>(entity, release);
  });
}

int XmlUtils::GetClientOS(ClientSetup* request, unsigned long index, std::string& osName, std::string& osDetail) {
  return ForEntry(request, index, [&](ClientsComposition* entry) {
    const OsInfo* os = Walk<CC::clientInfo, ClientInfo::client, App::Client::osInfo>(entry);
    if (os == nullptr) return kFailed;
    return Guard(kFailed, [&] {
      StoreBoth(&osName, TextOrEmpty<OsInfo::osName>(os), &osDetail, TextOrEmpty<OsInfo::osDetail>(os));
      return 0;
    });
  });
}

int XmlUtils::GetClientSPVersion(ClientsComposition* entry, std::string& spVersion) {
  return ReadText<PatchInformation::spVersion>(Step<CC::patchInformation>(entry), spVersion);
}

int XmlUtils::GetClientSPVersion(ClientSetup* request, unsigned long index, std::string& spVersion) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetClientSPVersion(entry, spVersion); });
}

int XmlUtils::GetClientSPFullVersion(ClientsComposition* entry, std::string& spVersion, int& spNumber1,
                                     std::string& spText, int& spNumber2, int& spNumber3, int& spNumber4) {
  const PatchInformation* patch = Step<CC::patchInformation>(entry);
  if (patch == nullptr) return kFailed;
  const bool stored = Guard(false, [&] {
    StoreBoth(&spVersion, TextOrEmpty<PatchInformation::spVersion>(patch), &spText,
              TextOrEmpty<PatchInformation::spText>(patch));
    return true;
  });
  if (!stored) return kFailed;
  spNumber1 = Low32(Int64Or0<PatchInformation::spNumber1>(patch));
  spNumber2 = Low32(Int64Or0<PatchInformation::spNumber2>(patch));
  spNumber3 = Low32(Int64Or0<PatchInformation::spNumber3>(patch));
  spNumber4 = Low32(Int64Or0<PatchInformation::spNumber4>(patch));
  return 0;
}

int XmlUtils::GetClientSPFullVersion(ClientSetup* request, unsigned long index, std::string& spVersion, int& spNumber1,
                                     std::string& spText, int& spNumber2, int& spNumber3, int& spNumber4) {
  return ForEntry(request, index, [&](ClientsComposition* entry) {
    return GetClientSPFullVersion(entry, spVersion, spNumber1, spText, spNumber2, spNumber3, spNumber4);
  });
}

int XmlUtils::GetPatchInformation(ClientsComposition* entry, PatchInformation*& patch) {
  if (!Has<CC::patchInformation>(entry)) return kFailed;
  patch = zumsg::object<CC::patchInformation>(*entry);
  return patch != nullptr ? 0 : kFailed;
}

// ---- Response and status ------------------------------------------------------

int XmlUtils::GetResponseErrorCode(ClientSetup* request) {
  if (request == nullptr) return kFailed;
  // A request-level block without a code does not hide entry 0's.
  for (const ErrorInfo* block : {Step<ClientSetup::errorInfo>(request), Step<CC::errorInfo>(FirstEntry(request))}) {
    if (Has<ErrorInfo::errorCode>(block)) return Low32(block->getint64(ErrorInfo::errorCode));
  }
  return kFailed;
}

int XmlUtils::GetResponseInfo(ClientSetup* request, unsigned long& code, std::string& text) {
  if (request == nullptr) return kFailed;
  // Entry 0's block is chosen only when the request-level block is absent,
  // even when that block holds no code.
  const ErrorInfo* block = Step<ClientSetup::errorInfo>(request);
  if (block == nullptr) block = Step<CC::errorInfo>(FirstEntry(request));
  if (!Has<ErrorInfo::errorCode>(block)) return kFailed;
  if (!FetchOrEmpty<ErrorInfo::errorMessage>(block, text)) return kFailed;
  code = Full64(block->getint64(ErrorInfo::errorCode));
  return 0;
}

int XmlUtils::GetClientStatus(ClientSetup* request, unsigned long index, unsigned long& code, std::string& text) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetClientStatus(entry, code, text); });
}

int XmlUtils::GetClientStatus(ClientsComposition* entry, unsigned long& code, std::string& text) {
  const ErrorInfo* block = Step<CC::errorInfo>(entry);
  if (!Has<ErrorInfo::errorCode>(block)) return kFailed;
  if (Has<ErrorInfo::errorMessage>(block) && !Fetch<ErrorInfo::errorMessage>(block, text)) return kFailed;
  code = Full64(block->getint64(ErrorInfo::errorCode));
  return 0;
}

int XmlUtils::GetPushJobStatus(ClientSetup* request, unsigned long index, unsigned long& code, std::string& text) {
  return GetClientStatus(request, index, code, text);
}

int XmlUtils::GetPushJobStatus(ClientsComposition* entry, unsigned long& code, std::string& text) {
  return GetClientStatus(entry, code, text);
}

int XmlUtils::ClearSIMError(ClientSetup* request) {
  if (request == nullptr) return kFailed;
  for (ErrorInfo* block : {Step<ClientSetup::errorInfo>(request), Step<CC::errorInfo>(FirstEntry(request))}) {
    if (Has<ErrorInfo::errorCode>(block)) block->setint64(ErrorInfo::errorCode, 0);
  }
  return 0;
}

// ---- Policies, groups and plans ------------------------------------------------

int XmlUtils::GetStoragePolicy(ClientSetup* request, unsigned long index, std::string& name) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetStoragePolicy(entry, name); });
}

int XmlUtils::GetStoragePolicy(ClientsComposition* entry, std::string& name) {
  return GetStoragePolicy(GetComponents(entry), name);
}

int XmlUtils::GetStoragePolicy(Components* components, std::string& name) {
  const StoragePolicyEntity* policy = Walk<Components::policySettings, PolicySettings::storagePolicy>(components);
  if (policy == nullptr) return kFailed;
  // No presence test of the name: an entity without one reads as the library's empty text.
  const bool copied =
      Assign(name, [&] { return FXString::ToString(policy->getstring(StoragePolicyEntity::storagePolicyName)); });
  return copied ? 0 : kFailed;
}

int XmlUtils::GetSubclientPolicy(ClientSetup* request, unsigned long index, std::string& name) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetSubclientPolicy(entry, name); });
}

int XmlUtils::GetSubclientPolicy(ClientsComposition* entry, std::string& name) {
  return GetSubclientPolicy(GetComponents(entry), name);
}

int XmlUtils::GetSubclientPolicy(Components* components, std::string& name) {
  const SubclientPolicyEntity* policy =
      Walk<Components::subclientPolicySettings, SubclientPolicySettings::subclientPolicy>(components);
  return FetchFx<SubclientPolicyEntity::subclientPolicyName>(policy, name) ? 0 : kFailed;
}

int XmlUtils::GetClientGroup(ClientSetup* request, unsigned long index, std::string& name) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetClientGroup(entry, name); });
}

int XmlUtils::GetClientGroup(ClientsComposition* entry, std::string& name) {
  const std::vector<ClientGroupEntity>* groups = List<ClientInfo::clientGroups>(Step<CC::clientInfo>(entry));
  if (groups == nullptr || groups->empty()) return kFailed;
  return FetchFx<ClientGroupEntity::clientGroupName>(&groups->front(), name) ? 0 : kFailed;
}

int XmlUtils::GetSubclientPlan(ClientsComposition* entry, int& planId, std::string& planName) {
  return GetSubclientPlan(GetComponents(entry), planId, planName);
}

int XmlUtils::GetSubclientPlan(Components* components, int& planId, std::string& planName) {
  const PlanEntity* plan = Walk<Components::policySettings, PolicySettings::plan>(components);
  if (plan == nullptr) return kFailed;
  // The text first: a copy that fails must leave the id unwritten too.
  if (!FetchOrEmpty<PlanEntity::planName>(plan, planName)) return kFailed;
  planId = Low32(Int64Or0<PlanEntity::planId>(plan));
  return 0;
}

int XmlUtils::GetPMAssociated(ClientSetup* request, unsigned long index, std::vector<std::string>& names) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetPMAssociated(entry, names); });
}

int XmlUtils::GetPMAssociated(ClientsComposition* entry, std::vector<std::string>& names) {
  const std::vector<ClientEntity>* clients = List<ClientInfo::pmAssociatedClients>(Step<CC::clientInfo>(entry));
  if (clients == nullptr || clients->empty()) return kFailed;
  const std::size_t before = names.size();
  const bool appended = Guard(false, [&] {
    for (const ClientEntity& client : *clients) {
      if (!Has<ClientEntity::clientName>(&client)) continue;
      std::string name = client.getstring(ClientEntity::clientName);
      if (!name.empty()) names.push_back(std::move(name));
    }
    return true;
  });
  if (!appended) {
    names.erase(names.begin() + static_cast<std::ptrdiff_t>(before), names.end());
    return kFailed;
  }
  // Judged on the whole vector: a caller's earlier names count too.
  return names.empty() ? kFailed : 0;
}

int XmlUtils::SetStoragePolicy(ClientsComposition* entry, const char* name) {
  if (entry == nullptr || name == nullptr) return kFailed;
  return Guard(kFailed, [&] {
    ObtainPath<CC::components, Components::policySettings, PolicySettings::storagePolicy>(*entry).setstring(
        StoragePolicyEntity::storagePolicyName, name, std::strlen(name));
    return 0;
  });
}

int XmlUtils::SetSubclientPolicy(ClientsComposition* entry, const char* name) {
  if (entry == nullptr || name == nullptr) return kFailed;
  return Guard(kFailed, [&] {
    ObtainPath<CC::components, Components::subclientPolicySettings, SubclientPolicySettings::subclientPolicy>(*entry)
        .setstring(SubclientPolicyEntity::subclientPolicyName, name, std::strlen(name));
    return 0;
  });
}

int XmlUtils::SetClientGroup(ClientsComposition* entry, const char* name) {
  if (entry == nullptr || name == nullptr) return kFailed;
  return Guard(kFailed, [&] {
    ClientGroupEntity group;
    group.setXmlWriteFlag(true);
    group.setstring(ClientGroupEntity::clientGroupName, name, std::strlen(name));
    ObtainList<ClientInfo::clientGroups>(Obtain<CC::clientInfo>(*entry)).push_back(group);
    return 0;
  });
}

// ---- Credentials and connectivity ------------------------------------------------

int XmlUtils::GetClientZUDPort(ClientSetup* request, unsigned long index, int& port) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetClientZUDPort(entry, port); });
}

int XmlUtils::GetClientZUDPort(ClientsComposition* entry, int& port) {
  port = 0;
  return ReadValue<App::Client::zudPort, Low32>(ClientOf(entry), port);
}

int XmlUtils::GetClientPassword(ClientSetup* request, unsigned long index, std::string& password) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetClientPassword(entry, password); });
}

int XmlUtils::GetClientPassword(ClientsComposition* entry, std::string& password) {
  return GetClientPassword(ClientOf(entry), password);
}

int XmlUtils::GetClientPassword(App::Client* client, std::string& password) {
  return ReadText<App::Client::clientPassword>(client, password);
}

int XmlUtils::GetOrganizationAuthcode(ClientSetup* request, std::string& code) {
  if (request == nullptr) return kFailed;
  const OrganizationInfo* organization = Step<ClientSetup::organizationInfo>(request);
  // A request without a code is not a failure.
  if (!Has<OrganizationInfo::authCode>(organization)) return 0;
  return ReadText<OrganizationInfo::authCode>(organization, code);
}

int XmlUtils::GetDXID(ClientSetup* request, int& id) {
  return ReadValue<ClientEntity::dxId, Low32>(ServerEntityOf(request), id);
}

int XmlUtils::GetDXType(ClientSetup* request, int& type) {
  return ReadValue<ClientEntity::clientType, Low32>(ServerEntityOf(request), type);
}

int XmlUtils::GetConnectionUrl(ClientSetup* request, std::string& url) {
  return ReadThenTestEmpty<DXInfo::connectionUrl>(Step<ClientSetup::dxInfo>(request), url);
}

int XmlUtils::GetiNetworkGateway(ClientSetup* request, std::string& gateway) {
  return ReadThenTestEmpty<DXInfo::networkGateway>(Step<ClientSetup::dxInfo>(request), gateway);
}

int XmlUtils::GetFailoverDX(ClientSetup* request, unsigned long index, std::string& first, std::string& second,
                            bool& flag) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetFailoverDX(entry, first, second, flag); });
}

int XmlUtils::GetFailoverDX(ClientsComposition* entry, std::string& first, std::string& second, bool& flag) {
  const FailoverDXInfo* failover = Step<CC::failoverDXInfo>(entry);
  if (failover == nullptr) return kFailed;
  // Each text is written only when present, `second` before `first`: with one
  // string passed as both, it ends with the first value. A failed copy is the
  // only failure left.
  const bool stored = Guard(false, [&] {
    StoreBoth(Has<FailoverDXInfo::failoverValue2>(failover) ? &second : nullptr,
              TextOrEmpty<FailoverDXInfo::failoverValue2>(failover),
              Has<FailoverDXInfo::failoverValue1>(failover) ? &first : nullptr,
              TextOrEmpty<FailoverDXInfo::failoverValue1>(failover));
    return true;
  });
  if (!stored) return kFailed;
  flag = FlagOn<FailoverDXInfo::failoverFlag>(failover);
  return 0;
}

int XmlUtils::GetUserAccountToLogin(ClientSetup* request, std::string& account, std::string& accountPassword) {
  UserAccount* user = Walk<ClientSetup::clientAuthentication, ClientAuthentication::userAccount>(request);
  std::string userName;
  if (!FetchFx<UserAccount::userName>(user, userName) || userName.empty()) return kFailed;
  return Guard(kFailed, [&] {
    std::string composed;
    if (Has<UserAccount::domainName>(user)) composed = FXString::ToString(user->getstring(UserAccount::domainName));
    if (!composed.empty()) composed += '\\';
    composed += userName;
    std::string password;
    if (Has<UserAccount::password>(user)) {
      pstring** slot = user->getpstringobject(UserAccount::password);
      if (slot != nullptr && *slot != nullptr) password = (*slot)->str();
    }
    // Emptied password first, then the account, then a stored password: with
    // one string passed as both, it ends with the password, or the account when
    // none is stored.
    accountPassword.clear();
    account = std::move(composed);
    if (!password.empty()) accountPassword = std::move(password);
    return 0;
  });
}

int XmlUtils::SetUserAccountToLogin(ClientSetup* request, const char* user, const char* accountPassword) {
  if (request == nullptr || user == nullptr) return kFailed;
  return Guard(kFailed, [&] {
    UserAccount& account = ObtainPath<ClientSetup::clientAuthentication, ClientAuthentication::userAccount>(*request);
    // Stored whole: a DOMAIN\user text is not split into domainName.
    account.setstring(UserAccount::userName, user, std::strlen(user));
    if (accountPassword != nullptr) {
      account.setpstringobject(UserAccount::password, bstring(accountPassword, std::strlen(accountPassword)),
                               Annotation::PASSWORD_ENCRYPT_DEFAULT);
    }
    return 0;
  });
}

int XmlUtils::SetFirewallInstall(ClientSetup* request, const char* first, const char* second, int number,
                                 const char* configBlock) {
  if (request == nullptr) return kFailed;
  if (first == nullptr && second == nullptr && configBlock == nullptr) return kFailed;
  return Guard(kFailed, [&] {
    // Creation is requested whether the blocks are there or not.
    FirewallConfig& firewall = Create<InstallOptions::firewallConfig>(Create<ClientSetup::installOptions>(*request));
    if (first != nullptr) firewall.setstring(FirewallConfig::firewallValue1, first, std::strlen(first));
    if (second != nullptr) firewall.setstring(FirewallConfig::firewallValue2, second, std::strlen(second));
    // 0 is never written, so it cannot clear an earlier number.
    if (number != 0) firewall.setint64(FirewallConfig::firewallNumber, number);
    if (configBlock != nullptr && *configBlock != '\0') {
      firewall.setstring(FirewallConfig::firewallConfigBlock, configBlock, std::strlen(configBlock));
    }
    return 0;
  });
}

int XmlUtils::GetiFirewallConfigBlock(ClientSetup* request, std::string& configBlock) {
  const FirewallConfig* firewall = Walk<ClientSetup::installOptions, InstallOptions::firewallConfig>(request);
  return ReadThenTestEmpty<FirewallConfig::firewallConfigBlock>(firewall, configBlock);
}

// ---- Roles and environment -------------------------------------------------------

int XmlUtils::GetNetworkProxyRole(ClientSetup* request, bool& role) {
  return TrueOrFail(FlagOn<ClientRoles::networkProxyRole>(Step<CC::roles>(FirstEntry(request))), role);
}

int XmlUtils::GetLaptopBackupRole(ClientSetup* request, unsigned long index, bool& role) {
  return ForEntry(request, index, [&](ClientsComposition* entry) { return GetLaptopBackupRole(entry, role); });
}

int XmlUtils::GetLaptopBackupRole(ClientsComposition* entry, bool& role) {
  // A role stored as 0 does not veto the subclient setting.
  const bool on =
      FlagOn<ClientRoles::laptopBackupRole>(Step<CC::roles>(entry)) ||
      FlagOn<SubclientPolicySettings::laptopBackup>(Walk<CC::components, Components::subclientPolicySettings>(entry));
  return TrueOrFail(on, role);
}

bool XmlUtils::IsVirtualDiscoveredClient(ClientSetup* request, unsigned long index) {
  return ForEntry(
      request, index, [](ClientsComposition* entry) { return IsVirtualDiscoveredClient(entry); }, false);
}

bool XmlUtils::IsVirtualDiscoveredClient(ClientsComposition* entry) {
  return FlagOn<ClientProperties::virtualDiscovered>(Walk<CC::clientInfo, ClientInfo::clientProps>(entry));
}

int XmlUtils::GetVMInstanceID(ClientSetup* request, unsigned int& id) {
  const ClientProperties* properties = Walk<CC::clientInfo, ClientInfo::clientProps>(FirstEntry(request));
  return ReadValue<ClientProperties::vmInstanceId, Unsigned32>(properties, id);
}

int XmlUtils::GetSharedInstallLocation(ClientsComposition* entry, SILType& type, std::string& path) {
  const SharedInstallLocation* location = Step<CC::sharedInstallLocation>(entry);
  // The type is written before the path is looked for.
  if (ReadValue<SharedInstallLocation::silType, Enum32<SILType>>(location, type) != 0) return kFailed;
  return ReadText<SharedInstallLocation::path>(location, path);
}

int XmlUtils::GetApplianceClient(ClientsComposition* entry, bool& appliance) {
  return ReadValue<CC::applianceClient, NonZero>(entry, appliance);
}

int XmlUtils::GetCustomRolesProp(ClientSetup* request, std::string& text) {
  return ReadNonEmpty<ClientRoles::customRolesProp>(Step<CC::roles>(FirstEntry(request)), text);
}

int XmlUtils::GetRestoreOnlyAgentsMode(ClientSetup* request, bool& mode) {
  return ReadValue<InstallOptions::restoreOnlyAgentsMode, NonZero>(Step<ClientSetup::installOptions>(request), mode);
}

int XmlUtils::GetRolesManagerProperties(ClientSetup* request, std::string& text) {
  return ReadThenTestEmpty<InstallOptions::rolesManagerProperties>(Step<ClientSetup::installOptions>(request), text);
}

int XmlUtils::GetDalvexMetricsReportingFlag(Components* components, bool& flag) {
  return ReadValue<DalvexMetrics::metricsReportingFlag, NonZero>(Step<Components::dalvexMetrics>(components), flag);
}

int XmlUtils::GetDalvexSurveyURLs(Components* components, std::string& first, std::string& second) {
  const DalvexMetrics* metrics = Step<Components::dalvexMetrics>(components);
  const bool hasFirst = Has<DalvexMetrics::surveyUrl1>(metrics);
  const bool hasSecond = Has<DalvexMetrics::surveyUrl2>(metrics);
  if (!hasFirst && !hasSecond) return kFailed;
  return Guard(kFailed, [&] {
    StoreBoth(hasFirst ? &first : nullptr, TextOrEmpty<DalvexMetrics::surveyUrl1>(metrics),
              hasSecond ? &second : nullptr, TextOrEmpty<DalvexMetrics::surveyUrl2>(metrics));
    return 0;
  });
}
