// Navigation to entries, components and entities; the blocks, entities and
// lists handed out; package selection; the setters.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

using ZUInstallManager::Components;
using ZUInstallManager::PackageInformation;
using ZuEntities::ClientEntity;

// A field present but holding nothing counts as absent; present empty lists have no members. (An index past the
// last entry is the fuzz corpus replay's to show; the readers show the entry of an index.)
TEST(Navigation, EntriesComponentsEntitiesAndTheBlocksAndListsHandedOut) {
  auto request = Parse(Data("nav-entries"));
  ClientsComposition* entry = GetClientComposition(request.get(), 0);
  EXPECT_EQ(GetClientEntity(GetClientComposition(request.get(), 1))->getstring(ClientEntity::clientName), "b");
  EXPECT_EQ(GetClientAuthentication(request.get()), zumsg::object<ClientSetup::clientAuthentication>(*request));
  EXPECT_TRUE(GetClientEntity(entry) == nullptr && GetComponents(GetClientComposition(request.get(), 1)) == nullptr &&
              GetClientAuthentication(Parse("<ClientSetup/>").get()) == nullptr);
  ASSERT_NE(GetComponents(entry), nullptr);
  HoldNoObject<ClientsComposition::components>(*entry);
  ClientSetup empty;
  zumsg::listCreate<ClientSetup::clientComposition>(empty);
  EXPECT_TRUE(GetComponents(entry) == nullptr && GetClientComposition(&empty, 0) == nullptr);
  zumsg::listCreate<App::ClientInfo::clientGroups>(*zumsg::object<ClientsComposition::clientInfo>(*entry));
  S name = "kept";
  EXPECT_EQ(GetClientGroup(entry, name), -1);
  EXPECT_EQ(name, "kept");
  // Borrowed: what is handed out lives in the request; a failure leaves the pointer.
  request = Parse(Data("nav-borrowed"));
  ClientsComposition *first = GetClientComposition(request.get(), 0), *second = GetClientComposition(request.get(), 1);
  ClientEntity* const mine = reinterpret_cast<ClientEntity*>(&request);
  ClientEntity* entity = mine;
  ASSERT_EQ(GetReassociateLaptop(request.get(), 1, entity), 0);
  EXPECT_EQ(entity, zumsg::object<ZUInstallManager::ActivateClientInfo::userCentricClient>(
                        *zumsg::object<ClientsComposition::activateClientInfo>(*second)));
  // No user-centric client, no entry: a failure, the pointer untouched.
  entity = mine;
  for (U index : {0ul, 2ul})
    EXPECT_TRUE(GetReassociateLaptop(request.get(), index, entity) == -1 && entity == mine) << index;
  std::vector<PackageInformation>* list = nullptr;
  ASSERT_EQ(GetPackageList(request.get(), 0, list), 0);
  EXPECT_EQ(GetPackageList(request.get(), 1, list) + GetPackageList(second, list), -2);
  EXPECT_EQ(list, zumsg::list<Components::packages>(*GetComponents(first)));
  ZUInstallManager::PatchInformation* patch = nullptr;
  ASSERT_EQ(GetPatchInformation(first, patch), 0);
  EXPECT_EQ(GetPatchInformation(second, patch), -1);
  EXPECT_EQ(patch, zumsg::object<ClientsComposition::patchInformation>(*first));
  // Present fields holding nothing: null handed out, a failure or a success as the reader decides.
  HoldNoObject<ClientsComposition::patchInformation>(*first);
  HoldNoObject<ZUInstallManager::ActivateClientInfo::userCentricClient>(
      *zumsg::object<ClientsComposition::activateClientInfo>(*second));
  EXPECT_EQ(GetPatchInformation(first, patch), -1);
  EXPECT_EQ(GetReassociateLaptop(request.get(), 1, entity), 0);
  EXPECT_TRUE(patch == nullptr && entity == nullptr);
}

// A present empty list counts zero, and is success and not restore-only.
TEST(PackageSelection, CountIdsDatabaseAndRestoreOnly) {
  auto request = Parse(WithPackages(""));
  zumsg::listCreate<Components::packages>(*GetComponents(GetClientComposition(request.get(), 0)));
  int count = 5;
  bool restoreOnly = true;
  EXPECT_EQ(GetComponentCount(request.get(), count) + IsRestoreOnlyClient(request.get(), 0, restoreOnly), 0);
  EXPECT_TRUE(count == 0 && !restoreOnly);
  // Positive low-32 ids only, appended: absent reads as 0, 2^32 + 7 as 7, 2^31 as negative.
  request =
      Parse(WithPackages("<packages packageId='0'/><packages packageId='5'/><packages packageId='-3'/><packages"
                         " packageMode='0'/><packages packageId='4294967303'/><packages packageId='2147483648'/>"));
  for (const auto& [index, result, expected] : {std::tuple{0ul, 0, std::vector<int>{42, 5, 7}}, {1ul, -1, {42}}}) {
    std::vector<int> ids{42};
    EXPECT_EQ(GetPackageList(request.get(), index, ids), result);
    EXPECT_EQ(ids, expected);
  }
  // Databases are 802 to 899, and 24 on request.
  const std::pair<const char*, bool> databases[] = {{"24", true},   {"802", true},       {"899", true}, {"801", false},
                                                    {"900", false}, {"4294968098", true}};  // 2^32 + 802
  for (const auto& [id, also24] : databases) {
    request = Parse(
        Two("<components><packages/><packages packageId='1'/><packages packageId='" + S(id) + "'/></components>", ""));
    EXPECT_EQ(
        std::vector<bool>({IsDBPackageSelected(request.get(), 0, false), IsDBPackageSelected(request.get(), 0, true),
                           IsDBPackageSelected(request.get(), 1, true), IsDBPackageSelected(request.get(), 2, true)}),
        std::vector<bool>({also24 && std::string(id) != "24", also24, false, false}))
        << id;
  }
}

// Non-empty names are appended; the result judges the whole vector.
TEST(PMAssociated, AppendsNamedClients) {
  const S three = Data("pm-three"), nameless = Data("pm-nameless");
  using Names = std::vector<S>;
  for (const auto& [xml, index, before, result, after] :
       {std::tuple{three, 0ul, Names{"mine"}, 0, Names{"mine", "vm01", "vm01"}},
        {nameless, 0ul, Names{}, -1, Names{}},
        {nameless, 0ul, Names{"mine"}, 0, Names{"mine"}},
        {three, 1ul, Names{"mine"}, -1, Names{"mine"}}}) {
    Names names = before;
    EXPECT_EQ(GetPMAssociated(Parse(xml).get(), index, names), result) << xml;
    EXPECT_EQ(names, after) << xml;
  }
}

#define SET(call) [](Req r) { return call; }
#define SET0(fn)                                                                                                      \
  [](Req r) {                                                                                                         \
    return fn(GetClientComposition(r, 0), "new") + 10 * (fn(GetClientComposition(r, 0), nullptr) + fn(nullptr, "x")); \
  }

// Setters: the request after the call, every field at once. Only what is given is stored (0 and "" never clear a
// number or block); missing blocks on the path are made, what stands beside them stays; groups are appended.
TEST(Setters, RequestAfterTheCall) {
  const S fw = "<ClientSetup><installOptions upgradeMode='1'><firewallConfig firewallValue1='a' firewallValue2='b' ";
  const S ei = R"(<ClientSetup><clientComposition><errorInfo errorCode=")";
  const S noCodes = "<ClientSetup><clientComposition><errorInfo/></clientComposition><errorInfo/></ClientSetup>";
  const std::tuple<S, int (*)(Req), int, S> rows[] = {
      {"<ClientSetup/>", SET(SetUserAccountToLogin(r, "CORP\\svc", "V8:pw")), 0,
       WithAccount(R"(userName="CORP\svc" password="V8:pw")")},
      {WithAccount(R"(userName="svc" password="V8:pw" domainName="CORP")"), SET(SetUserAccountToLogin(r, "", nullptr)),
       0, WithAccount(R"(userName="" password="V8:pw" domainName="CORP")")},
      {"<ClientSetup/>", SET(SetUserAccountToLogin(r, nullptr, "pw")), -1, "<ClientSetup/>"},
      {"<ClientSetup/>", SET(SetFirewallInstall(r, nullptr, nullptr, 7, "")), 0,
       R"(<ClientSetup><installOptions><firewallConfig firewallNumber="7"/></installOptions></ClientSetup>)"},
      {fw + "firewallNumber='5' firewallConfigBlock='c'/></installOptions></ClientSetup>",
       SET(SetFirewallInstall(r, nullptr, "y", 0, "new")), 0,
       R"(<ClientSetup><installOptions upgradeMode="1"><firewallConfig firewallValue1="a" firewallValue2="y" )"
       R"(firewallNumber="5" firewallConfigBlock="new"/></installOptions></ClientSetup>)"},
      {"<ClientSetup/>", SET(SetFirewallInstall(r, nullptr, nullptr, 7, nullptr)), -1, "<ClientSetup/>"},
      // Bits above 32 of the old value are dropped, not kept; the result is sign-extended.
      {"<ClientSetup/>", SET(UpdateRequestFlags(r, 0)), 0, R"(<ClientSetup requestFlags="0"/>)"},
      {"<ClientSetup requestFlags='-4294963200'/>", SET(UpdateRequestFlags(r, 0x80000)), 0,
       R"(<ClientSetup requestFlags="528384"/>)"},
      {"<ClientSetup requestFlags='4096'/>", SET(UpdateRequestFlags(r, static_cast<int>(0x80000000u))), 0,
       R"(<ClientSetup requestFlags="-2147479552"/>)"},
      // Present codes of the request and entry 0 only are reset; nothing is created.
      {ei + R"(5"/></clientComposition><clientComposition><errorInfo errorCode="6"/></clientComposition>)"
            R"(<errorInfo errorCode="3" errorMessage="top"/></ClientSetup>)",
       SET(ClearSIMError(r)), 0,
       ei + R"(0"/></clientComposition><clientComposition><errorInfo errorCode="6"/></clientComposition>)"
            R"(<errorInfo errorCode="0" errorMessage="top"/></ClientSetup>)"},
      {noCodes, SET(ClearSIMError(r)), 0, noCodes},
      {Entry0(R"(<components><policySettings><plan planId="12"/></policySettings></components>)"),
       SET0(SetStoragePolicy), -20,
       Entry0(R"(<components><policySettings><storagePolicy storagePolicyName="new"/><plan planId="12"/>)"
              R"(</policySettings></components>)")},
      {Entry0(R"(<components><subclientPolicySettings laptopBackup="1"/></components>)"), SET0(SetSubclientPolicy), -20,
       Entry0(R"(<components><subclientPolicySettings laptopBackup="1"><subclientPolicy subclientPolicyName="new"/>)"
              "</subclientPolicySettings></components>")},
      {Entry0(R"(<clientInfo><client zudPort="1"/><clientGroups clientGroupName="new"/></clientInfo>)"),
       SET0(SetClientGroup), -20,
       Entry0(R"(<clientInfo><client zudPort="1"/><clientGroups clientGroupName="new"/>)"
              R"(<clientGroups clientGroupName="new"/></clientInfo>)")}};
  for (const auto& [before, set, result, after] : rows) {
    auto request = Parse(before);
    EXPECT_EQ(set(request.get()), result) << before;
    EXPECT_EQ(Xml(*request), after);
  }
  EXPECT_EQ(SetUserAccountToLogin(nullptr, "svc", "pw") + SetFirewallInstall(nullptr, "a", "b", 1, "c") +
                UpdateRequestFlags(nullptr, 1) + ClearSIMError(nullptr),
            -4);
  // The password is marked for encryption, a group for writing; a block held as no object is made afresh.
  auto request = Parse(Entry0("<components/>"));
  ClientsComposition* entry = GetClientComposition(request.get(), 0);
  ASSERT_EQ(SetUserAccountToLogin(request.get(), "svc", "V8:pw") + SetClientGroup(entry, "g"), 0);
  EXPECT_EQ(
      (*zumsg::object<ZUInstallManager::ClientAuthentication::userAccount>(*GetClientAuthentication(request.get()))
            ->getpstringobject(ZuSecurity::UserAccount::password))
          ->encryptType(),
      Annotation::PASSWORD_ENCRYPT_DEFAULT);
  EXPECT_TRUE(zumsg::list<App::ClientInfo::clientGroups>(*zumsg::object<ClientsComposition::clientInfo>(*entry))
                  ->at(0)
                  .xmlWriteFlag());
  HoldNoObject<ClientsComposition::components>(*entry);
  ASSERT_EQ(SetStoragePolicy(entry, ""), 0);
  S name = "kept";
  EXPECT_EQ(GetStoragePolicy(entry, name) + name.size(), 0u);
}

}  // namespace
}  // namespace xutest
