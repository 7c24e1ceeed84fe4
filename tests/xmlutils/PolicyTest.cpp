// Storage and subclient policies, plans, groups, associated clients and their setters.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

using namespace XmlUtils;
using ZUInstallManager::ClientsComposition;
using ZUInstallManager::Components;

const char kPolicies[] = R"(<ClientSetup>
  <clientComposition>
    <clientInfo><clientGroups clientGroupName="databases"/><clientGroups clientGroupName="tier-1"/></clientInfo>
    <components>
      <policySettings><storagePolicy storagePolicyName="sp-gold"/><plan planId="4294967295" planName="daily"/></policySettings>
      <subclientPolicySettings><subclientPolicy subclientPolicyName=""/></subclientPolicySettings>
    </components>
  </clientComposition>
  <clientComposition>
    <clientInfo><clientGroups/><clientGroups clientGroupName="second"/></clientInfo>
    <components>
      <policySettings><storagePolicy/><plan planName="named-only"/></policySettings>
      <subclientPolicySettings laptopBackup="1"><subclientPolicy/></subclientPolicySettings>
    </components>
  </clientComposition>
  <clientComposition>
    <components><policySettings><plan/></policySettings>
      <subclientPolicySettings><subclientPolicy subclientPolicyName="weekly"/></subclientPolicySettings></components>
  </clientComposition>
  <clientComposition><clientInfo/></clientComposition>
</ClientSetup>)";

using S = std::string;

const ReaderRow kRows[] = {
    {"StoragePolicy", kPolicies, Reads<S>(AT(GetStoragePolicy, 0)), "0", "sp-gold"},
    {"StoragePolicyWithoutNameIsEmptySuccess", kPolicies, Reads<S>(AT(GetStoragePolicy, 1)), "0", "(empty)"},
    {"StoragePolicyNotTakenFromSubclientPolicy", kPolicies, Reads<S>(AT(GetStoragePolicy, 2)), "-1", "untouched"},
    {"StoragePolicyWithoutComponents", kPolicies, Reads<S>(AT(GetStoragePolicy, 3)), "-1", "untouched"},
    {"StoragePolicyPastLastEntry", kPolicies, Reads<S>(AT(GetStoragePolicy, 4)), "-1", "untouched"},
    {"StoragePolicyOfComponents", kPolicies, Reads<S>(OF_COMPONENTS(GetStoragePolicy, 0)), "0", "sp-gold"},
    {"SubclientPolicyEmptyIsSuccess", kPolicies, Reads<S>(AT(GetSubclientPolicy, 0)), "0", "(empty)"},
    {"SubclientPolicyWithoutNameFails", kPolicies, Reads<S>(AT(GetSubclientPolicy, 1)), "-1", "untouched"},
    {"SubclientPolicyOfEntry", kPolicies, Reads<S>(OF(GetSubclientPolicy, 2)), "0", "weekly"},
    {"SubclientPolicyWithoutComponents", kPolicies, Reads<S>(AT(GetSubclientPolicy, 3)), "-1", "untouched"},
    {"GroupIsTheFirstOnly", kPolicies, Reads<S>(AT(GetClientGroup, 0)), "0", "databases"},
    {"GroupFirstWithoutNameFails", kPolicies, Reads<S>(AT(GetClientGroup, 1)), "-1", "untouched"},
    {"GroupWithoutList", kPolicies, Reads<S>(AT(GetClientGroup, 3)), "-1", "untouched"},
    {"GroupWithoutClientInfo", kPolicies, Reads<S>(AT(GetClientGroup, 2)), "-1", "untouched"},
    {"PlanIdLow32Bits", kPolicies, Reads<int, S>(OF(GetSubclientPlan, 0)), "0", "-1 | daily"},
    {"PlanOnlyNameReadsIdZero", kPolicies, Reads<int, S>(OF(GetSubclientPlan, 1)), "0", "0 | named-only"},
    {"PlanEmptyWritesZeroAndEmpty", kPolicies, Reads<int, S>(OF(GetSubclientPlan, 2)), "0", "0 | (empty)"},
    {"PlanWithoutComponents", kPolicies, Reads<int, S>(OF(GetSubclientPlan, 3)), "-1", "untouched | untouched"},
};

INSTANTIATE_TEST_SUITE_P(Policies, ReaderTable, ::testing::ValuesIn(kRows), RowName);

TEST(ClientGroup, FirstGroupOfPresentEmptyListFails) {
  auto request = Parse("<ClientSetup><clientComposition><clientInfo/></clientComposition></ClientSetup>");
  ClientsComposition* entry = GetClientComposition(request.get(), 0);
  zumsg::listCreate<App::ClientInfo::clientGroups>(*zumsg::object<ClientsComposition::clientInfo>(*entry));
  std::string name = "kept";
  EXPECT_EQ(GetClientGroup(entry, name), -1);
  EXPECT_EQ(name, "kept");
}

TEST(PMAssociated, AppendsNonEmptyNamesAndJudgesTheWholeVector) {
  const char* kThree = R"(<ClientSetup><clientComposition><clientInfo>
      <pmAssociatedClients clientName="vm01"/><pmAssociatedClients clientId="2"/><pmAssociatedClients clientName=""/>
      <pmAssociatedClients clientName="vm01"/></clientInfo></clientComposition></ClientSetup>)";
  const char* kNameless = R"(<ClientSetup><clientComposition><clientInfo>
      <pmAssociatedClients clientId="1"/><pmAssociatedClients clientName=""/></clientInfo></clientComposition></ClientSetup>)";
  const char* kNoList = "<ClientSetup><clientComposition><clientInfo/></clientComposition></ClientSetup>";
  const struct {
    const char* xml;
    std::vector<std::string> before;
    int result;
    std::vector<std::string> after;
  } cases[] = {
      {kThree, {}, 0, {"vm01", "vm01"}},
      {kThree, {"mine"}, 0, {"mine", "vm01", "vm01"}},
      {kNameless, {}, -1, {}},
      {kNameless, {"mine"}, 0, {"mine"}},
      {kNoList, {"mine"}, -1, {"mine"}},
  };
  for (const auto& c : cases) {
    auto request = Parse(c.xml);
    std::vector<std::string> names = c.before;
    EXPECT_EQ(GetPMAssociated(request.get(), 0, names), c.result) << c.xml;
    EXPECT_EQ(names, c.after) << c.xml;
  }
  std::vector<std::string> names{"mine"};
  EXPECT_EQ(GetPMAssociated(Parse(kThree).get(), 1, names), -1);
  EXPECT_EQ(names, std::vector<std::string>{"mine"});
}

TEST(PolicySetters, CreateTheMissingBlocksOnly) {
  const struct {
    const char* entry;
    int (*set)(ClientsComposition*, const char*);
    const char* after;
  } cases[] = {
      {"<clientComposition/>", SetStoragePolicy,
       "<clientComposition><components><policySettings><storagePolicy storagePolicyName=\"new\"/></policySettings>"
       "</components></clientComposition>"},
      // The plan and the subclient settings beside the path stay.
      {"<clientComposition><components><packages packageId=\"1\"/><policySettings><plan planId=\"12\"/>"
       "</policySettings><subclientPolicySettings laptopBackup=\"1\"/></components></clientComposition>",
       SetStoragePolicy,
       "<clientComposition><components><packages packageId=\"1\"/><policySettings><storagePolicy "
       "storagePolicyName=\"new\"/><plan planId=\"12\"/></policySettings><subclientPolicySettings "
       "laptopBackup=\"1\"/></components></clientComposition>"},
      {"<clientComposition><components><policySettings><storagePolicy storagePolicyName=\"old\"/>"
       "</policySettings></components></clientComposition>",
       SetStoragePolicy,
       "<clientComposition><components><policySettings><storagePolicy storagePolicyName=\"new\"/>"
       "</policySettings></components></clientComposition>"},
      {"<clientComposition><components><subclientPolicySettings laptopBackup=\"1\"/></components>"
       "</clientComposition>",
       SetSubclientPolicy,
       "<clientComposition><components><subclientPolicySettings laptopBackup=\"1\"><subclientPolicy "
       "subclientPolicyName=\"new\"/></subclientPolicySettings></components></clientComposition>"},
      {"<clientComposition><clientInfo><client zudPort=\"1\"/><clientGroups clientGroupName=\"a\"/></clientInfo>"
       "</clientComposition>",
       SetClientGroup,
       "<clientComposition><clientInfo><client zudPort=\"1\"/><clientGroups clientGroupName=\"a\"/>"
       "<clientGroups clientGroupName=\"new\"/></clientInfo></clientComposition>"},
      {"<clientComposition/>", SetClientGroup,
       "<clientComposition><clientInfo><clientGroups clientGroupName=\"new\"/></clientInfo></clientComposition>"},
  };
  for (const auto& c : cases) {
    auto request = Parse(std::string("<ClientSetup>") + c.entry + "</ClientSetup>");
    EXPECT_EQ(c.set(GetClientComposition(request.get(), 0), "new"), 0) << c.entry;
    EXPECT_EQ(Xml(*request), std::string("<ClientSetup>") + c.after + "</ClientSetup>");

    const std::string before = Xml(*request);
    EXPECT_EQ(c.set(GetClientComposition(request.get(), 0), nullptr), -1);
    EXPECT_EQ(c.set(nullptr, "x"), -1);
    EXPECT_EQ(Xml(*request), before) << "a refused call changed the request";
  }
}

TEST(PolicySetters, StoreEmptyNamesAndAppendRepeatedGroups) {
  auto request = Parse("<ClientSetup><clientComposition/></ClientSetup>");
  ClientsComposition* entry = GetClientComposition(request.get(), 0);
  ASSERT_EQ(SetStoragePolicy(entry, ""), 0);
  for (const char* group : {"first", "second", "first"}) ASSERT_EQ(SetClientGroup(entry, group), 0);
  EXPECT_EQ(Xml(*request),
            "<ClientSetup><clientComposition><clientInfo><clientGroups clientGroupName=\"first\"/><clientGroups "
            "clientGroupName=\"second\"/><clientGroups clientGroupName=\"first\"/></clientInfo><components>"
            "<policySettings><storagePolicy storagePolicyName=\"\"/></policySettings></components>"
            "</clientComposition></ClientSetup>");
}

TEST(PolicySetters, BlockHeldAsNoObjectIsCreated) {
  auto request = Parse("<ClientSetup><clientComposition><components/></clientComposition></ClientSetup>");
  ClientsComposition* entry = GetClientComposition(request.get(), 0);
  HoldNoObject<ClientsComposition::components>(*entry);
  ASSERT_EQ(SetStoragePolicy(entry, "sp"), 0);
  std::string name;
  EXPECT_EQ(GetStoragePolicy(entry, name), 0);
  EXPECT_EQ(name, "sp");
}

}  // namespace
}  // namespace xutest
