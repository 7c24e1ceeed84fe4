// Roles, virtual-machine facts, shared install location, appliance, role
// properties and the central server's metrics settings.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

using namespace XmlUtils;
using ZUInstallManager::SILType;

const char kRoles[] = R"(<ClientSetup>
  <clientComposition applianceClient="0">
    <clientInfo><clientProps virtualDiscovered="0" vmInstanceId="4294967301"/></clientInfo>
    <roles laptopBackupRole="0" networkProxyRole="0" customRolesProp=""/>
    <components><subclientPolicySettings laptopBackup="1"/>
      <dalvexMetrics surveyUrl2="https://m/b" metricsReportingFlag="0"/></components>
    <sharedInstallLocation silType="2"/>
  </clientComposition>
  <clientComposition applianceClient="4294967296">
    <clientInfo><clientProps virtualDiscovered="4294967296"/></clientInfo>
    <roles laptopBackupRole="0" networkProxyRole="1" customRolesProp="props-1"/>
    <components><subclientPolicySettings laptopBackup="0"/><dalvexMetrics metricsReportingFlag="1"/></components>
    <sharedInstallLocation silType="7" path=""/>
  </clientComposition>
  <clientComposition>
    <roles laptopBackupRole="1"/>
    <components><dalvexMetrics surveyUrl1="" surveyUrl2="https://m/b"/></components>
    <sharedInstallLocation path="\\share"/>
  </clientComposition>
  <installOptions restoreOnlyAgentsMode="0" rolesManagerProperties=""/>
</ClientSetup>)";

const char kEntry0Roles[] = R"(<ClientSetup>
  <clientComposition><roles networkProxyRole="-1" customRolesProp="props-0"/></clientComposition>
  <installOptions restoreOnlyAgentsMode="3" rolesManagerProperties="rm"/>
</ClientSetup>)";

const char kVmOfEntry1[] = R"(<ClientSetup>
  <clientComposition><clientInfo><clientProps virtualDiscovered="1"/></clientInfo></clientComposition>
  <clientComposition><clientInfo><clientProps vmInstanceId="9"/></clientInfo></clientComposition>
</ClientSetup>)";

const char kBare[] = "<ClientSetup><clientComposition><clientInfo/><components/></clientComposition></ClientSetup>";

using S = std::string;

const auto kProxy = Reads<bool>(ON(GetNetworkProxyRole));
const auto kCustom = Reads<S>(ON(GetCustomRolesProp));
const auto kRestoreOnly = Reads<bool>(ON(GetRestoreOnlyAgentsMode));
const auto kRolesManager = Reads<S>(ON(GetRolesManagerProperties));
const auto kVmId = Reads<unsigned int>(ON(GetVMInstanceID));

const ReaderRow kRows[] = {
    {"ProxyRoleOfEntry1IsNotRead", kRoles, kProxy, "-1", "untouched"},
    {"ProxyRoleAnyNonZero", kEntry0Roles, kProxy, "0", "true"},
    {"ProxyRoleWithoutRoles", kBare, kProxy, "-1", "untouched"},
    {"LaptopRoleZeroDoesNotVetoSubclientSetting", kRoles, Reads<bool>(AT(GetLaptopBackupRole, 0)), "0", "true"},
    {"LaptopRoleBothZeroNeverWritesFalse", kRoles, Reads<bool>(AT(GetLaptopBackupRole, 1)), "-1", "untouched"},
    {"LaptopRoleFromRoles", kRoles, Reads<bool>(AT(GetLaptopBackupRole, 2)), "0", "true"},
    {"LaptopRolePastLastEntry", kRoles, Reads<bool>(AT(GetLaptopBackupRole, 3)), "-1", "untouched"},
    {"LaptopRoleNothingStored", kBare, Reads<bool>(AT(GetLaptopBackupRole, 0)), "-1", "untouched"},
    {"VirtualZero", kRoles, Reads<>(AT(IsVirtualDiscoveredClient, 0)), "false", ""},
    {"VirtualAboveLow32IsTrue", kRoles, Reads<>(AT(IsVirtualDiscoveredClient, 1)), "true", ""},
    {"VirtualWithoutClientInfo", kRoles, Reads<>(AT(IsVirtualDiscoveredClient, 2)), "false", ""},
    {"VirtualPastLastEntry", kRoles, Reads<>(AT(IsVirtualDiscoveredClient, 3)), "false", ""},
    {"VmInstanceIdLow32Bits", kRoles, kVmId, "0", "5"},
    {"VmInstanceIdNotReadFromEntry1", kVmOfEntry1, kVmId, "-1", "untouched"},
    {"VmInstanceIdWithoutClientInfo", kEntry0Roles, kVmId, "-1", "untouched"},
    {"LocationTypeWithoutPathWritesType", kRoles, Reads<SILType, S>(OF(GetSharedInstallLocation, 0)), "-1",
     "2 | untouched"},
    {"LocationEmptyPathIsSuccess", kRoles, Reads<SILType, S>(OF(GetSharedInstallLocation, 1)), "0", "7 | (empty)"},
    {"LocationPathWithoutType", kRoles, Reads<SILType, S>(OF(GetSharedInstallLocation, 2)), "-1",
     "untouched | untouched"},
    {"LocationAbsent", kBare, Reads<SILType, S>(OF(GetSharedInstallLocation, 0)), "-1", "untouched | untouched"},
    {"ApplianceZeroIsWrittenFalse", kRoles, Reads<bool>(OF(GetApplianceClient, 0)), "0", "false"},
    {"ApplianceAboveLow32IsTrue", kRoles, Reads<bool>(OF(GetApplianceClient, 1)), "0", "true"},
    {"ApplianceAbsent", kRoles, Reads<bool>(OF(GetApplianceClient, 2)), "-1", "untouched"},
    {"CustomRolesEmptyLeavesOutput", kRoles, kCustom, "-1", "untouched"},
    {"CustomRolesOfEntry0", kEntry0Roles, kCustom, "0", "props-0"},
    {"RestoreOnlyZeroIsWrittenFalse", kRoles, kRestoreOnly, "0", "false"},
    {"RestoreOnlyNonZero", kEntry0Roles, kRestoreOnly, "0", "true"},
    {"RestoreOnlyWithoutOptions", kBare, kRestoreOnly, "-1", "untouched"},
    {"RolesManagerEmptyIsWrittenAndFails", kRoles, kRolesManager, "-1", "(empty)"},
    {"RolesManager", kEntry0Roles, kRolesManager, "0", "rm"},
    {"RolesManagerWithoutOptions", kBare, kRolesManager, "-1", "untouched"},
    {"MetricsFlagZeroIsWrittenFalse", kRoles, Reads<bool>(OF_COMPONENTS(GetDalvexMetricsReportingFlag, 0)), "0",
     "false"},
    {"MetricsFlag", kRoles, Reads<bool>(OF_COMPONENTS(GetDalvexMetricsReportingFlag, 1)), "0", "true"},
    {"MetricsFlagAbsent", kRoles, Reads<bool>(OF_COMPONENTS(GetDalvexMetricsReportingFlag, 2)), "-1", "untouched"},
    {"MetricsFlagWithoutComponents", kRoles, Reads<bool>(OF_COMPONENTS(GetDalvexMetricsReportingFlag, 3)), "-1",
     "untouched"},
    {"SurveyOnlySecond", kRoles, Reads<S, S>(OF_COMPONENTS(GetDalvexSurveyURLs, 0)), "0", "untouched | https://m/b"},
    {"SurveyNeither", kRoles, Reads<S, S>(OF_COMPONENTS(GetDalvexSurveyURLs, 1)), "-1", "untouched | untouched"},
    {"SurveyEmptyFirstIsWritten", kRoles, Reads<S, S>(OF_COMPONENTS(GetDalvexSurveyURLs, 2)), "0",
     "(empty) | https://m/b"},
    {"SurveyWithoutMetrics", kBare, Reads<S, S>(OF_COMPONENTS(GetDalvexSurveyURLs, 0)), "-1", "untouched | untouched"},
};

INSTANTIATE_TEST_SUITE_P(Roles, ReaderTable, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace xutest
