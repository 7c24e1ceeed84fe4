// Navigation to entries, components and entities, and the client identity readers.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

using namespace XmlUtils;
using ZUInstallManager::ClientsComposition;
using ZUInstallManager::Components;

// Two entries that differ in every identity fact, so that reading the wrong
// entry shows.
const char kTwoClients[] = R"(<ClientSetup requestFlags="8192">
  <dxInfo><dxClient clientId="2" clientName="dx01" hostName="dx01.example.com" clientGUID="DX-GUID"/></dxInfo>
  <clientComposition>
    <clientInfo><client><clientEntity clientId="1001" clientName="web01" hostName="web01.example.com"
        clientGUID="GUID-1" sourceClientName="web-template"/></client></clientInfo>
    <activateClientInfo activateClientDetails="details-0"><userCentricClient clientId="4294967295"/></activateClientInfo>
  </clientComposition>
  <clientComposition>
    <clientInfo><client><clientEntity clientId="4294967295" clientName="app01" hostName="" clientGUID=""/></client></clientInfo>
    <activateClientInfo activateClientDetails="details-1"><userCentricClient clientName="laptop"/></activateClientInfo>
  </clientComposition>
</ClientSetup>)";

// Every fact sits one link away from where the readers look for it.
const char kSiblings[] = R"(<ClientSetup requestFlags="8192">
  <dxInfo><dxClient clientName="dx01" clientGUID=""/></dxInfo>
  <clientComposition>
    <clientInfo><client><clientEntity hostName="web01.example.com"/></client></clientInfo>
    <activateClientInfo><userCentricClient clientId="7" clientName="laptop" sourceClientName="tmpl"/></activateClientInfo>
  </clientComposition>
</ClientSetup>)";

const char kNamedFlagClear[] = R"(<ClientSetup requestFlags="4096">
  <clientComposition><clientInfo><client><clientEntity clientName="web01"/></client></clientInfo></clientComposition>
</ClientSetup>)";

const char kEmptyDetails[] = R"(<ClientSetup requestFlags="8192">
  <clientComposition>
    <clientInfo><client><clientEntity clientName=""/></client></clientInfo>
    <activateClientInfo activateClientDetails=""/>
  </clientComposition>
</ClientSetup>)";

using S = std::string;
using U = unsigned long;

const ReaderRow kRows[] = {
    {"ClientNameOfEntry0", kTwoClients, Reads<S>([](Req r, S& a) { return GetClientName(r, 0, a); }), "0", "web01"},
    {"ClientNameOfEntryIndex", kTwoClients, Reads<S>([](Req r, S& a) { return GetClientName(r, 1, a); }), "0", "app01"},
    {"ClientNameIndexEqualToCount", kTwoClients, Reads<S>([](Req r, S& a) { return GetClientName(r, 2, a); }), "-1",
     "untouched"},
    {"ClientNameNotTakenFromSiblingEntities", kSiblings,
     Reads<S>([](Req r, S& a) { return GetClientName(GetClientComposition(r, 0), a); }), "-1", "untouched"},
    {"ClientNameEmptyLeavesOutput", kEmptyDetails, Reads<S>([](Req r, S& a) { return GetClientName(r, 0, a); }), "-1",
     "untouched"},
    {"ClientHostNameEmptyLeavesOutput", kTwoClients,
     Reads<S>([](Req r, S& a) { return GetClientHostName(r, 1, a); }), "-1", "untouched"},
    {"ClientHostNameOfEntry", kSiblings,
     Reads<S>([](Req r, S& a) { return GetClientHostName(GetClientComposition(r, 0), a); }), "0", "web01.example.com"},
    {"DXClientName", kTwoClients, Reads<S>([](Req r, S& a) { return GetDXClientName(r, a); }), "0", "dx01"},
    {"DXHostName", kTwoClients, Reads<S>([](Req r, S& a) { return GetDXHostName(r, a); }), "0", "dx01.example.com"},
    {"DXHostNameNoFallbackToName", kSiblings, Reads<S>([](Req r, S& a) { return GetDXHostName(r, a); }), "-1",
     "untouched"},
    {"DXClientNameNullRequest", nullptr, Reads<S>([](Req r, S& a) { return GetDXClientName(r, a); }), "-1",
     "untouched"},
    {"SourceClientOfEntity", kTwoClients,
     Reads<S>([](Req r, S& a) { return GetSourceClientForClient(r, 0, a); }), "0", "web-template"},
    {"SourceClientNotTakenFromUserCentricClient", kSiblings,
     Reads<S>([](Req r, S& a) { return GetSourceClientForClient(r, 0, a); }), "-1", "untouched"},
    {"ClientGuid", kTwoClients, Reads<S>([](Req r, S& a) { return GetClientGUID(r, 0, a); }), "0", "GUID-1"},
    {"ClientGuidEmptyIsWrittenAndFails", kTwoClients, Reads<S>([](Req r, S& a) { return GetClientGUID(r, 1, a); }),
     "-1", "(empty)"},
    {"ClientGuidWithoutEntityLeavesOutput", kSiblings, Reads<S>([](Req r, S& a) { return GetClientGUID(r, 0, a); }),
     "-1", "untouched"},
    {"ClientGuidNullClient", nullptr,
     Reads<S>([](Req, S& a) { return GetClientGUID(static_cast<App::Client*>(nullptr), a); }), "-1", "untouched"},
    {"DXGuid", kTwoClients, Reads<S>([](Req r, S& a) { return GetDXGUID(r, a); }), "0", "DX-GUID"},
    {"DXGuidEmptyIsWrittenAndFails", kSiblings, Reads<S>([](Req r, S& a) { return GetDXGUID(r, a); }), "-1",
     "(empty)"},
    {"ClientId", kTwoClients, Reads<U>([](Req r, U& a) { return GetClientID(GetClientComposition(r, 0), a); }), "0",
     "1001"},
    {"ClientIdSignExtended", kTwoClients, Reads<U>([](Req r, U& a) { return GetClientID(r, 1, a); }), "0",
     "18446744073709551615"},
    {"ClientIdNotTakenFromUserCentricClient", kSiblings, Reads<U>([](Req r, U& a) { return GetClientID(r, 0, a); }),
     "-1", "untouched"},
    {"UserCentricClientSignExtended", kTwoClients,
     Reads<U>([](Req r, U& a) { return GetUserCentricClient(r, 0, a); }), "0", "18446744073709551615"},
    {"UserCentricClientWithoutIdReadsZero", kTwoClients,
     Reads<U>([](Req r, U& a) { return GetUserCentricClient(r, 1, a); }), "0", "0"},
    {"UserCentricClientWithoutActivation", kNamedFlagClear,
     Reads<U>([](Req r, U& a) { return GetUserCentricClient(r, 0, a); }), "-1", "untouched"},
    {"ActivateDetailsReadsEntry0Only", kTwoClients,
     Reads<S>([](Req r, S& a) { return GetActivateClientDetails(r, a); }), "0", "details-0"},
    {"ActivateDetailsEmptyIsSuccess", kEmptyDetails,
     Reads<S>([](Req r, S& a) { return GetActivateClientDetails(r, a); }), "0", "(empty)"},
    {"UpdatedClientNames", kTwoClients, Reads<S>([](Req r, S& a) { return GetUpdatedClientNames(r, a); }), "true",
     "web01"},
    {"UpdatedClientNamesFlagClear", kNamedFlagClear,
     Reads<S>([](Req r, S& a) { return GetUpdatedClientNames(r, a); }), "false", "untouched"},
    {"UpdatedClientNamesEmptyName", kEmptyDetails, Reads<S>([](Req r, S& a) { return GetUpdatedClientNames(r, a); }),
     "false", "untouched"},
};

INSTANTIATE_TEST_SUITE_P(Identity, ReaderTable, ::testing::ValuesIn(kRows), RowName);

TEST(Navigation, EntryByIndexStopsAtCount) {
  auto request = Parse(kTwoClients);
  std::string name;
  ASSERT_NE(GetClientComposition(request.get(), 1), nullptr);
  ASSERT_EQ(GetClientName(GetClientComposition(request.get(), 1), name), 0);
  EXPECT_EQ(name, "app01");
  EXPECT_EQ(GetClientComposition(request.get(), 2), nullptr);
  EXPECT_EQ(GetClientComposition(request.get(), static_cast<unsigned long>(-1)), nullptr);
  EXPECT_EQ(GetClientComposition(nullptr, 0), nullptr);
}

TEST(Navigation, PresentEmptyEntryListHasNoEntry0) {
  ClientSetup request;
  zumsg::listCreate<ClientSetup::clientComposition>(request);
  EXPECT_EQ(GetClientComposition(&request, 0), nullptr);
  int count = 5;
  EXPECT_EQ(GetComponentCount(&request, count), -1);
  EXPECT_EQ(count, 5);
}

TEST(Navigation, ComponentsHoldingNoBlockCountAsAbsent) {
  auto request = Parse("<ClientSetup><clientComposition><components/></clientComposition></ClientSetup>");
  ClientsComposition* entry = GetClientComposition(request.get(), 0);
  ASSERT_NE(GetComponents(entry), nullptr);
  HoldNoObject<ClientsComposition::components>(*entry);
  EXPECT_EQ(GetComponents(entry), nullptr);
  int count = 5;
  EXPECT_EQ(GetComponentCount(request.get(), count), -1);
  EXPECT_EQ(GetComponents(nullptr), nullptr);
}

TEST(Navigation, ClientEntityNeedsEveryLink) {
  auto request = Parse(R"(<ClientSetup>
    <clientComposition><clientInfo><client zudPort="1"/></clientInfo></clientComposition>
    <clientComposition><clientInfo><client><clientEntity clientName="b"/></client></clientInfo></clientComposition>
  </ClientSetup>)");
  EXPECT_EQ(GetClientEntity(GetClientComposition(request.get(), 0)), nullptr);
  ZuEntities::ClientEntity* entity = GetClientEntity(GetClientComposition(request.get(), 1));
  ASSERT_NE(entity, nullptr);
  EXPECT_EQ(entity->getstring(ZuEntities::ClientEntity::clientName), "b");
  EXPECT_EQ(GetClientEntity(nullptr), nullptr);
}

TEST(Navigation, ComponentCountLooksAtEntry0Only) {
  const struct {
    const char* xml;
    int result;
    int count;
  } cases[] = {
      {"<ClientSetup><clientComposition/><clientComposition><components><packages packageId='1'/></components>"
       "</clientComposition></ClientSetup>",
       -1, 99},
      {"<ClientSetup><clientComposition><components/></clientComposition></ClientSetup>", -1, 99},
      {"<ClientSetup><clientComposition><components><packages/><packages/><packages/></components>"
       "</clientComposition><clientComposition/></ClientSetup>",
       0, 3},
  };
  for (const auto& c : cases) {
    auto request = Parse(c.xml);
    int count = 99;
    EXPECT_EQ(GetComponentCount(request.get(), count), c.result) << c.xml;
    EXPECT_EQ(count, c.count) << c.xml;
  }
}

TEST(Navigation, PresentEmptyPackageListCountsZero) {
  auto request = Parse("<ClientSetup><clientComposition><components/></clientComposition></ClientSetup>");
  zumsg::listCreate<Components::packages>(*GetComponents(GetClientComposition(request.get(), 0)));
  int count = 99;
  EXPECT_EQ(GetComponentCount(request.get(), count), 0);
  EXPECT_EQ(count, 0);
}

TEST(ReassociateLaptop, HandsOutTheStoredEntity) {
  auto request = Parse(kTwoClients);
  ZuEntities::ClientEntity* entity = nullptr;
  ASSERT_EQ(GetReassociateLaptop(request.get(), 1, entity), 0);
  ASSERT_NE(entity, nullptr);
  EXPECT_EQ(entity->getstring(ZuEntities::ClientEntity::clientName), "laptop");
  // Borrowed: the entity lives in the caller's tree.
  entity->setstring(ZuEntities::ClientEntity::clientName, "renamed");
  ZuEntities::ClientEntity* again = nullptr;
  ASSERT_EQ(GetReassociateLaptop(request.get(), 1, again), 0);
  EXPECT_EQ(again, entity);

  ZuEntities::ClientEntity* untouched = entity;
  EXPECT_EQ(GetReassociateLaptop(request.get(), 2, untouched), -1);
  EXPECT_EQ(untouched, entity);
}

TEST(ReassociateLaptop, FieldHoldingNoEntityGivesNullAndSuccess) {
  auto request = Parse(kTwoClients);
  HoldNoObject<ZUInstallManager::ActivateClientInfo::userCentricClient>(
      *zumsg::object<ClientsComposition::activateClientInfo>(*GetClientComposition(request.get(), 0)));
  ZuEntities::ClientEntity* entity = GetClientEntity(GetClientComposition(request.get(), 0));
  EXPECT_EQ(GetReassociateLaptop(request.get(), 0, entity), 0);
  EXPECT_EQ(entity, nullptr);
  // GetUserCentricClient follows the link further, so a missing entity fails it.
  unsigned long id = 5;
  EXPECT_EQ(GetUserCentricClient(request.get(), 0, id), -1);
  EXPECT_EQ(id, 5u);
}

}  // namespace
}  // namespace xutest
