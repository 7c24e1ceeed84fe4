// Readers of the request as a whole: header values, response codes and texts,
// the central server's connection facts and the login account.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

using Op = ZUInstallManager::SIMOperationType;

const char kHeader[] = R"(<ClientSetup remoteClient="2" requestType="3" localeId="4294967295" jobId="1099511627776"
  operationType="4294967316" requestFlags="-4294963200" xmlRequestId="4294967296" subscriptionId="17"><user
  userId="4294967295"/><clientComposition operationType="11"/><clientComposition operationType="20"/><installOptions
  upgradeMode="2" userAuthenticationRequested="0"/></ClientSetup>)";
// Links present, values absent.
const char kHollow[] = R"(<ClientSetup><user/><installOptions><firewallConfig/></installOptions><organizationInfo/>
  <dxInfo><dxClient/></dxInfo><clientComposition><clientInfo><client/></clientInfo></clientComposition></ClientSetup>)";
const char kConnect[] = R"(<ClientSetup><dxInfo connectionUrl="" networkGateway="gw01:8403"><dxClient dxId="4294967295"
  clientType="3"/></dxInfo><clientComposition><clientInfo><client clientPassword="V8:abc" zudPort="2147483648"/>
  </clientInfo><failoverDXInfo failoverFlag="1"/></clientComposition><clientComposition><clientInfo><client
  clientPassword="" zudPort="8400"/></clientInfo><failoverDXInfo failoverValue1="dx02" failoverValue2=""/>
  </clientComposition><clientComposition><clientInfo/></clientComposition><installOptions><firewallConfig
  firewallConfigBlock=""/></installOptions><organizationInfo authCode="7F3K"/></ClientSetup>)";
// The request-level code 0 must win over entry 0's 5; a request-level block without a code.
const char kTopZero[] = R"(<ClientSetup><errorInfo errorCode="0" errorMessage="done"/><clientComposition><errorInfo
  errorCode="5" errorMessage="entry failed"/></clientComposition></ClientSetup>)";
const char kTopWithoutCode[] = R"(<ClientSetup><errorInfo errorMessage="top"/><clientComposition><errorInfo
  errorCode="5" errorMessage="entry failed"/></clientComposition></ClientSetup>)";
// No request-level block; entry 0 has a code and no text; entry 1 a text.
const char kEntryOnly[] = R"(<ClientSetup><clientComposition><errorInfo errorCode="7"/></clientComposition>
  <clientComposition><errorInfo errorCode="4294967295" errorMessage="second"/></clientComposition></ClientSetup>)";
// Only entry 1 has a code: the response readers never look there.
const char kSecondOnly[] = R"(<ClientSetup><clientComposition/>
  <clientComposition><errorInfo errorCode="9"/></clientComposition></ClientSetup>)";

std::string WithAccount(const std::string& attributes) {
  return "<ClientSetup><clientAuthentication><userAccount " + attributes + "/></clientAuthentication></ClientSetup>";
}
const std::string kDomainUser = WithAccount(R"(userName="svc" password="V8:pw" domainName="CORP")");
const std::string kEmptyDomain = WithAccount(R"(userName="svc" password="V8:pw" domainName="")");
const std::string kEmptyUser = WithAccount(R"(userName="" password="V8:pw" domainName="CORP")");
const std::string kNoPassword = WithAccount(R"(userName="svc" domainName="CORP")");

const auto kCode = Reads<>(ON(GetResponseErrorCode));
const auto kInfo = Reads<U, S>(ON(GetResponseInfo));
const auto kAccount = Reads<S, S>(ON(GetUserAccountToLogin));

// Each predicate tests its own bit of the low 32: 0x1000 << 32 names no flag.
const char kAllFlags[] = "<ClientSetup requestFlags='-1'/>";
const char kHighFlags[] = "<ClientSetup requestFlags='17592186044416'/>";

const ReaderRow kRows[] = {
    {"BuiltinCertBit", "<ClientSetup requestFlags='4096'/>", Reads<>(ON(IsBuiltinCertUsed)), "true", ""},
    {"BuiltinCertAboveLow32", kHighFlags, Reads<>(ON(IsBuiltinCertUsed)), "false", ""},
    {"ClientInstallBit", "<ClientSetup requestFlags='16777216'/>", Reads<>(ON(IsClientInstallRequest)), "true", ""},
    {"ClientInstallOtherBits", "<ClientSetup requestFlags='-16777217'/>", Reads<>(ON(IsClientInstallRequest)), "false", ""},
    {"AsyncBit", kAllFlags, Reads<>(ON(IsAsyncRequest)), "true", ""},
    {"AsyncAbsent", "<ClientSetup/>", Reads<>(ON(IsAsyncRequest)), "false", ""},
    {"AsyncNullRequest", nullptr, Reads<>(ON(IsAsyncRequest)), "false", ""},
    {"AutoRegisteredBit", "<ClientSetup requestFlags='131072'/>", Reads<>(ON(IsAutoRegisteredClient)), "true", ""},
    {"AutoRegisteredOtherBit", "<ClientSetup requestFlags='8192'/>", Reads<>(ON(IsAutoRegisteredClient)), "false", ""},
    {"OperationTypeLow32Bits", kHeader, Reads<Op>(ON(GetOperationType)), "0", "20"},
    {"OperationTypeAbsent", kHollow, Reads<Op>(ON(GetOperationType)), "-1", "untouched"},
    {"UserIdSignExtended", kHeader, Reads<U>(ON(GetUserID)), "0", "18446744073709551615"},
    {"UserWithoutUserId", kHollow, Reads<U>(ON(GetUserID)), "-1", "untouched"},
    {"UpgradeModeTwoIsTrue", kHeader, Reads<bool>(ON(GetUpgradeMode)), "0", "true"},
    {"UserAuthenticationZeroIsWrittenFalse", kHeader, Reads<bool>(ON(IsUserAuthenticationRequested)), "0", "false"},
    {"ClientOperationTypeOfIndex", kHeader, Reads<Op>(AT(GetClientOperationType, 1)), "0", "20"},
    {"JobIdWhole64Bits", kHeader, Reads<>(ON(GetJobId)), "1099511627776", ""},
    {"RequestFlagsWhole64Bits", kHeader, Reads<>(ON(GetRequestFlags)), "-4294963200", ""},
    {"ErrorCodeRequestLevelZeroWins", kTopZero, kCode, "0", ""},
    {"InfoRequestLevelZeroWins", kTopZero, kInfo, "0", "0 | done"},
    {"ErrorCodeSkipsBlockWithoutCode", kTopWithoutCode, kCode, "5", ""},
    {"InfoBlockWithoutCodeHidesEntry0", kTopWithoutCode, kInfo, "-1", "untouched | untouched"},
    {"InfoEntry0WithoutTextIsEmpty", kEntryOnly, kInfo, "0", "7 | (empty)"},
    {"ErrorCodeNeverReadsEntry1", kSecondOnly, kCode, "-1", ""},
    {"InfoNeverReadsEntry1", kSecondOnly, kInfo, "-1", "untouched | untouched"},
    {"ErrorCodeNullRequest", nullptr, kCode, "-1", ""},
    {"StatusWithoutTextLeavesText", kEntryOnly, Reads<U, S>(AT(GetClientStatus, 0)), "0", "7 | untouched"},
    {"StatusEntryWithoutCode", kSecondOnly, Reads<U, S>(OF(GetClientStatus, 0)), "-1", "untouched | untouched"},
    {"PortAboveIntMaxIsLow32Signed", kConnect, Reads<int>(AT(GetClientZUDPort, 0)), "0", "-2147483648"},
    {"PortWithoutClientResetsPortToZero", kConnect, Reads<int>(OF(GetClientZUDPort, 2)), "-1", "0"},
    {"ClientPassword", kConnect, Reads<S>(AT(GetClientPassword, 0)), "0", "V8:abc"},
    {"ClientPasswordAbsent", kHollow, Reads<S>(AT(GetClientPassword, 0)), "-1", "untouched"},
    {"AuthCode", kConnect, Reads<S>(ON(GetOrganizationAuthcode)), "0", "7F3K"},
    {"AuthCodeAbsentIsSuccessUntouched", kHollow, Reads<S>(ON(GetOrganizationAuthcode)), "0", "untouched"},
    {"AuthCodeNullRequest", nullptr, Reads<S>(ON(GetOrganizationAuthcode)), "-1", "untouched"},
    {"DXIdLow32Bits", kConnect, Reads<int>(ON(GetDXID)), "0", "-1"},
    {"ConnectionUrlEmptyIsWrittenAndFails", kConnect, Reads<S>(ON(GetConnectionUrl)), "-1", "(empty)"},
    {"FirewallBlockEmptyIsWrittenAndFails", kConnect, Reads<S>(ON(GetiFirewallConfigBlock)), "-1", "(empty)"},
    {"FailoverOnlyFlag", kConnect, Reads<S, S, bool>(AT(GetFailoverDX, 0)), "0", "untouched | untouched | true"},
    {"FailoverWithoutFlagWritesFalse", kConnect, Reads<S, S, bool>(OF(GetFailoverDX, 1)), "0", "dx02 | (empty) | false"},
    {"FailoverWithoutBlock", kConnect, Reads<S, S, bool>(AT(GetFailoverDX, 2)), "-1", "untouched | untouched | untouched"},
    {"AccountDomainBackslashUser", kDomainUser.c_str(), kAccount, "0", "CORP\\svc | V8:pw"},
    {"AccountEmptyDomainIsUserAlone", kEmptyDomain.c_str(), kAccount, "0", "svc | V8:pw"},
    {"AccountEmptyUserFails", kEmptyUser.c_str(), kAccount, "-1", "untouched | untouched"},
    {"AccountWithoutPasswordIsEmpty", kNoPassword.c_str(), kAccount, "0", "CORP\\svc | (empty)"},
};

INSTANTIATE_TEST_SUITE_P(Request, ReaderTable, ::testing::ValuesIn(kRows), RowName);

// Bits above 32 of the old value are dropped, not kept; the result is sign-extended.
TEST(RequestFlags, UpdateAddsBitsToTheLow32) {
  const struct { const char* xml; int flags; long long stored; } cases[] = {
      {"<ClientSetup/>", 0, 0}, {"<ClientSetup requestFlags='524288'/>", 0x80000, 0x80000},
      {"<ClientSetup requestFlags='-4294963200'/>", 0x80000, 0x81000},
      {"<ClientSetup requestFlags='4096'/>", static_cast<int>(0x80000000u), -2147479552LL}};
  for (const auto& c : cases) {
    auto request = Parse(c.xml);
    ASSERT_EQ(UpdateRequestFlags(request.get(), c.flags), 0) << c.xml;
    EXPECT_TRUE(request->isSet(ClientSetup::requestFlags)) << c.xml;
    EXPECT_EQ(GetRequestFlags(request.get()), c.stored) << c.xml;
  }
  EXPECT_EQ(UpdateRequestFlags(nullptr, 1), -1);
}

TEST(ClearSIMError, ResetsPresentCodesOfRequestAndEntry0OnlyAndCreatesNothing) {
  auto request = Parse(R"(<ClientSetup><errorInfo errorCode="3" errorMessage="top"/><clientComposition><errorInfo
    errorCode="5"/></clientComposition><clientComposition><errorInfo errorCode="6"/></clientComposition></ClientSetup>)");
  EXPECT_EQ(ClearSIMError(request.get()), 0);
  EXPECT_EQ(Xml(*request), R"(<ClientSetup><clientComposition><errorInfo errorCode="0"/></clientComposition>)"
                           R"(<clientComposition><errorInfo errorCode="6"/></clientComposition><errorInfo errorCode="0")"
                           R"( errorMessage="top"/></ClientSetup>)");
  request = Parse(R"(<ClientSetup><errorInfo/><clientComposition><errorInfo/></clientComposition></ClientSetup>)");
  EXPECT_EQ(ClearSIMError(request.get()), 0);
  EXPECT_EQ(Xml(*request), R"(<ClientSetup><clientComposition><errorInfo/></clientComposition><errorInfo/></ClientSetup>)");
  EXPECT_EQ(ClearSIMError(nullptr), -1);
}

}  // namespace
}  // namespace xutest
