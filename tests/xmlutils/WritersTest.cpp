// Setters: the login account, the firewall settings, policies and groups.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

std::string WithAccount(const std::string& attributes) {
  return "<ClientSetup><clientAuthentication><userAccount " + attributes + "/></clientAuthentication></ClientSetup>";
}

// The user is stored whole; a null password keeps the stored one; a null user changes nothing.
TEST(SetUserAccountToLogin, CreatesTheBlocksAndMarksThePassword) {
  const struct { std::string before; const char *user, *password; int result; std::string after; } cases[] = {
      {"<ClientSetup/>", "CORP\\svc", "V8:pw", 0, WithAccount(R"(userName="CORP\svc" password="V8:pw")")},
      {WithAccount(R"(userName="svc" password="V8:pw" domainName="CORP")"), "", nullptr, 0,
       WithAccount(R"(userName="" password="V8:pw" domainName="CORP")")},
      {"<ClientSetup/>", nullptr, "pw", -1, "<ClientSetup/>"}};
  for (const auto& c : cases) {
    auto request = Parse(c.before);
    EXPECT_EQ(SetUserAccountToLogin(request.get(), c.user, c.password), c.result) << c.before;
    EXPECT_EQ(Xml(*request), c.after);
    if (c.password == nullptr || c.result != 0) continue;
    pstring** stored = zumsg::object<ZUInstallManager::ClientAuthentication::userAccount>(
        *GetClientAuthentication(request.get()))->getpstringobject(ZuSecurity::UserAccount::password);
    EXPECT_EQ((*stored)->encryptType(), Annotation::PASSWORD_ENCRYPT_DEFAULT);
  }
  EXPECT_EQ(SetUserAccountToLogin(nullptr, "svc", "pw"), -1);
}

// Only what is given is stored: 0 and "" never clear an earlier number or block.
TEST(SetFirewallInstall, StoresOnlyWhatIsGiven) {
  const char* nul = nullptr;
  const struct { const char *before, *first, *second; int number; const char *block, *after; } cases[] = {
      {"<ClientSetup/>", nul, nul, 7, "", R"(<ClientSetup><installOptions><firewallConfig firewallNumber="7"/>)"},
      {R"(<ClientSetup><installOptions upgradeMode="1"><firewallConfig firewallValue1="a" firewallValue2="b"
         firewallNumber="5" firewallConfigBlock="block"/></installOptions></ClientSetup>)", nul, "y", 0, "new",
       R"(<ClientSetup><installOptions upgradeMode="1"><firewallConfig firewallValue1="a" firewallValue2="y" )"
       R"(firewallNumber="5" firewallConfigBlock="new"/>)"}};
  for (const auto& c : cases) {
    auto request = Parse(c.before);
    EXPECT_EQ(SetFirewallInstall(request.get(), c.first, c.second, c.number, c.block), 0) << c.before;
    EXPECT_EQ(Xml(*request), std::string(c.after) + "</installOptions></ClientSetup>");
  }
  auto request = Parse("<ClientSetup/>");
  EXPECT_EQ(SetFirewallInstall(request.get(), nul, nul, 7, nul), -1);
  EXPECT_EQ(SetFirewallInstall(nullptr, "a", "b", 1, "c"), -1);
  EXPECT_EQ(Xml(*request), "<ClientSetup/>");
}

// The blocks on the path are made when missing, kept when there; what stands
// beside the path stays; groups are appended.
TEST(PolicySetters, CreateTheMissingBlocksOnly) {
  const struct { const char* entry; int (*set)(ClientsComposition*, const char*); const char* after; } cases[] = {
      {"<clientComposition/>", SetStoragePolicy, "<clientComposition><components><policySettings><storagePolicy "
       "storagePolicyName=\"new\"/></policySettings></components></clientComposition>"},
      {"<clientComposition><components><policySettings><storagePolicy storagePolicyName=\"old\"/><plan planId=\"12\"/>"
       "</policySettings></components></clientComposition>", SetStoragePolicy, "<clientComposition><components>"
       "<policySettings><storagePolicy storagePolicyName=\"new\"/><plan planId=\"12\"/></policySettings></components>"
       "</clientComposition>"},
      {"<clientComposition><components><subclientPolicySettings laptopBackup=\"1\"/></components></clientComposition>",
       SetSubclientPolicy, "<clientComposition><components><subclientPolicySettings laptopBackup=\"1\"><subclientPolicy "
       "subclientPolicyName=\"new\"/></subclientPolicySettings></components></clientComposition>"},
      {"<clientComposition><clientInfo><client zudPort=\"1\"/><clientGroups clientGroupName=\"new\"/></clientInfo>"
       "</clientComposition>", SetClientGroup, "<clientComposition><clientInfo><client zudPort=\"1\"/><clientGroups "
       "clientGroupName=\"new\"/><clientGroups clientGroupName=\"new\"/></clientInfo></clientComposition>"}};
  for (const auto& c : cases) {
    auto request = Parse(std::string("<ClientSetup>") + c.entry + "</ClientSetup>");
    EXPECT_EQ(c.set(GetClientComposition(request.get(), 0), "new"), 0) << c.entry;
    EXPECT_EQ(c.set(GetClientComposition(request.get(), 0), nullptr) + c.set(nullptr, "x"), -2) << c.entry;
    EXPECT_EQ(Xml(*request), std::string("<ClientSetup>") + c.after + "</ClientSetup>");
  }
  // A block held as no object is made afresh.
  auto request = Parse("<ClientSetup><clientComposition><components/></clientComposition></ClientSetup>");
  ClientsComposition* entry = GetClientComposition(request.get(), 0);
  HoldNoObject<ClientsComposition::components>(*entry);
  ASSERT_EQ(SetStoragePolicy(entry, ""), 0);
  S name = "kept";
  EXPECT_EQ(GetStoragePolicy(entry, name), 0);
  EXPECT_EQ(name, "");
}

}  // namespace
}  // namespace xutest
