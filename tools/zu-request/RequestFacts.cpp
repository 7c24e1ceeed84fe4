// The facts of a request as the XmlUtils accessors tell them (they are the
// only way the tool reads a request). Passwords and the authorization code
// are facts only as set or not set; their stored texts stay apart for diff.
#include "RequestFacts.h"
#include "RequestSchema.h"

#include <cstdio>
#include <utility>

#include "ZUInstallXmlUtils.h"

namespace zutool {

namespace {

using ZUInstallManager::ClientSetup;
using ZUInstallManager::ClientsComposition;
using ZUInstallManager::SILType;
using ZUInstallManager::SIMOperationType;

// ---- Values from accessor results -------------------------------------------------

// Runs an accessor with one output; null unless it returns 0.
template <class T, class Reader>
Json Read(Reader read) {
  T out{};
  return read(out) == 0 ? Json(out) : Json();
}

Json SetOrNot(bool set) { return set ? "set" : "not set"; }

// ---- Composite facts -------------------------------------------------------------

struct FlagName {
  unsigned long long bit;
  const char* name;
};

constexpr FlagName kRequestFlags[] = {
    {0x1000, "builtin-cert"}, {0x2000, "client-names-updated"}, {0x20000, "auto-registered"},
    {0x80000, "async"},       {0x1000000, "client-install"},
};

std::string Hex(unsigned long long number) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", number);
  return text;
}

Fact FlagsFact(ClientSetup* request) {
  const unsigned long long flags = static_cast<unsigned long long>(XmlUtils::GetRequestFlags(request));
  Json names = Json::array();
  std::string shown = Hex(flags);
  unsigned long long rest = flags;
  for (const FlagName& flag : kRequestFlags) {
    if ((flags & flag.bit) == 0) continue;
    names.push_back(flag.name);
    shown += std::string(" ") + flag.name;
    rest &= ~flag.bit;
  }
  // The remaining bits one by one, as the installer would test them.
  for (unsigned long long bit = 1; rest != 0; bit <<= 1) {
    if ((rest & bit) == 0) continue;
    names.push_back(Hex(bit));
    shown += ' ' + Hex(bit);
    rest &= ~bit;
  }
  Json value = Json{{"value", static_cast<long long>(flags)}, {"names", names}};
  return {"flags", "flags", std::move(value), shown};
}

// The type as stored, named when it is one the installer knows.
Fact OperationFact(int result, SIMOperationType type) {
  if (result != 0) return {"operation", "operation", Json(), ""};
  const char* known = FindOperationName(type);
  Json name = known != nullptr ? Json(known) : Json();
  std::string shown = std::to_string(static_cast<int>(type));
  if (!name.is_null()) shown += ' ' + name.get<std::string>();
  return {"operation", "operation", Json{{"code", static_cast<int>(type)}, {"name", name}}, shown};
}

// Code and text of an error block, unsigned as the status readers give them.
Fact ErrorFact(const char* key, const char* label, int result, unsigned long code, const std::string& text) {
  if (result != 0) return {key, label, Json(), ""};
  Json value = Json{{"code", code}, {"text", text}};
  return {key, label, std::move(value), std::to_string(code) + (text.empty() ? "" : "  " + Printable(text))};
}

// ---- The sections ------------------------------------------------------------------

Section RequestSection(ClientSetup* request) {
  using namespace XmlUtils;
  Section facts;
  facts.push_back({"type", "type", Json(GetRequestType(request)), ""});
  SIMOperationType operation{};
  const int operationResult = GetOperationType(request, operation);
  facts.push_back(OperationFact(operationResult, operation));
  facts.push_back(FlagsFact(request));
  facts.push_back({"job", "job", Json(GetJobId(request)), ""});
  facts.push_back({"locale", "locale", Read<unsigned long>([&](auto& o) { return GetlocaleID(request, o); }), ""});
  facts.push_back({"user", "user", Read<unsigned long>([&](auto& o) { return GetUserID(request, o); }), ""});
  facts.push_back({"requestId", "request id", Read<int>([&](auto& o) { return GetXMLRequestID(request, o); }), ""});
  facts.push_back({"subscription", "subscription", Json(GetSubcriptionID(request)), ""});
  facts.push_back(
      {"remoteClient", "remote client", Read<bool>([&](auto& o) { return GetRemoteClient(request, o); }), ""});
  facts.push_back({"upgradeMode", "upgrade mode", Read<bool>([&](auto& o) { return GetUpgradeMode(request, o); }), ""});
  facts.push_back({"restoreOnlyAgents", "restore-only agents",
                   Read<bool>([&](auto& o) { return GetRestoreOnlyAgentsMode(request, o); }), ""});
  facts.push_back({"userAuthentication", "user authentication",
                   Read<bool>([&](auto& o) { return IsUserAuthenticationRequested(request, o); }), ""});
  facts.push_back({"rolesManagerProperties", "roles manager",
                   Read<std::string>([&](auto& o) { return GetRolesManagerProperties(request, o); }), ""});
  facts.push_back(
      {"firewall", "firewall", Read<std::string>([&](auto& o) { return GetiFirewallConfigBlock(request, o); }), ""});

  std::string account, password;
  const bool hasAccount = GetUserAccountToLogin(request, account, password) == 0;
  facts.push_back({"loginAccount", "login account", hasAccount ? Json(account) : Json(), ""});
  facts.push_back({"loginPassword", "login password", hasAccount ? SetOrNot(!password.empty()) : Json(), "", password});
  std::string code;
  const bool hasCode = GetOrganizationAuthcode(request, code) == 0 && !code.empty();
  facts.push_back({"authCode", "authorization code", SetOrNot(hasCode), "", hasCode ? code : ""});

  unsigned long errorCode = 0;
  std::string errorText;
  const int errorResult = GetResponseInfo(request, errorCode, errorText);
  facts.push_back(ErrorFact("error", "error", errorResult, errorCode, errorText));
  return facts;
}

Section ServerSection(ClientSetup* request) {
  using namespace XmlUtils;
  return {
      {"name", "name", Read<std::string>([&](auto& o) { return GetDXClientName(request, o); }), ""},
      {"host", "host", Read<std::string>([&](auto& o) { return GetDXHostName(request, o); }), ""},
      {"id", "id", Read<int>([&](auto& o) { return GetDXID(request, o); }), ""},
      {"type", "type", Read<int>([&](auto& o) { return GetDXType(request, o); }), ""},
      {"guid", "GUID", Read<std::string>([&](auto& o) { return GetDXGUID(request, o); }), ""},
      {"url", "URL", Read<std::string>([&](auto& o) { return GetConnectionUrl(request, o); }), ""},
      {"gateway", "gateway", Read<std::string>([&](auto& o) { return GetiNetworkGateway(request, o); }), ""},
  };
}

// A request holding a copy of one entry as its entry 0, so that the readers
// that only ever look at entry 0 tell about that entry too.
ClientSetup EntryAlone(const ClientsComposition& entry) {
  ClientSetup alone;
  zumsg::listCreate<ClientSetup::clientComposition>(alone).push_back(entry);
  return alone;
}

// The facts a client is known by, shared with KeyOf.
Json ClientName(ClientSetup* request, unsigned long index) {
  return Read<std::string>([&](auto& o) { return XmlUtils::GetClientName(request, index, o); });
}

Json ClientGuid(ClientSetup* request, unsigned long index) {
  return Read<std::string>([&](auto& o) { return XmlUtils::GetClientGUID(request, index, o); });
}

Section ClientSection(ClientSetup* request, unsigned long index) {
  using namespace XmlUtils;
  ClientsComposition* entry = GetClientComposition(request, index);
  ClientSetup alone = EntryAlone(*entry);
  Section facts;
  const auto add = [&](const char* key, const char* label, Json value, std::string shown = "") {
    facts.push_back({key, label, std::move(value), std::move(shown)});
  };

  add("name", "name", ClientName(request, index));
  add("host", "host", Read<std::string>([&](auto& o) { return GetClientHostName(entry, o); }));
  add("id", "id", Read<unsigned long>([&](auto& o) { return GetClientID(entry, o); }));
  add("guid", "GUID", ClientGuid(request, index));
  SIMOperationType operation{};
  const int operationResult = GetClientOperationType(entry, operation);
  facts.push_back(OperationFact(operationResult, operation));
  add("sourceClient", "source client",
      Read<std::string>([&](auto& o) { return GetSourceClientForClient(request, index, o); }));
  std::string password;
  const bool hasPassword = GetClientPassword(entry, password) == 0 && !password.empty();
  facts.push_back({"password", "password", SetOrNot(hasPassword), "", hasPassword ? password : ""});
  add("zudPort", "ZUD port", Read<int>([&](auto& o) { return GetClientZUDPort(entry, o); }));

  std::string osName, osDetail;
  if (GetClientOS(request, index, osName, osDetail) == 0) {
    add("os", "OS", Json{{"name", osName}, {"detail", osDetail}},
        Printable(osName) + (osDetail.empty() ? "" : " (" + Printable(osDetail) + ")"));
  } else {
    add("os", "OS", Json());
  }
  add("release", "release", Read<std::string>([&](auto& o) { return GetClientReleaseString(request, index, o); }));
  std::string spVersion, spText;
  int sp1 = 0, sp2 = 0, sp3 = 0, sp4 = 0;
  if (GetClientSPFullVersion(entry, spVersion, sp1, spText, sp2, sp3, sp4) == 0) {
    Json sp = Json{{"version", spVersion}, {"number1", sp1}, {"text", spText},
                   {"number2", sp2},       {"number3", sp3}, {"number4", sp4}};
    add("servicePack", "service pack", std::move(sp),
        Printable(spVersion) + " (" + std::to_string(sp1) + ", " + Printable(spText) + ", " + std::to_string(sp2) +
            ", " + std::to_string(sp3) + ", " + std::to_string(sp4) + ")");
  } else {
    add("servicePack", "service pack", Json());
  }

  std::vector<int> ids;
  Json packages;
  if (GetPackageList(request, index, ids) == 0) {
    packages = Json::array();
    for (int id : ids) packages.push_back(id);
  }
  add("packages", "packages", std::move(packages));
  add("databasePackage", "database package", Json(IsDBPackageSelected(request, index, false)));
  add("restoreOnly", "restore only", Read<bool>([&](auto& o) { return IsRestoreOnlyClient(request, index, o); }));

  Json roles = Json::array();
  bool role = false;
  if (GetLaptopBackupRole(entry, role) == 0) roles.push_back("laptop-backup");
  if (GetNetworkProxyRole(&alone, role) == 0) roles.push_back("network-proxy");
  add("roles", "roles", std::move(roles));
  add("customRoles", "custom roles", Read<std::string>([&](auto& o) { return GetCustomRolesProp(&alone, o); }));
  add("virtualMachine", "virtual machine", Json(IsVirtualDiscoveredClient(entry)));
  add("vmInstanceId", "VM instance id", Read<unsigned int>([&](auto& o) { return GetVMInstanceID(&alone, o); }));
  add("appliance", "appliance", Read<bool>([&](auto& o) { return GetApplianceClient(entry, o); }));
  SILType silType{};
  std::string silPath;
  if (GetSharedInstallLocation(entry, silType, silPath) == 0) {
    add("sharedInstallLocation", "shared install location",
        Json{{"type", static_cast<int>(silType)}, {"path", silPath}},
        std::to_string(static_cast<int>(silType)) + ' ' + Printable(silPath));
  } else {
    add("sharedInstallLocation", "shared install location", Json());
  }

  add("storagePolicy", "storage policy", Read<std::string>([&](auto& o) { return GetStoragePolicy(entry, o); }));
  add("subclientPolicy", "subclient policy", Read<std::string>([&](auto& o) { return GetSubclientPolicy(entry, o); }));
  int planId = 0;
  std::string planName;
  if (GetSubclientPlan(entry, planId, planName) == 0) {
    add("plan", "plan", Json{{"id", planId}, {"name", planName}},
        std::to_string(planId) + (planName.empty() ? "" : ' ' + Printable(planName)));
  } else {
    add("plan", "plan", Json());
  }
  // The installer reads the first group only.
  add("group", "group", Read<std::string>([&](auto& o) { return GetClientGroup(entry, o); }));
  std::vector<std::string> associated;
  Json associatedValue;
  if (GetPMAssociated(entry, associated) == 0) {
    associatedValue = Json::array();
    for (std::string& name : associated) associatedValue.push_back(std::move(name));
  }
  add("associatedClients", "associated clients", std::move(associatedValue));

  std::string failoverFirst, failoverSecond;
  bool failoverFlag = false;
  if (GetFailoverDX(entry, failoverFirst, failoverSecond, failoverFlag) == 0) {
    add("failover", "failover", Json{{"first", failoverFirst}, {"second", failoverSecond}, {"flag", failoverFlag}},
        Printable(failoverFirst) + ' ' + Printable(failoverSecond) + (failoverFlag ? " (on)" : " (off)"));
  } else {
    add("failover", "failover", Json());
  }
  add("userCentricClient", "user-centric client",
      Read<unsigned long>([&](auto& o) { return GetUserCentricClient(request, index, o); }));
  add("activationDetails", "activation details",
      Read<std::string>([&](auto& o) { return GetActivateClientDetails(&alone, o); }));

  ZUInstallManager::Components* components = GetComponents(entry);
  add("metricsReporting", "metrics reporting",
      Read<bool>([&](auto& o) { return GetDalvexMetricsReportingFlag(components, o); }));
  std::string survey1, survey2;
  if (GetDalvexSurveyURLs(components, survey1, survey2) == 0) {
    add("surveyUrls", "survey URLs", Json{{"first", survey1}, {"second", survey2}},
        Printable(survey1) + ' ' + Printable(survey2));
  } else {
    add("surveyUrls", "survey URLs", Json());
  }

  unsigned long statusCode = 0;
  std::string statusText;
  const int statusResult = GetClientStatus(entry, statusCode, statusText);
  facts.push_back(ErrorFact("status", "status", statusResult, statusCode, statusText));
  return facts;
}

}  // namespace

Section RequestFacts(ClientSetup* request) { return RequestSection(request); }

Section ServerFacts(ClientSetup* request) { return ServerSection(request); }

Section ClientFacts(ClientSetup* request, unsigned long index) { return ClientSection(request, index); }

unsigned long ClientCount(ClientSetup* request) {
  unsigned long count = 0;
  while (XmlUtils::GetClientComposition(request, count) != nullptr) ++count;
  return count;
}

ClientKey KeyOf(ClientSetup* request, unsigned long index) {
  ClientKey key;
  const Json name = ClientName(request, index);
  const Json guid = ClientGuid(request, index);
  if (name.is_string()) key.name = name.get<std::string>();
  if (guid.is_string()) key.guid = guid.get<std::string>();
  return key;
}

// Renders bytes the terminal would act on as escapes.
std::string Printable(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      shown += escape;
    } else {
      shown += c;
    }
  }
  return shown;
}

std::string Plain(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
    case Json::value_t::discarded:
    case Json::value_t::binary: return "-";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float: return value.dump();
    case Json::value_t::boolean: return value.get<bool>() ? "yes" : "no";
    case Json::value_t::string: {
      const std::string& text = value.get_ref<const std::string&>();
      return text.empty() ? "(empty)" : Printable(text);
    }
    case Json::value_t::array: {
      if (value.empty()) return "none";
      std::string joined;
      for (const Json& item : value) joined += (joined.empty() ? "" : ", ") + Plain(item);
      return joined;
    }
    case Json::value_t::object: {
      std::string joined;
      for (const auto& [key, member] : value.items())
        joined += (joined.empty() ? "" : ", ") + key + ' ' + Plain(member);
      return joined;
    }
  }
  return "-";
}

std::string JsonText(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string JsonLine(const Json& value) { return JsonText(value) + '\n'; }

std::string Shown(const Fact& fact) { return fact.shown.empty() ? Plain(fact.value) : fact.shown; }

namespace {

Json SectionJson(const Section& facts) {
  Json object = Json::object();
  for (const Fact& fact : facts) object[fact.key] = fact.value;
  return object;
}

}  // namespace

// The document is written as nlohmann would dump it whole, a member at a time.
void WriteJson(std::ostream& out, const std::string& file, ClientSetup* request) {
  out << "{\"file\":" << JsonText(file) << ",\"request\":" << JsonText(SectionJson(RequestSection(request)))
      << ",\"server\":" << JsonText(SectionJson(ServerSection(request))) << ",\"clients\":[";
  for (unsigned long index = 0; XmlUtils::GetClientComposition(request, index) != nullptr; ++index) {
    Json client = Json{{"index", index}};
    client.update(SectionJson(ClientSection(request, index)));
    out << (index == 0 ? "" : ",") << JsonText(client);
  }
  out << "]}\n";
}

}  // namespace zutool
