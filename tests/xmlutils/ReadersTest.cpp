// Readers: header values, response codes and texts, connection facts, the
// login account, and one entry's identity, release and patch level, policies,
// plans, groups, roles and environment.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

// Requests kept in tests/data, each described there.
const S kHeader = Data("readers-header"), kConnect = Data("readers-connect"),
        kTopWithoutCode = Data("readers-top-without-code"), kEntryOnly = Data("readers-entry-only"),
        kTwoClients = Data("readers-two-clients"), kSiblings = Data("readers-siblings"),
        kVersions = Data("readers-versions"), kPolicies = Data("readers-policies"), kRoles = Data("readers-roles"),
        kEntry0Roles = Data("readers-entry0-roles");

const auto kCode = Reads<>(ON(GetResponseErrorCode));
const auto kInfo = Reads<U, S>(ON(GetResponseInfo));
const auto kAccount = Reads<S, S>(ON(GetUserAccountToLogin));
const auto kAccountAsBoth = Reads<S>([](Req r, S& both) { return GetUserAccountToLogin(r, both, both); });
const auto kCount = Reads<int>(ON(GetComponentCount));
const auto kAuthCode = Reads<S>(ON(GetOrganizationAuthcode));
const auto kRestoreOnly = Reads<bool>(AT(IsRestoreOnlyClient, 0));

const auto kFullVersion = Reads<S, int, S, int, int, int>(AT(GetClientSPFullVersion, 0));
const auto kFullVersion1 = Reads<S, int, S, int, int, int>(AT(GetClientSPFullVersion, 1));
const auto Loc = [](auto call) { return Reads<ZUInstallManager::SILType, S>(call); };

// Each predicate tests its own bit of the low 32: 0x1000 << 32 names no flag.
const char kAllFlags[] = "<ClientSetup requestFlags='-1'/>";
const char kHighFlags[] = "<ClientSetup requestFlags='17592186044416'/>";

const ReaderRow kRows[] = {
    {"BuiltinCertBit", "<ClientSetup requestFlags='4096'/>", Reads<>(ON(IsBuiltinCertUsed)), "true", ""},
    {"BuiltinCertAboveLow32", kHighFlags, Reads<>(ON(IsBuiltinCertUsed)), "false", ""},
    {"ClientInstallBit", "<ClientSetup requestFlags='16777216'/>", Reads<>(ON(IsClientInstallRequest)), "true", ""},
    {"AsyncBit", kAllFlags, Reads<>(ON(IsAsyncRequest)), "true", ""},
    {"AutoRegisteredBit", "<ClientSetup requestFlags='131072'/>", Reads<>(ON(IsAutoRegisteredClient)), "true", ""},
    {"OperationTypeLow32Bits", kHeader, Reads<ZUInstallManager::SIMOperationType>(ON(GetOperationType)), "0", "20"},
    {"UserIdSignExtended", kHeader, Reads<U>(ON(GetUserID)), "0", "18446744073709551615"},
    {"UpgradeModeTwoIsTrue", kHeader, Reads<bool>(ON(GetUpgradeMode)), "0", "true"},
    {"UserAuthenticationZeroIsWrittenFalse", kHeader, Reads<bool>(ON(IsUserAuthenticationRequested)), "0", "false"},
    {"JobIdWhole64Bits", kHeader, Reads<>(ON(GetJobId)), "1099511627776", ""},
    // The request-level code 0 wins over entry 0's 5.
    {"ErrorCodeTopZeroWins", Entry0("<errorInfo errorCode='5'/>", "<ClientSetup><errorInfo errorCode='0'/>"), kCode,
     "0", ""},
    {"ErrorCodeSkipsBlockWithoutCode", kTopWithoutCode, kCode, "5", ""},
    {"InfoBlockWithoutCodeHidesEntry0", kTopWithoutCode, kInfo, "-1", "untouched | untouched"},
    {"InfoEntry0WithoutTextIsEmpty", kEntryOnly, kInfo, "0", "7 | (empty)"},
    {"ErrorCodeNeverReadsEntry1", Two("", "<errorInfo errorCode='9'/>"), kCode, "-1", ""},
    {"ErrorCodeNullRequest", "", kCode, "-1", ""},
    {"StatusWithoutTextLeavesText", kEntryOnly, Reads<U, S>(AT(GetClientStatus, 0)), "0", "7 | untouched"},
    {"StatusWithoutCodeFails", Entry0("<errorInfo errorMessage='x'/>"), Reads<U, S>(AT(GetClientStatus, 0)), "-1",
     "untouched | untouched"},
    {"PortAboveIntMaxIsLow32Signed", kConnect, Reads<int>(AT(GetClientZUDPort, 0)), "0", "-2147483648"},
    {"PortWithoutClientResetsPortToZero", kConnect, Reads<int>(OF(GetClientZUDPort, 2)), "-1", "0"},
    {"ClientPassword", kConnect, Reads<S>(AT(GetClientPassword, 0)), "0", "V8:abc"},
    {"AuthCode", kConnect, kAuthCode, "0", "7F3K"},
    {"AuthCodeNullRequest", "", kAuthCode, "-1", "untouched"},
    {"AuthCodeAbsentIsSuccessUntouched", "<ClientSetup><organizationInfo/></ClientSetup>", kAuthCode, "0", "untouched"},
    {"DXIdLow32Bits", kConnect, Reads<int>(ON(GetDXID)), "0", "-1"},
    {"ConnectionUrlEmptyIsWrittenAndFails", kConnect, Reads<S>(ON(GetConnectionUrl)), "-1", "(empty)"},
    {"FailoverOnlyFlag", kConnect, Reads<S, S, bool>(AT(GetFailoverDX, 0)), "0", "untouched | untouched | true"},
    {"FailoverWithoutFlagWritesFalse", kConnect, Reads<S, S, bool>(OF(GetFailoverDX, 1)), "0",
     "dx02 | (empty) | false"},
    // One string as both outputs: second is written before first, so it ends with failoverValue1.
    {"FailoverOneStringAsBoth", kConnect,
     Reads<S, bool>([](Req r, S& both, bool& flag) { return GetFailoverDX(r, 1, both, both, flag); }), "0",
     "dx02 | false"},
    {"AccountDomainBackslashUser", WithAccount(R"(userName="svc" password="V8:pw" domainName="CORP")"), kAccount, "0",
     "CORP\\svc | V8:pw"},
    {"AccountEmptyDomainIsUserAlone", WithAccount(R"(userName="svc" password="V8:pw" domainName="")"), kAccount, "0",
     "svc | V8:pw"},
    {"AccountEmptyUserFails", WithAccount(R"(userName="" password="V8:pw" domainName="CORP")"), kAccount, "-1",
     "untouched | untouched"},
    {"AccountWithoutPasswordIsEmpty", WithAccount(R"(userName="svc" domainName="CORP")"), kAccount, "0",
     "CORP\\svc | (empty)"},
    // One string as both outputs: the password is emptied first, so without one stored the account stays.
    {"AccountOneStringAsBoth", WithAccount(R"(userName="svc" domainName="CORP")"), kAccountAsBoth, "0", "CORP\\svc"},
    {"AccountOneStringAsBothTakesPassword", WithAccount(R"(userName="svc" password="V8:pw")"), kAccountAsBoth, "0",
     "V8:pw"},
    {"ClientNameOfIndex", kTwoClients, Reads<S>(AT(GetClientName, 1)), "0", "app01"},
    {"ClientNameNotTakenFromSiblingEntities", kSiblings, Reads<S>(OF(GetClientName, 0)), "-1", "untouched"},
    {"DXHostNameNoFallbackToName", kSiblings, Reads<S>(ON(GetDXHostName)), "-1", "untouched"},
    {"ClientGuid", kTwoClients, Reads<S>(AT(GetClientGUID, 0)), "0", "GUID-1"},
    {"ClientGuidEmptyIsWrittenAndFails", kTwoClients, Reads<S>(AT(GetClientGUID, 1)), "-1", "(empty)"},
    {"ClientId", kTwoClients, Reads<U>(OF(GetClientID, 0)), "0", "1001"},
    {"UserCentricClientSignExtended", kTwoClients, Reads<U>(AT(GetUserCentricClient, 0)), "0", "18446744073709551615"},
    {"ActivateDetailsReadsEntry0Only", kTwoClients, Reads<S>(ON(GetActivateClientDetails)), "0", "details-0"},
    {"UpdatedClientNames", kTwoClients, Reads<S>(ON(GetUpdatedClientNames)), "true", "web01"},
    {"UpdatedClientNamesFlagClear",
     Entry0("<clientInfo><client><clientEntity clientName='web01'/></client></clientInfo>",
            "<ClientSetup requestFlags='4096'>"),
     Reads<S>(ON(GetUpdatedClientNames)), "false", "untouched"},
    {"OsOnlyDetail", kVersions, Reads<S, S>(AT(GetClientOS, 0)), "0", "(empty) | Debian 12 x86_64"},
    {"SPFullVersionFillsAbsentValues", kVersions, kFullVersion, "0", "(empty) | 0 | (empty) | 0 | 14 | 0"},
    {"SPFullVersionLow32Bits", kVersions, kFullVersion1, "0", "(empty) | -1 | 32 | 0 | -5 | -2147483648"},
    {"StoragePolicyWithoutNameIsEmptySuccess", kPolicies, Reads<S>(OF(GetStoragePolicy, 1)), "0", "(empty)"},
    {"SubclientPolicyWithoutNameFails", kPolicies, Reads<S>(AT(GetSubclientPolicy, 1)), "-1", "untouched"},
    {"GroupIsTheFirstOnly", kPolicies, Reads<S>(AT(GetClientGroup, 0)), "0", "databases"},
    {"GroupFirstWithoutNameFails", kPolicies, Reads<S>(OF(GetClientGroup, 1)), "-1", "untouched"},
    {"PlanIdLow32Bits", kPolicies, Reads<int, S>(OF(GetSubclientPlan, 0)), "0", "-1 | daily"},
    // The count is entry 0's, of a present list.
    {"CountIsEntry0s", Two("", "<components><packages/></components>"), kCount, "-1", "untouched"},
    {"CountOfPackages", WithPackages("<packages/><packages/>"), kCount, "0", "2"},
    // Restore only when every package has mode 0; cleared first, whatever the outcome.
    {"RestoreOnlyAllModeZero", WithPackages("<packages packageId='1' packageMode='0'/><packages packageMode='0'/>"),
     kRestoreOnly, "0", "true"},
    {"RestoreOnlyOneWithoutMode", WithPackages("<packages packageMode='0'/><packages packageId='2'/>"), kRestoreOnly,
     "0", "false"},
    {"RestoreOnlyWhole64BitMode", WithPackages("<packages packageMode='4294967296'/>"), kRestoreOnly, "0", "false"},
    {"RestoreOnlyNoComponents", "<ClientSetup><clientComposition/></ClientSetup>", kRestoreOnly, "-1", "false"},
    {"RestoreOnlyNoEntry", WithPackages(""), Reads<bool>(AT(IsRestoreOnlyClient, 1)), "-1", "false"},
    {"ProxyRoleOfEntry1IsNotRead", kRoles, Reads<bool>(ON(GetNetworkProxyRole)), "-1", "untouched"},
    {"ProxyRoleAnyNonZero", kEntry0Roles, Reads<bool>(ON(GetNetworkProxyRole)), "0", "true"},
    {"LaptopRoleZeroDoesNotVetoSubclientSetting", kRoles, Reads<bool>(AT(GetLaptopBackupRole, 0)), "0", "true"},
    {"LaptopRoleBothZeroNeverWritesFalse", kRoles, Reads<bool>(AT(GetLaptopBackupRole, 1)), "-1", "untouched"},
    {"VirtualAboveLow32IsTrue", kRoles, Reads<>(AT(IsVirtualDiscoveredClient, 1)), "true", ""},
    {"VmInstanceIdLow32Bits", kRoles, Reads<unsigned>(ON(GetVMInstanceID)), "0", "5"},
    {"LocationTypeWithoutPathWritesType", kRoles, Loc(OF(GetSharedInstallLocation, 0)), "-1", "2 | untouched"},
    {"LocationEmptyPathIsSuccess", kRoles, Loc(OF(GetSharedInstallLocation, 1)), "0", "7 | (empty)"},
    {"LocationWithoutTypeFails", Entry0("<sharedInstallLocation path='p'/>"), Loc(OF(GetSharedInstallLocation, 0)),
     "-1", "untouched | untouched"},
    {"RolesManager", kEntry0Roles, Reads<S>(ON(GetRolesManagerProperties)), "0", "rm"},
    {"MetricsFlagZeroIsWrittenFalse", kRoles, Reads<bool>(OF_COMPONENTS(GetDalvexMetricsReportingFlag, 0)), "0",
     "false"},
    {"SurveyOnlySecond", kRoles, Reads<S, S>(OF_COMPONENTS(GetDalvexSurveyURLs, 0)), "0", "untouched | https://m/b"},
    {"SurveyNeither", kRoles, Reads<S, S>(OF_COMPONENTS(GetDalvexSurveyURLs, 1)), "-1", "untouched | untouched"},
    {"SurveyEmptyFirstIsWritten", kRoles, Reads<S, S>(OF_COMPONENTS(GetDalvexSurveyURLs, 2)), "0",
     "(empty) | https://m/b"}};

// That readers never change the request is the fuzz corpus replay's to show, over these same requests.
TEST(Readers, LeaveResultAndOutputs) {
  for (const ReaderRow& row : kRows) {
    const Observation seen = row.read(row.xml.empty() ? nullptr : Parse(row.xml).get());
    EXPECT_EQ(seen.result + " / " + seen.outputs, S(row.result) + " / " + row.outputs) << row.name;
  }
}

}  // namespace
}  // namespace xutest
