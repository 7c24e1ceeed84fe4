// Readers of one client entry: identity, release and patch level, policies,
// plans, groups, roles and the environment.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

using ZUInstallManager::SILType;

// Two entries that differ in every identity fact, so that reading the wrong entry shows.
const char kTwoClients[] = R"(<ClientSetup requestFlags="8192">
  <dxInfo><dxClient clientId="2" clientName="dx01" hostName="dx01.example.com" clientGUID="DX-GUID"/></dxInfo>
  <clientComposition><clientInfo><client><clientEntity clientId="1001" clientName="web01" hostName="web01.example.com"
    clientGUID="GUID-1" sourceClientName="web-template"/></client></clientInfo>
    <activateClientInfo activateClientDetails="details-0"><userCentricClient clientId="4294967295"/></activateClientInfo>
  </clientComposition><clientComposition><clientInfo><client><clientEntity clientId="4294967295" clientName="app01"
    hostName="" clientGUID=""/></client></clientInfo><activateClientInfo><userCentricClient clientName="laptop"/>
  </activateClientInfo></clientComposition></ClientSetup>)";
// Every fact sits one link away from where the readers look for it.
const char kSiblings[] = R"(<ClientSetup requestFlags="8192"><dxInfo><dxClient clientName="dx01" clientGUID=""/></dxInfo>
  <clientComposition><clientInfo><client><clientEntity hostName="web01.example.com"/></client></clientInfo>
    <activateClientInfo><userCentricClient clientId="7" clientName="laptop" sourceClientName="tmpl"/></activateClientInfo>
  </clientComposition></ClientSetup>)";
const char kNamedFlagClear[] = R"(<ClientSetup requestFlags="4096"><clientComposition><clientInfo><client><clientEntity
  clientName="web01"/></client></clientInfo></clientComposition></ClientSetup>)";
const char kEmptyDetails[] = R"(<ClientSetup requestFlags="8192"><clientComposition><clientInfo><client><clientEntity
  clientName=""/></client></clientInfo><activateClientInfo activateClientDetails=""/></clientComposition></ClientSetup>)";
const char kVersions[] = R"xml(<ClientSetup><clientComposition><clientInfo><client><osInfo osDetail="Debian 12 x86_64"/>
  <versionInfo><release releaseName=""/></versionInfo></client></clientInfo><patchInformation spNumber3="14"/>
  </clientComposition><clientComposition><clientInfo><client><osInfo osName="Linux" osDetail=""/><versionInfo><release
  releaseName="11.0.0 (B80)"/></versionInfo></client></clientInfo><patchInformation spVersion="" spNumber1="4294967295"
  spText="32" spNumber2="4294967296" spNumber3="-5" spNumber4="2147483648"/></clientComposition>
  <clientComposition><clientInfo><client><versionInfo/></client></clientInfo></clientComposition></ClientSetup>)xml";
const char kPolicies[] = R"(<ClientSetup><clientComposition>
  <clientInfo><clientGroups clientGroupName="databases"/><clientGroups clientGroupName="tier-1"/></clientInfo><components>
  <policySettings><storagePolicy storagePolicyName="sp-gold"/><plan planId="4294967295" planName="daily"/></policySettings>
  <subclientPolicySettings><subclientPolicy subclientPolicyName=""/></subclientPolicySettings></components>
  </clientComposition><clientComposition><clientInfo><clientGroups/><clientGroups clientGroupName="second"/></clientInfo>
  <components><policySettings><storagePolicy/></policySettings><subclientPolicySettings><subclientPolicy/>
  </subclientPolicySettings></components></clientComposition><clientComposition><components><policySettings><plan/>
  </policySettings><subclientPolicySettings><subclientPolicy subclientPolicyName="weekly"/></subclientPolicySettings>
  </components></clientComposition></ClientSetup>)";
const char kRoles[] = R"(<ClientSetup><clientComposition applianceClient="0">
  <clientInfo><clientProps virtualDiscovered="0" vmInstanceId="4294967301"/></clientInfo>
  <roles laptopBackupRole="0" networkProxyRole="0" customRolesProp=""/><components><subclientPolicySettings
  laptopBackup="1"/><dalvexMetrics surveyUrl2="https://m/b" metricsReportingFlag="0"/></components>
  <sharedInstallLocation silType="2"/></clientComposition><clientComposition applianceClient="4294967296">
  <clientInfo><clientProps virtualDiscovered="4294967296"/></clientInfo><roles laptopBackupRole="0" networkProxyRole="1"/>
  <components><subclientPolicySettings laptopBackup="0"/><dalvexMetrics metricsReportingFlag="1"/></components>
  <sharedInstallLocation silType="7" path=""/></clientComposition><clientComposition><roles laptopBackupRole="1"/>
  <components><dalvexMetrics surveyUrl1="" surveyUrl2="https://m/b"/></components></clientComposition>
  <installOptions restoreOnlyAgentsMode="0" rolesManagerProperties=""/></ClientSetup>)";
const char kEntry0Roles[] = R"(<ClientSetup><clientComposition><roles networkProxyRole="-1" customRolesProp="props-0"/>
  </clientComposition><installOptions restoreOnlyAgentsMode="3" rolesManagerProperties="rm"/></ClientSetup>)";

const auto kFullVersion = [](unsigned long index) {
  return Reads<S, int, S, int, int, int>([index](Req r, auto&... out) { return GetClientSPFullVersion(r, index, out...); });
};
const auto Loc = [](auto call) { return Reads<SILType, S>(call); };

const ReaderRow kRows[] = {
    {"ClientNameOfIndex", kTwoClients, Reads<S>(AT(GetClientName, 1)), "0", "app01"},
    {"ClientNameIndexEqualToCount", kTwoClients, Reads<S>(AT(GetClientName, 2)), "-1", "untouched"},
    {"ClientNameNotTakenFromSiblingEntities", kSiblings, Reads<S>(OF(GetClientName, 0)), "-1", "untouched"},
    {"ClientNameEmptyLeavesOutput", kEmptyDetails, Reads<S>(AT(GetClientName, 0)), "-1", "untouched"},
    {"DXHostName", kTwoClients, Reads<S>(ON(GetDXHostName)), "0", "dx01.example.com"},
    {"DXHostNameNoFallbackToName", kSiblings, Reads<S>(ON(GetDXHostName)), "-1", "untouched"},
    {"ClientGuid", kTwoClients, Reads<S>(AT(GetClientGUID, 0)), "0", "GUID-1"},
    {"ClientGuidEmptyIsWrittenAndFails", kTwoClients, Reads<S>(AT(GetClientGUID, 1)), "-1", "(empty)"},
    {"ClientId", kTwoClients, Reads<U>(OF(GetClientID, 0)), "0", "1001"},
    {"UserCentricClientSignExtended", kTwoClients, Reads<U>(AT(GetUserCentricClient, 0)), "0", "18446744073709551615"},
    {"UserCentricClientWithoutIdReadsZero", kTwoClients, Reads<U>(AT(GetUserCentricClient, 1)), "0", "0"},
    {"UserCentricClientWithoutActivation", kNamedFlagClear, Reads<U>(AT(GetUserCentricClient, 0)), "-1", "untouched"},
    {"ActivateDetailsReadsEntry0Only", kTwoClients, Reads<S>(ON(GetActivateClientDetails)), "0", "details-0"},
    {"ActivateDetailsEmptyIsSuccess", kEmptyDetails, Reads<S>(ON(GetActivateClientDetails)), "0", "(empty)"},
    {"UpdatedClientNames", kTwoClients, Reads<S>(ON(GetUpdatedClientNames)), "true", "web01"},
    {"UpdatedClientNamesFlagClear", kNamedFlagClear, Reads<S>(ON(GetUpdatedClientNames)), "false", "untouched"},
    {"ReleaseEmptyLeavesOutput", kVersions, Reads<S>(AT(GetClientReleaseString, 0)), "-1", "untouched"},
    {"OsOnlyDetail", kVersions, Reads<S, S>(AT(GetClientOS, 0)), "0", "(empty) | Debian 12 x86_64"},
    {"SPVersionEmptyIsSuccess", kVersions, Reads<S>(OF(GetClientSPVersion, 1)), "0", "(empty)"},
    {"SPFullVersionFillsAbsentValues", kVersions, kFullVersion(0), "0", "(empty) | 0 | (empty) | 0 | 14 | 0"},
    {"SPFullVersionLow32Bits", kVersions, kFullVersion(1), "0", "(empty) | -1 | 32 | 0 | -5 | -2147483648"},
    {"SPFullVersionWithoutPatchBlock", kVersions, kFullVersion(2), "-1",
     "untouched | untouched | untouched | untouched | untouched | untouched"},
    {"StoragePolicy", kPolicies, Reads<S>(AT(GetStoragePolicy, 0)), "0", "sp-gold"},
    {"StoragePolicyWithoutNameIsEmptySuccess", kPolicies, Reads<S>(OF(GetStoragePolicy, 1)), "0", "(empty)"},
    {"StoragePolicyNotTakenFromSubclientPolicy", kPolicies, Reads<S>(AT(GetStoragePolicy, 2)), "-1", "untouched"},
    {"SubclientPolicyEmptyIsSuccess", kPolicies, Reads<S>(AT(GetSubclientPolicy, 0)), "0", "(empty)"},
    {"SubclientPolicyWithoutNameFails", kPolicies, Reads<S>(AT(GetSubclientPolicy, 1)), "-1", "untouched"},
    {"GroupIsTheFirstOnly", kPolicies, Reads<S>(AT(GetClientGroup, 0)), "0", "databases"},
    {"GroupFirstWithoutNameFails", kPolicies, Reads<S>(OF(GetClientGroup, 1)), "-1", "untouched"},
    {"PlanIdLow32Bits", kPolicies, Reads<int, S>(OF(GetSubclientPlan, 0)), "0", "-1 | daily"},
    {"PlanEmptyWritesZeroAndEmpty", kPolicies, Reads<int, S>(OF_COMPONENTS(GetSubclientPlan, 2)), "0", "0 | (empty)"},
    {"ProxyRoleOfEntry1IsNotRead", kRoles, Reads<bool>(ON(GetNetworkProxyRole)), "-1", "untouched"},
    {"ProxyRoleAnyNonZero", kEntry0Roles, Reads<bool>(ON(GetNetworkProxyRole)), "0", "true"},
    {"LaptopRoleZeroDoesNotVetoSubclientSetting", kRoles, Reads<bool>(AT(GetLaptopBackupRole, 0)), "0", "true"},
    {"LaptopRoleBothZeroNeverWritesFalse", kRoles, Reads<bool>(AT(GetLaptopBackupRole, 1)), "-1", "untouched"},
    {"VirtualAboveLow32IsTrue", kRoles, Reads<>(AT(IsVirtualDiscoveredClient, 1)), "true", ""},
    {"VmInstanceIdLow32Bits", kRoles, Reads<unsigned>(ON(GetVMInstanceID)), "0", "5"},
    {"LocationTypeWithoutPathWritesType", kRoles, Loc(OF(GetSharedInstallLocation, 0)), "-1", "2 | untouched"},
    {"LocationEmptyPathIsSuccess", kRoles, Loc(OF(GetSharedInstallLocation, 1)), "0", "7 | (empty)"},
    {"ApplianceZeroIsWrittenFalse", kRoles, Reads<bool>(OF(GetApplianceClient, 0)), "0", "false"},
    {"CustomRolesEmptyLeavesOutput", kRoles, Reads<S>(ON(GetCustomRolesProp)), "-1", "untouched"},
    {"RestoreOnlyZeroIsWrittenFalse", kRoles, Reads<bool>(ON(GetRestoreOnlyAgentsMode)), "0", "false"},
    {"RolesManagerEmptyIsWrittenAndFails", kRoles, Reads<S>(ON(GetRolesManagerProperties)), "-1", "(empty)"},
    {"RolesManager", kEntry0Roles, Reads<S>(ON(GetRolesManagerProperties)), "0", "rm"},
    {"MetricsFlagZeroIsWrittenFalse", kRoles, Reads<bool>(OF_COMPONENTS(GetDalvexMetricsReportingFlag, 0)), "0", "false"},
    {"SurveyOnlySecond", kRoles, Reads<S, S>(OF_COMPONENTS(GetDalvexSurveyURLs, 0)), "0", "untouched | https://m/b"},
    {"SurveyNeither", kRoles, Reads<S, S>(OF_COMPONENTS(GetDalvexSurveyURLs, 1)), "-1", "untouched | untouched"},
    {"SurveyEmptyFirstIsWritten", kRoles, Reads<S, S>(OF_COMPONENTS(GetDalvexSurveyURLs, 2)), "0", "(empty) | https://m/b"},
};

INSTANTIATE_TEST_SUITE_P(Entry, ReaderTable, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace xutest
