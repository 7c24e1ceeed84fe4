// Ports, passwords, the central server's connection facts, failover, the login
// account and the firewall settings.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

using namespace XmlUtils;

const char kConnect[] = R"(<ClientSetup>
  <dxInfo connectionUrl="" networkGateway="gw01:8403"><dxClient dxId="4294967295" clientType="3"/></dxInfo>
  <clientComposition>
    <clientInfo><client clientPassword="V8:abc" zudPort="2147483648"/></clientInfo>
    <failoverDXInfo failoverFlag="1"/>
  </clientComposition>
  <clientComposition>
    <clientInfo><client clientPassword="" zudPort="8400"/></clientInfo>
    <failoverDXInfo failoverValue1="dx02" failoverValue2=""/>
  </clientComposition>
  <clientComposition><clientInfo/></clientComposition>
  <installOptions><firewallConfig firewallConfigBlock=""/></installOptions>
  <organizationInfo authCode="7F3K"/>
</ClientSetup>)";

// Links present, values absent.
const char kHollow[] = R"(<ClientSetup><dxInfo><dxClient/></dxInfo><installOptions><firewallConfig/></installOptions>
  <organizationInfo/><clientComposition><clientInfo><client/></clientInfo></clientComposition></ClientSetup>)";

using S = std::string;

const auto kAccount = Reads<S, S>(ON(GetUserAccountToLogin));

std::string WithAccount(const std::string& attributes) {
  return "<ClientSetup><clientAuthentication><userAccount " + attributes +
         "/></clientAuthentication></ClientSetup>";
}
const std::string kDomainUser = WithAccount(R"(userName="svc" password="V8:pw" domainName="CORP")");
const std::string kEmptyDomain = WithAccount(R"(userName="svc" password="V8:pw" domainName="")");
const std::string kEmptyUser = WithAccount(R"(userName="" password="V8:pw" domainName="CORP")");
const std::string kNoPassword = WithAccount(R"(userName="svc" domainName="CORP")");
const std::string kEmptyPassword = WithAccount(R"(userName="CORP\svc" password="")");

const ReaderRow kRows[] = {
    {"PortAboveIntMaxIsLow32Signed", kConnect, Reads<int>(AT(GetClientZUDPort, 0)), "0", "-2147483648"},
    {"PortOfIndex", kConnect, Reads<int>(AT(GetClientZUDPort, 1)), "0", "8400"},
    {"PortPastLastEntryLeavesPort", kConnect, Reads<int>(AT(GetClientZUDPort, 3)), "-1", "untouched"},
    {"PortWithoutClientResetsPortToZero", kConnect, Reads<int>(OF(GetClientZUDPort, 2)), "-1", "0"},
    {"PortNullEntryResetsPortToZero", kConnect, Reads<int>(OF(GetClientZUDPort, 3)), "-1", "0"},
    {"PortAbsentResetsPortToZero", kHollow, Reads<int>(OF(GetClientZUDPort, 0)), "-1", "0"},
    {"ClientPassword", kConnect, Reads<S>(AT(GetClientPassword, 0)), "0", "V8:abc"},
    {"ClientPasswordEmptyIsSuccess", kConnect, Reads<S>(OF(GetClientPassword, 1)), "0", "(empty)"},
    {"ClientPasswordAbsent", kHollow, Reads<S>(AT(GetClientPassword, 0)), "-1", "untouched"},
    {"ClientPasswordWithoutClient", kConnect, Reads<S>(AT(GetClientPassword, 2)), "-1", "untouched"},
    {"AuthCode", kConnect, Reads<S>(ON(GetOrganizationAuthcode)), "0", "7F3K"},
    {"AuthCodeAbsentIsSuccessUntouched", kHollow, Reads<S>(ON(GetOrganizationAuthcode)), "0", "untouched"},
    {"AuthCodeNullRequest", nullptr, Reads<S>(ON(GetOrganizationAuthcode)), "-1", "untouched"},
    {"DXIdLow32Bits", kConnect, Reads<int>(ON(GetDXID)), "0", "-1"},
    {"DXIdAbsent", kHollow, Reads<int>(ON(GetDXID)), "-1", "untouched"},
    {"DXType", kConnect, Reads<int>(ON(GetDXType)), "0", "3"},
    {"DXTypeAbsent", kHollow, Reads<int>(ON(GetDXType)), "-1", "untouched"},
    {"ConnectionUrlEmptyIsWrittenAndFails", kConnect, Reads<S>(ON(GetConnectionUrl)), "-1", "(empty)"},
    {"ConnectionUrlAbsent", kHollow, Reads<S>(ON(GetConnectionUrl)), "-1", "untouched"},
    {"Gateway", kConnect, Reads<S>(ON(GetiNetworkGateway)), "0", "gw01:8403"},
    {"GatewayAbsent", kHollow, Reads<S>(ON(GetiNetworkGateway)), "-1", "untouched"},
    {"FirewallBlockEmptyIsWrittenAndFails", kConnect, Reads<S>(ON(GetiFirewallConfigBlock)), "-1", "(empty)"},
    {"FirewallBlockAbsent", kHollow, Reads<S>(ON(GetiFirewallConfigBlock)), "-1", "untouched"},
    {"FailoverOnlyFlag", kConnect, Reads<S, S, bool>(AT(GetFailoverDX, 0)), "0", "untouched | untouched | true"},
    {"FailoverWithoutFlagWritesFalse", kConnect, Reads<S, S, bool>(AT(GetFailoverDX, 1)), "0",
     "dx02 | (empty) | false"},
    {"FailoverWithoutBlock", kConnect, Reads<S, S, bool>(AT(GetFailoverDX, 2)), "-1",
     "untouched | untouched | untouched"},
    {"FailoverPastLastEntry", kConnect, Reads<S, S, bool>(AT(GetFailoverDX, 3)), "-1",
     "untouched | untouched | untouched"},
    {"AccountDomainBackslashUser", kDomainUser.c_str(), kAccount, "0", "CORP\\svc | V8:pw"},
    {"AccountEmptyDomainIsUserAlone", kEmptyDomain.c_str(), kAccount, "0", "svc | V8:pw"},
    {"AccountEmptyUserFails", kEmptyUser.c_str(), kAccount, "-1", "untouched | untouched"},
    {"AccountWithoutPasswordIsEmpty", kNoPassword.c_str(), kAccount, "0", "CORP\\svc | (empty)"},
    {"AccountEmptyPasswordIsEmpty", kEmptyPassword.c_str(), kAccount, "0", "CORP\\svc | (empty)"},
    {"AccountWithoutBlock", kHollow, kAccount, "-1", "untouched | untouched"},
};

INSTANTIATE_TEST_SUITE_P(Credentials, ReaderTable, ::testing::ValuesIn(kRows), RowName);

TEST(SetUserAccountToLogin, CreatesTheBlocksAndMarksThePassword) {
  auto request = Parse("<ClientSetup jobId=\"1\"/>");
  ASSERT_EQ(SetUserAccountToLogin(request.get(), "CORP\\svc", "V8:pw"), 0);
  EXPECT_EQ(Xml(*request),
            "<ClientSetup jobId=\"1\"><clientAuthentication><userAccount userName=\"CORP\\svc\" "
            "password=\"V8:pw\"/></clientAuthentication></ClientSetup>");
  pstring** stored = zumsg::object<ZUInstallManager::ClientAuthentication::userAccount>(
                         *GetClientAuthentication(request.get()))
                         ->getpstringobject(ZuSecurity::UserAccount::password);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ((*stored)->encryptType(), Annotation::PASSWORD_ENCRYPT_DEFAULT);
}

TEST(SetUserAccountToLogin, NullPasswordKeepsTheStoredOneAndTheDomain) {
  auto request = Parse(kDomainUser);
  ASSERT_EQ(SetUserAccountToLogin(request.get(), "", nullptr), 0);
  EXPECT_EQ(Xml(*request), WithAccount(R"(userName="" password="V8:pw" domainName="CORP")"));
  ASSERT_EQ(SetUserAccountToLogin(request.get(), "admin", ""), 0);
  EXPECT_EQ(Xml(*request), WithAccount(R"(userName="admin" password="" domainName="CORP")"));
}

TEST(SetUserAccountToLogin, NullUserChangesNothing) {
  auto request = Parse("<ClientSetup/>");
  EXPECT_EQ(SetUserAccountToLogin(request.get(), nullptr, "pw"), -1);
  EXPECT_EQ(Xml(*request), "<ClientSetup/>");
  EXPECT_EQ(SetUserAccountToLogin(nullptr, "svc", "pw"), -1);
}

TEST(SetFirewallInstall, StoresOnlyWhatIsGivenAndKeepsTheRest) {
  const char* kOld = R"(<ClientSetup><installOptions upgradeMode="1"><firewallConfig firewallValue1="a"
      firewallValue2="b" firewallNumber="5" firewallConfigBlock="block"/></installOptions></ClientSetup>)";
  const char* nul = nullptr;
  const struct {
    const char* before;
    const char *first, *second;
    int number;
    const char* block;
    int result;
    const char* after;
  } cases[] = {
      {"<ClientSetup/>", nul, nul, 7, nul, -1, "<ClientSetup/>"},
      {"<ClientSetup/>", nul, nul, 7, "", 0,
       "<ClientSetup><installOptions><firewallConfig firewallNumber=\"7\"/></installOptions></ClientSetup>"},
      {"<ClientSetup/>", "", nul, 0, nul, 0,
       "<ClientSetup><installOptions><firewallConfig firewallValue1=\"\"/></installOptions></ClientSetup>"},
      {kOld, "x", nul, 0, "", 0,
       "<ClientSetup><installOptions upgradeMode=\"1\"><firewallConfig firewallValue1=\"x\" firewallValue2=\"b\" "
       "firewallNumber=\"5\" firewallConfigBlock=\"block\"/></installOptions></ClientSetup>"},
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

}  // namespace
}  // namespace xutest
