// zu-request show: the header, central server and client entries of a request,
// as the XmlUtils accessors tell them (they are the only way it reads the
// request). Passwords and the authorization code show only as set or not set.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "Commands.h"
#include "Json.h"
#include "RequestSchema.h"
#include "ZUInstallXmlUtils.h"

namespace zutool {

namespace {

using json::Value;
using ZUInstallManager::ClientSetup;
using ZUInstallManager::ClientsComposition;
using ZUInstallManager::SILType;
using ZUInstallManager::SIMOperationType;

// One fact: a member of the JSON document and a line of the text form.
struct Fact {
  const char* key;
  const char* label;
  Value value;
  std::string shown;  // the text form, when the value alone does not read well
};

using Section = std::vector<Fact>;

struct Document {
  std::string file;
  Section request;
  Section server;
  std::vector<Section> clients;
};

// ---- Values from accessor results -------------------------------------------------

Value ToValue(const std::string& text) { return Value::Text(text); }
Value ToValue(int number) { return Value::Integer(number); }
Value ToValue(unsigned int number) { return Value::Unsigned(number); }
Value ToValue(unsigned long number) { return Value::Unsigned(number); }
Value ToValue(bool flag) { return Value::Boolean(flag); }

// Runs an accessor with one output; null unless it returns 0.
template <class T, class Reader>
Value Read(Reader read) {
  T out{};
  return read(out) == 0 ? ToValue(out) : Value();
}

Value SetOrNot(bool set) { return Value::Text(set ? "set" : "not set"); }

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

std::string Plain(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Null:
      return "-";
    case Value::Kind::Integer:
      return std::to_string(value.integer());
    case Value::Kind::Unsigned:
      return std::to_string(value.unsignedInteger());
    case Value::Kind::Boolean:
      return value.boolean() ? "yes" : "no";
    case Value::Kind::Text:
      return value.text().empty() ? "(empty)" : Printable(value.text());
    case Value::Kind::Array: {
      if (value.items().empty()) return "none";
      std::string joined;
      for (const Value& item : value.items()) joined += (joined.empty() ? "" : ", ") + Plain(item);
      return joined;
    }
    case Value::Kind::Object: {
      std::string joined;
      for (const auto& [key, member] : value.members()) {
        joined += (joined.empty() ? "" : ", ") + key + ' ' + Plain(member);
      }
      return joined;
    }
  }
  return "-";
}

// ---- Composite facts -------------------------------------------------------------

struct FlagName {
  unsigned long long bit;
  const char* name;
};

constexpr FlagName kRequestFlags[] = {
    {0x1000, "builtin-cert"},  {0x2000, "client-names-updated"}, {0x20000, "auto-registered"},
    {0x80000, "async"},        {0x1000000, "client-install"},
};

std::string Hex(unsigned long long number) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", number);
  return text;
}

Fact FlagsFact(ClientSetup* request) {
  const unsigned long long flags = static_cast<unsigned long long>(XmlUtils::GetRequestFlags(request));
  Value names = Value::Array();
  std::string shown = Hex(flags);
  unsigned long long rest = flags;
  for (const FlagName& flag : kRequestFlags) {
    if ((flags & flag.bit) == 0) continue;
    names.append(Value::Text(flag.name));
    shown += std::string(" ") + flag.name;
    rest &= ~flag.bit;
  }
  // The remaining bits one by one, as the installer would test them.
  for (unsigned long long bit = 1; rest != 0; bit <<= 1) {
    if ((rest & bit) == 0) continue;
    names.append(Value::Text(Hex(bit)));
    shown += ' ' + Hex(bit);
    rest &= ~bit;
  }
  Value value = Value::Object().set("value", Value::Integer(static_cast<long long>(flags))).set("names", names);
  return {"flags", "flags", std::move(value), shown};
}

// The type as stored, named when it is one the installer knows.
Fact OperationFact(int result, SIMOperationType type) {
  if (result != 0) return {"operation", "operation", Value(), ""};
  Value name;
  if (const char* known = FindOperationName(type)) name = Value::Text(known);
  std::string shown = std::to_string(static_cast<int>(type));
  if (!name.isNull()) shown += ' ' + name.text();
  return {"operation", "operation", Value::Object().set("code", Value::Integer(type)).set("name", name), shown};
}

// Code and text of an error block, unsigned as the status readers give them.
Fact ErrorFact(const char* key, const char* label, int result, unsigned long code, const std::string& text) {
  if (result != 0) return {key, label, Value(), ""};
  Value value = Value::Object().set("code", Value::Unsigned(code)).set("text", Value::Text(text));
  return {key, label, std::move(value), std::to_string(code) + (text.empty() ? "" : "  " + Printable(text))};
}

// ---- The sections ------------------------------------------------------------------

Section RequestSection(ClientSetup* request) {
  using namespace XmlUtils;
  Section facts;
  facts.push_back({"type", "type", Value::Integer(GetRequestType(request)), ""});
  SIMOperationType operation{};
  const int operationResult = GetOperationType(request, operation);
  facts.push_back(OperationFact(operationResult, operation));
  facts.push_back(FlagsFact(request));
  facts.push_back({"job", "job", Value::Integer(GetJobId(request)), ""});
  facts.push_back({"locale", "locale", Read<unsigned long>([&](auto& o) { return GetlocaleID(request, o); }), ""});
  facts.push_back({"user", "user", Read<unsigned long>([&](auto& o) { return GetUserID(request, o); }), ""});
  facts.push_back({"requestId", "request id", Read<int>([&](auto& o) { return GetXMLRequestID(request, o); }), ""});
  facts.push_back({"subscription", "subscription", Value::Integer(GetSubcriptionID(request)), ""});
  facts.push_back(
      {"remoteClient", "remote client", Read<bool>([&](auto& o) { return GetRemoteClient(request, o); }), ""});
  facts.push_back({"upgradeMode", "upgrade mode", Read<bool>([&](auto& o) { return GetUpgradeMode(request, o); }), ""});
  facts.push_back({"restoreOnlyAgents", "restore-only agents",
                   Read<bool>([&](auto& o) { return GetRestoreOnlyAgentsMode(request, o); }), ""});
  facts.push_back({"userAuthentication", "user authentication",
                   Read<bool>([&](auto& o) { return IsUserAuthenticationRequested(request, o); }), ""});
  facts.push_back({"rolesManagerProperties", "roles manager",
                   Read<std::string>([&](auto& o) { return GetRolesManagerProperties(request, o); }), ""});
  facts.push_back({"firewall", "firewall",
                   Read<std::string>([&](auto& o) { return GetiFirewallConfigBlock(request, o); }), ""});

  std::string account, password;
  const bool hasAccount = GetUserAccountToLogin(request, account, password) == 0;
  facts.push_back({"loginAccount", "login account", hasAccount ? Value::Text(account) : Value(), ""});
  facts.push_back({"loginPassword", "login password", hasAccount ? SetOrNot(!password.empty()) : Value(), ""});
  std::string code;
  const bool hasCode = GetOrganizationAuthcode(request, code) == 0 && !code.empty();
  facts.push_back({"authCode", "authorization code", SetOrNot(hasCode), ""});

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

Section ClientSection(ClientSetup* request, unsigned long index) {
  using namespace XmlUtils;
  ClientsComposition* entry = GetClientComposition(request, index);
  ClientSetup alone = EntryAlone(*entry);
  Section facts;
  const auto add = [&](const char* key, const char* label, Value value, std::string shown = "") {
    facts.push_back({key, label, std::move(value), std::move(shown)});
  };

  add("name", "name", Read<std::string>([&](auto& o) { return GetClientName(entry, o); }));
  add("host", "host", Read<std::string>([&](auto& o) { return GetClientHostName(entry, o); }));
  add("id", "id", Read<unsigned long>([&](auto& o) { return GetClientID(entry, o); }));
  add("guid", "GUID", Read<std::string>([&](auto& o) { return GetClientGUID(request, index, o); }));
  SIMOperationType operation{};
  const int operationResult = GetClientOperationType(entry, operation);
  facts.push_back(OperationFact(operationResult, operation));
  add("sourceClient", "source client",
      Read<std::string>([&](auto& o) { return GetSourceClientForClient(request, index, o); }));
  std::string password;
  add("password", "password", SetOrNot(GetClientPassword(entry, password) == 0 && !password.empty()));
  add("zudPort", "ZUD port", Read<int>([&](auto& o) { return GetClientZUDPort(entry, o); }));

  std::string osName, osDetail;
  if (GetClientOS(request, index, osName, osDetail) == 0) {
    add("os", "OS", Value::Object().set("name", Value::Text(osName)).set("detail", Value::Text(osDetail)),
        Printable(osName) + (osDetail.empty() ? "" : " (" + Printable(osDetail) + ")"));
  } else {
    add("os", "OS", Value());
  }
  add("release", "release", Read<std::string>([&](auto& o) { return GetClientReleaseString(request, index, o); }));
  std::string spVersion, spText;
  int sp1 = 0, sp2 = 0, sp3 = 0, sp4 = 0;
  if (GetClientSPFullVersion(entry, spVersion, sp1, spText, sp2, sp3, sp4) == 0) {
    Value sp = Value::Object()
                   .set("version", Value::Text(spVersion))
                   .set("number1", Value::Integer(sp1))
                   .set("text", Value::Text(spText))
                   .set("number2", Value::Integer(sp2))
                   .set("number3", Value::Integer(sp3))
                   .set("number4", Value::Integer(sp4));
    add("servicePack", "service pack", std::move(sp),
        Printable(spVersion) + " (" + std::to_string(sp1) + ", " + Printable(spText) + ", " + std::to_string(sp2) +
            ", " + std::to_string(sp3) + ", " + std::to_string(sp4) + ")");
  } else {
    add("servicePack", "service pack", Value());
  }

  std::vector<int> ids;
  Value packages;
  if (GetPackageList(request, index, ids) == 0) {
    packages = Value::Array();
    for (int id : ids) packages.append(Value::Integer(id));
  }
  add("packages", "packages", std::move(packages));
  add("databasePackage", "database package", Value::Boolean(IsDBPackageSelected(request, index, false)));
  add("restoreOnly", "restore only", Read<bool>([&](auto& o) { return IsRestoreOnlyClient(request, index, o); }));

  Value roles = Value::Array();
  bool role = false;
  if (GetLaptopBackupRole(entry, role) == 0) roles.append(Value::Text("laptop-backup"));
  if (GetNetworkProxyRole(&alone, role) == 0) roles.append(Value::Text("network-proxy"));
  add("roles", "roles", std::move(roles));
  add("customRoles", "custom roles", Read<std::string>([&](auto& o) { return GetCustomRolesProp(&alone, o); }));
  add("virtualMachine", "virtual machine", Value::Boolean(IsVirtualDiscoveredClient(entry)));
  add("vmInstanceId", "VM instance id", Read<unsigned int>([&](auto& o) { return GetVMInstanceID(&alone, o); }));
  add("appliance", "appliance", Read<bool>([&](auto& o) { return GetApplianceClient(entry, o); }));
  SILType silType{};
  std::string silPath;
  if (GetSharedInstallLocation(entry, silType, silPath) == 0) {
    add("sharedInstallLocation", "shared install location",
        Value::Object().set("type", Value::Integer(silType)).set("path", Value::Text(silPath)),
        std::to_string(static_cast<int>(silType)) + ' ' + Printable(silPath));
  } else {
    add("sharedInstallLocation", "shared install location", Value());
  }

  add("storagePolicy", "storage policy", Read<std::string>([&](auto& o) { return GetStoragePolicy(entry, o); }));
  add("subclientPolicy", "subclient policy",
      Read<std::string>([&](auto& o) { return GetSubclientPolicy(entry, o); }));
  int planId = 0;
  std::string planName;
  if (GetSubclientPlan(entry, planId, planName) == 0) {
    add("plan", "plan", Value::Object().set("id", Value::Integer(planId)).set("name", Value::Text(planName)),
        std::to_string(planId) + (planName.empty() ? "" : ' ' + Printable(planName)));
  } else {
    add("plan", "plan", Value());
  }
  // The installer reads the first group only.
  add("group", "group", Read<std::string>([&](auto& o) { return GetClientGroup(entry, o); }));
  std::vector<std::string> associated;
  Value associatedValue;
  if (GetPMAssociated(entry, associated) == 0) {
    associatedValue = Value::Array();
    for (std::string& name : associated) associatedValue.append(Value::Text(std::move(name)));
  }
  add("associatedClients", "associated clients", std::move(associatedValue));

  std::string failoverFirst, failoverSecond;
  bool failoverFlag = false;
  if (GetFailoverDX(entry, failoverFirst, failoverSecond, failoverFlag) == 0) {
    add("failover", "failover",
        Value::Object()
            .set("first", Value::Text(failoverFirst))
            .set("second", Value::Text(failoverSecond))
            .set("flag", Value::Boolean(failoverFlag)),
        Printable(failoverFirst) + ' ' + Printable(failoverSecond) + (failoverFlag ? " (on)" : " (off)"));
  } else {
    add("failover", "failover", Value());
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
    add("surveyUrls", "survey URLs",
        Value::Object().set("first", Value::Text(survey1)).set("second", Value::Text(survey2)),
        Printable(survey1) + ' ' + Printable(survey2));
  } else {
    add("surveyUrls", "survey URLs", Value());
  }

  unsigned long statusCode = 0;
  std::string statusText;
  const int statusResult = GetClientStatus(entry, statusCode, statusText);
  facts.push_back(ErrorFact("status", "status", statusResult, statusCode, statusText));
  return facts;
}

Document Describe(const std::string& file, ClientSetup* request) {
  Document document{file, RequestSection(request), ServerSection(request), {}};
  for (unsigned long index = 0; XmlUtils::GetClientComposition(request, index) != nullptr; ++index) {
    document.clients.push_back(ClientSection(request, index));
  }
  return document;
}

// ---- Output ------------------------------------------------------------------------

Value SectionJson(const Section& facts) {
  Value object = Value::Object();
  for (const Fact& fact : facts) object.set(fact.key, fact.value);
  return object;
}

void PrintJson(const Document& document) {
  Value clients = Value::Array();
  for (std::size_t index = 0; index < document.clients.size(); ++index) {
    Value client = Value::Object().set("index", Value::Unsigned(index));
    for (const Fact& fact : document.clients[index]) client.set(fact.key, fact.value);
    clients.append(std::move(client));
  }
  json::Write(std::cout, Value::Object()
                             .set("file", Value::Text(document.file))
                             .set("request", SectionJson(document.request))
                             .set("server", SectionJson(document.server))
                             .set("clients", std::move(clients)));
}

// Absent facts are left out of the text form; the JSON form has them as null.
void PrintSection(const std::string& title, const Section& facts, std::size_t width) {
  std::cout << title << '\n';
  bool any = false;
  for (const Fact& fact : facts) {
    if (fact.value.isNull()) continue;
    any = true;
    const std::string label = fact.label;
    std::cout << "  " << label << std::string(width - label.size(), ' ')
              << (fact.shown.empty() ? Plain(fact.value) : fact.shown) << '\n';
  }
  if (!any) std::cout << "  (nothing)\n";
}

void PrintText(const Document& document) {
  std::size_t width = 0;
  const auto widen = [&](const Section& facts) {
    for (const Fact& fact : facts) {
      if (!fact.value.isNull()) width = std::max(width, std::string(fact.label).size() + 2);
    }
  };
  widen(document.request);
  widen(document.server);
  for (const Section& client : document.clients) widen(client);

  std::cout << Printable(document.file) << '\n';
  PrintSection("request", document.request, width);
  PrintSection("central server", document.server, width);
  for (std::size_t index = 0; index < document.clients.size(); ++index) {
    PrintSection("client " + std::to_string(index), document.clients[index], width);
  }
}

}  // namespace

int Show(const Args& args) {
  bool asJson = false;
  std::vector<std::string> files;
  bool options = true;
  for (const std::string& arg : args) {
    if (options && arg == "--") {
      options = false;
    } else if (options && arg == "--json") {
      asJson = true;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      return UsageError("show: unknown option '" + arg + "'");
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) return UsageError("show: missing FILE");

  int status = kOk;
  bool first = true;
  for (const std::string& file : files) {
    ClientSetup request;
    if (!LoadRequest(file, request)) {
      status = kFailed;
      continue;
    }
    if (!asJson && !first) std::cout << '\n';
    first = false;
    const Document document = Describe(file == "-" ? "<stdin>" : file, &request);
    if (asJson) {
      PrintJson(document);
    } else {
      PrintText(document);
    }
  }
  std::cout.flush();
  if (!std::cout) return Fail("cannot write to standard output");
  return status;
}

}  // namespace zutool
