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
      {WithAccount(R"(userName="svc" password="V8:pw")"), "admin", "", 0, WithAccount(R"(userName="admin" password="")")},
      {"<ClientSetup/>", nullptr, "pw", -1, "<ClientSetup/>"},
  };
  for (const auto& c : cases) {
    auto request = Parse(c.before);
    EXPECT_EQ(SetUserAccountToLogin(request.get(), c.user, c.password), c.result) << c.before;
    EXPECT_EQ(Xml(*request), c.after);
  }
  auto request = Parse("<ClientSetup/>");
  ASSERT_EQ(SetUserAccountToLogin(request.get(), "svc", "V8:pw"), 0);
  pstring** stored = zumsg::object<ZUInstallManager::ClientAuthentication::userAccount>(
                         *GetClientAuthentication(request.get()))->getpstringobject(ZuSecurity::UserAccount::password);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ((*stored)->encryptType(), Annotation::PASSWORD_ENCRYPT_DEFAULT);
  EXPECT_EQ(SetUserAccountToLogin(nullptr, "svc", "pw"), -1);
}

// Only what is given is stored: 0 and "" never clear an earlier number or block.
TEST(SetFirewallInstall, StoresOnlyWhatIsGiven) {
  const char* kOld = R"(<ClientSetup><installOptions upgradeMode="1"><firewallConfig firewallValue1="a"
      firewallValue2="b" firewallNumber="5" firewallConfigBlock="block"/></installOptions></ClientSetup>)";
  const char* nul = nullptr;
  const struct { const char *before, *first, *second; int number; const char* block; int result; const char* after; } cases[] = {
      {"<ClientSetup/>", nul, nul, 7, nul, -1, "<ClientSetup/>"},
      {"<ClientSetup/>", nul, nul, 7, "", 0,
       "<ClientSetup><installOptions><firewallConfig firewallNumber=\"7\"/></installOptions></ClientSetup>"},
      {kOld, nul, "y", -1, "new", 0,
       "<ClientSetup><installOptions upgradeMode=\"1\"><firewallConfig firewallValue1=\"a\" firewallValue2=\"y\" "
       "firewallNumber=\"-1\" firewallConfigBlock=\"new\"/></installOptions></ClientSetup>"},
  };
  for (const auto& c : cases) {
    auto request = Parse(c.before);
    EXPECT_EQ(SetFirewallInstall(request.get(), c.first, c.second, c.number, c.block), c.result) << c.before;
    EXPECT_EQ(Xml(*request), c.after);
  }
  EXPECT_EQ(SetFirewallInstall(nullptr, "a", "b", 1, "c"), -1);
}

// The blocks on the path are made when missing, kept when there; what stands
// beside the path stays; groups are appended.
TEST(PolicySetters, CreateTheMissingBlocksOnly) {
  const struct { const char* entry; int (*set)(ClientsComposition*, const char*); const char* after; } cases[] = {
      {"<clientComposition/>", SetStoragePolicy,
       "<clientComposition><components><policySettings><storagePolicy storagePolicyName=\"new\"/></policySettings>"
       "</components></clientComposition>"},
      {"<clientComposition><components><policySettings><storagePolicy storagePolicyName=\"old\"/><plan planId=\"12\"/>"
       "</policySettings></components></clientComposition>", SetStoragePolicy,
       "<clientComposition><components><policySettings><storagePolicy storagePolicyName=\"new\"/><plan planId=\"12\"/>"
       "</policySettings></components></clientComposition>"},
      {"<clientComposition><components><subclientPolicySettings laptopBackup=\"1\"/></components></clientComposition>",
       SetSubclientPolicy,
       "<clientComposition><components><subclientPolicySettings laptopBackup=\"1\"><subclientPolicy "
       "subclientPolicyName=\"new\"/></subclientPolicySettings></components></clientComposition>"},
      {"<clientComposition><clientInfo><client zudPort=\"1\"/><clientGroups clientGroupName=\"new\"/></clientInfo>"
       "</clientComposition>", SetClientGroup,
       "<clientComposition><clientInfo><client zudPort=\"1\"/><clientGroups clientGroupName=\"new\"/>"
       "<clientGroups clientGroupName=\"new\"/></clientInfo></clientComposition>"},
  };
  for (const auto& c : cases) {
    auto request = Parse(std::string("<ClientSetup>") + c.entry + "</ClientSetup>");
    EXPECT_EQ(c.set(GetClientComposition(request.get(), 0), "new"), 0) << c.entry;
    EXPECT_EQ(Xml(*request), std::string("<ClientSetup>") + c.after + "</ClientSetup>");
    EXPECT_EQ(c.set(GetClientComposition(request.get(), 0), nullptr), -1);
    EXPECT_EQ(c.set(nullptr, "x"), -1);
    EXPECT_EQ(Xml(*request), std::string("<ClientSetup>") + c.after + "</ClientSetup>") << "a refused call changed it";
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
