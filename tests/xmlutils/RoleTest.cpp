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

const auto kLaptop = [](unsigned long index) {
  return Reads<bool>([index](Req r, bool& a) { return GetLaptopBackupRole(r, index, a); });
};
const auto kVirtual = [](unsigned long index) {
  return Reads<>([index](Req r) { return IsVirtualDiscoveredClient(r, index); });
};
const auto kLocation = [](unsigned long index) {
  return Reads<SILType, S>(
      [index](Req r, SILType& a, S& b) { return GetSharedInstallLocation(GetClientComposition(r, index), a, b); });
};
const auto kAppliance = [](unsigned long index) {
  return Reads<bool>([index](Req r, bool& a) { return GetApplianceClient(GetClientComposition(r, index), a); });
};
const auto kMetricsFlag = [](unsigned long index) {
  return Reads<bool>([index](Req r, bool& a) {
    return GetDalvexMetricsReportingFlag(GetComponents(GetClientComposition(r, index)), a);
  });
};
const auto kSurvey = [](unsigned long index) {
  return Reads<S, S>(
      [index](Req r, S& a, S& b) { return GetDalvexSurveyURLs(GetComponents(GetClientComposition(r, index)), a, b); });
};
const auto kProxy = Reads<bool>([](Req r, bool& a) { return GetNetworkProxyRole(r, a); });
const auto kCustom = Reads<S>([](Req r, S& a) { return GetCustomRolesProp(r, a); });
const auto kRestoreOnly = Reads<bool>([](Req r, bool& a) { return GetRestoreOnlyAgentsMode(r, a); });
const auto kRolesManager = Reads<S>([](Req r, S& a) { return GetRolesManagerProperties(r, a); });
const auto kVmId = Reads<unsigned int>([](Req r, unsigned int& a) { return GetVMInstanceID(r, a); });

const ReaderRow kRows[] = {
    {"ProxyRoleOfEntry1IsNotRead", kRoles, kProxy, "-1", "untouched"},
    {"ProxyRoleAnyNonZero", kEntry0Roles, kProxy, "0", "true"},
    {"ProxyRoleWithoutRoles", kBare, kProxy, "-1", "untouched"},
    {"LaptopRoleZeroDoesNotVetoSubclientSetting", kRoles, kLaptop(0), "0", "true"},
    {"LaptopRoleBothZeroNeverWritesFalse", kRoles, kLaptop(1), "-1", "untouched"},
    {"LaptopRoleFromRoles", kRoles, kLaptop(2), "0", "true"},
    {"LaptopRolePastLastEntry", kRoles, kLaptop(3), "-1", "untouched"},
    {"LaptopRoleNothingStored", kBare, kLaptop(0), "-1", "untouched"},
    {"VirtualZero", kRoles, kVirtual(0), "false", ""},
    {"VirtualAboveLow32IsTrue", kRoles, kVirtual(1), "true", ""},
    {"VirtualWithoutClientInfo", kRoles, kVirtual(2), "false", ""},
    {"VirtualPastLastEntry", kRoles, kVirtual(3), "false", ""},
    {"VmInstanceIdLow32Bits", kRoles, kVmId, "0", "5"},
    {"VmInstanceIdNotReadFromEntry1", kVmOfEntry1, kVmId, "-1", "untouched"},
    {"VmInstanceIdWithoutClientInfo", kEntry0Roles, kVmId, "-1", "untouched"},
    {"LocationTypeWithoutPathWritesType", kRoles, kLocation(0), "-1", "2 | untouched"},
    {"LocationEmptyPathIsSuccess", kRoles, kLocation(1), "0", "7 | (empty)"},
    {"LocationPathWithoutType", kRoles, kLocation(2), "-1", "untouched | untouched"},
    {"LocationAbsent", kBare, kLocation(0), "-1", "untouched | untouched"},
    {"ApplianceZeroIsWrittenFalse", kRoles, kAppliance(0), "0", "false"},
    {"ApplianceAboveLow32IsTrue", kRoles, kAppliance(1), "0", "true"},
    {"ApplianceAbsent", kRoles, kAppliance(2), "-1", "untouched"},
    {"CustomRolesEmptyLeavesOutput", kRoles, kCustom, "-1", "untouched"},
    {"CustomRolesOfEntry0", kEntry0Roles, kCustom, "0", "props-0"},
    {"RestoreOnlyZeroIsWrittenFalse", kRoles, kRestoreOnly, "0", "false"},
    {"RestoreOnlyNonZero", kEntry0Roles, kRestoreOnly, "0", "true"},
    {"RestoreOnlyWithoutOptions", kBare, kRestoreOnly, "-1", "untouched"},
    {"RolesManagerEmptyIsWrittenAndFails", kRoles, kRolesManager, "-1", "(empty)"},
    {"RolesManager", kEntry0Roles, kRolesManager, "0", "rm"},
    {"RolesManagerWithoutOptions", kBare, kRolesManager, "-1", "untouched"},
    {"MetricsFlagZeroIsWrittenFalse", kRoles, kMetricsFlag(0), "0", "false"},
    {"MetricsFlag", kRoles, kMetricsFlag(1), "0", "true"},
    {"MetricsFlagAbsent", kRoles, kMetricsFlag(2), "-1", "untouched"},
    {"MetricsFlagWithoutComponents", kRoles, kMetricsFlag(3), "-1", "untouched"},
    {"SurveyOnlySecond", kRoles, kSurvey(0), "0", "untouched | https://m/b"},
    {"SurveyNeither", kRoles, kSurvey(1), "-1", "untouched | untouched"},
    {"SurveyEmptyFirstIsWritten", kRoles, kSurvey(2), "0", "(empty) | https://m/b"},
    {"SurveyWithoutMetrics", kBare, kSurvey(0), "-1", "untouched | untouched"},
};

INSTANTIATE_TEST_SUITE_P(Roles, ReaderTable, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace xutest
