// Navigation to entries, components and entities; the blocks, entities and
// lists handed out; package selection.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

using ZUInstallManager::Components;
using ZUInstallManager::PackageInformation;
using ZuEntities::ClientEntity;

std::string WithPackages(const std::string& packages) {
  return "<ClientSetup><clientComposition><components>" + packages + "</components></clientComposition></ClientSetup>";
}

TEST(Navigation, EntriesComponentsAndEntitiesNeedEveryLink) {
  auto request = Parse(R"(<ClientSetup><clientAuthentication/>
    <clientComposition><clientInfo><client zudPort="1"/></clientInfo><components/></clientComposition>
    <clientComposition><clientInfo><client><clientEntity clientName="b"/></client></clientInfo></clientComposition>
  </ClientSetup>)");
  EXPECT_EQ(GetClientComposition(request.get(), 1), &(*zumsg::list<ClientSetup::clientComposition>(*request))[1]);
  for (U index : {2ul, static_cast<U>(-1)}) EXPECT_EQ(GetClientComposition(request.get(), index), nullptr);
  EXPECT_EQ(GetClientComposition(nullptr, 0), nullptr);
  EXPECT_EQ(GetClientEntity(GetClientComposition(request.get(), 0)), nullptr);
  EXPECT_EQ(GetClientEntity(GetClientComposition(request.get(), 1))->getstring(ClientEntity::clientName), "b");
  EXPECT_EQ(GetComponents(GetClientComposition(request.get(), 1)), nullptr);
  EXPECT_EQ(GetClientAuthentication(request.get()), zumsg::object<ClientSetup::clientAuthentication>(*request));
  EXPECT_EQ(GetClientAuthentication(Parse("<ClientSetup/>").get()), nullptr);
  // A field present but holding no block counts as absent.
  ClientsComposition* entry = GetClientComposition(request.get(), 0);
  ASSERT_NE(GetComponents(entry), nullptr);
  HoldNoObject<ClientsComposition::components>(*entry);
  EXPECT_EQ(GetComponents(entry), nullptr);
  // Present empty lists have no members.
  ClientSetup empty;
  zumsg::listCreate<ClientSetup::clientComposition>(empty);
  EXPECT_EQ(GetClientComposition(&empty, 0), nullptr);
  zumsg::listCreate<App::ClientInfo::clientGroups>(*zumsg::object<ClientsComposition::clientInfo>(*entry));
  S name = "kept";
  EXPECT_EQ(GetClientGroup(entry, name), -1);
  EXPECT_EQ(name, "kept");
}

// The count is entry 0's, of a present list; a present empty list counts zero.
TEST(Navigation, ComponentCountLooksAtEntry0Only) {
  const struct { std::string entries; int result, count; } cases[] = {
      {"<clientComposition/><clientComposition><components><packages packageId='1'/></components></clientComposition>", -1, 99},
      {"<clientComposition><components/></clientComposition>", -1, 99},
      {"<clientComposition><components><packages/><packages/><packages/></components></clientComposition>", 0, 3},
  };
  for (const auto& c : cases) {
    int count = 99;
    EXPECT_EQ(GetComponentCount(Parse("<ClientSetup>" + c.entries + "</ClientSetup>").get(), count), c.result) << c.entries;
    EXPECT_EQ(count, c.count) << c.entries;
  }
  auto request = Parse(WithPackages(""));
  zumsg::listCreate<Components::packages>(*GetComponents(GetClientComposition(request.get(), 0)));
  int count = 5;
  EXPECT_EQ(GetComponentCount(request.get(), count), 0);
  EXPECT_EQ(count, 0);
}

TEST(Navigation, BorrowedBlocksAndEntitiesLeaveThePointerWhenAbsent) {
  auto request = Parse(R"(<ClientSetup>
    <clientComposition><components><packages packageId="1"/><packages packageId="702"/></components>
      <activateClientInfo activateClientDetails="x"/><patchInformation spVersion="1"/></clientComposition>
    <clientComposition><activateClientInfo><userCentricClient clientName="laptop"/></activateClientInfo></clientComposition>
  </ClientSetup>)");
  ClientsComposition* first = GetClientComposition(request.get(), 0);
  ClientsComposition* second = GetClientComposition(request.get(), 1);
  ClientEntity* mine = reinterpret_cast<ClientEntity*>(&request);
  ClientEntity* entity = mine;
  ASSERT_EQ(GetReassociateLaptop(request.get(), 1, entity), 0);
  EXPECT_EQ(entity, zumsg::object<ZUInstallManager::ActivateClientInfo::userCentricClient>(
                        *zumsg::object<ClientsComposition::activateClientInfo>(*second)));
  // No user-centric client, no entry: a failure, the pointer untouched.
  for (U index : {0ul, 2ul}) {
    entity = mine;
    EXPECT_EQ(GetReassociateLaptop(request.get(), index, entity), -1) << index;
    EXPECT_EQ(entity, mine) << index;
  }
  std::vector<PackageInformation>* list = nullptr;
  ASSERT_EQ(GetPackageList(request.get(), 0, list), 0);
  EXPECT_EQ(list, zumsg::list<Components::packages>(*GetComponents(first)));
  std::vector<PackageInformation>* kept = list;
  EXPECT_EQ(GetPackageList(request.get(), 1, kept), -1);
  EXPECT_EQ(GetPackageList(second, kept), -1);
  EXPECT_EQ(kept, list);
  ZUInstallManager::PatchInformation* patch = nullptr;
  ASSERT_EQ(GetPatchInformation(first, patch), 0);
  EXPECT_EQ(patch, zumsg::object<ClientsComposition::patchInformation>(*first));
  EXPECT_EQ(GetPatchInformation(second, patch), -1);
  EXPECT_EQ(patch, zumsg::object<ClientsComposition::patchInformation>(*first));
  // A field present but holding nothing: null handed out, and a failure or a success as the reader decides.
  HoldNoObject<ClientsComposition::patchInformation>(*first);
  EXPECT_EQ(GetPatchInformation(first, patch), -1);
  EXPECT_EQ(patch, nullptr);
  HoldNoObject<ZUInstallManager::ActivateClientInfo::userCentricClient>(
      *zumsg::object<ClientsComposition::activateClientInfo>(*second));
  EXPECT_EQ(GetReassociateLaptop(request.get(), 1, entity), 0);
  EXPECT_EQ(entity, nullptr);
}

TEST(PackageSelection, IdsAreThePositiveLow32OnesAppendedAfterTheCallersOwn) {
  const struct { const char* packages; U index; int result; std::vector<int> ids; } cases[] = {
      {"<packages packageId='0'/><packages packageId='5'/><packages packageId='-3'/><packages packageId='7'/>", 0, 0, {42, 5, 7}},
      // Absent identifiers read as 0; 2^32 + 5 reads as 5, 2^31 as negative.
      {"<packages packageMode='0'/><packages packageId='4294967301'/><packages packageId='2147483648'/>", 0, 0, {42, 5}},
      {"", 0, -1, {42}},
      {"<packages packageId='1'/>", 1, -1, {42}},
  };
  for (const auto& c : cases) {
    std::vector<int> ids{42};
    EXPECT_EQ(GetPackageList(Parse(WithPackages(c.packages)).get(), c.index, ids), c.result) << c.packages;
    EXPECT_EQ(ids, c.ids) << c.packages;
  }
}

TEST(PackageSelection, DatabaseIs802To899AndTwentyFourOnRequest) {
  const struct { const char* packages; bool also24, selected; } cases[] = {
      {"<packages packageId='802'/>", false, true}, {"<packages packageId='899'/>", false, true},
      {"<packages packageId='801'/>", true, false}, {"<packages packageId='900'/>", true, false},
      {"<packages packageId='24'/>", false, false}, {"<packages packageId='24'/>", true, true},
      {"<packages packageId='4294968098'/>", false, true},  // 2^32 + 802
      {"<packages/><packages packageId='1'/><packages packageId='850'/>", false, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsDBPackageSelected(Parse(WithPackages(c.packages)).get(), 0, c.also24), c.selected) << c.packages;
  }
  EXPECT_FALSE(IsDBPackageSelected(Parse(WithPackages("<packages packageId='802'/>")).get(), 1, true));
}

// Cleared first, whatever the outcome; a present empty list is success and false.
TEST(PackageSelection, RestoreOnlyWhenEveryPackageHasModeZero) {
  const struct { std::string xml; int result; bool restoreOnly; } rows[] = {
      {WithPackages("<packages packageId='1' packageMode='0'/><packages packageMode='0'/>"), 0, true},
      {WithPackages("<packages packageMode='0'/><packages packageId='2'/>"), 0, false},
      {WithPackages("<packages packageMode='4294967296'/>"), 0, false},  // the whole 64 bits count
      {WithPackages(""), -1, false},
      {"<ClientSetup><clientComposition/></ClientSetup>", -1, false},
  };
  for (const auto& row : rows) {
    bool restoreOnly = true;
    EXPECT_EQ(IsRestoreOnlyClient(Parse(row.xml).get(), 0, restoreOnly), row.result) << row.xml;
    EXPECT_EQ(restoreOnly, row.restoreOnly) << row.xml;
  }
  auto request = Parse(WithPackages(""));
  zumsg::listCreate<Components::packages>(*GetComponents(GetClientComposition(request.get(), 0)));
  for (U index : {0ul, 1ul}) {
    bool restoreOnly = true;
    EXPECT_EQ(IsRestoreOnlyClient(request.get(), index, restoreOnly), index == 0 ? 0 : -1);
    EXPECT_FALSE(restoreOnly);
  }
}

// Non-empty names are appended; the result judges the whole vector.
TEST(PMAssociated, AppendsNamedClients) {
  const char* kThree = R"(<ClientSetup><clientComposition><clientInfo><pmAssociatedClients clientName="vm01"/>
      <pmAssociatedClients clientId="2"/><pmAssociatedClients clientName=""/><pmAssociatedClients clientName="vm01"/>
      </clientInfo></clientComposition></ClientSetup>)";
  const char* kNameless = R"(<ClientSetup><clientComposition><clientInfo><pmAssociatedClients clientId="1"/>
      <pmAssociatedClients clientName=""/></clientInfo></clientComposition></ClientSetup>)";
  const struct { const char* xml; U index; std::vector<S> before; int result; std::vector<S> after; } cases[] = {
      {kThree, 0, {"mine"}, 0, {"mine", "vm01", "vm01"}}, {kNameless, 0, {}, -1, {}}, {kNameless, 0, {"mine"}, 0, {"mine"}},
      {kThree, 1, {"mine"}, -1, {"mine"}}, {"<ClientSetup><clientComposition><clientInfo/></clientComposition></ClientSetup>", 0, {"mine"}, -1, {"mine"}},
  };
  for (const auto& c : cases) {
    std::vector<S> names = c.before;
    EXPECT_EQ(GetPMAssociated(Parse(c.xml).get(), c.index, names), c.result) << c.xml;
    EXPECT_EQ(names, c.after) << c.xml;
  }
}

}  // namespace
}  // namespace xutest
