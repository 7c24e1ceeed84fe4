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
    {"ClientNameOfEntry0", kTwoClients, Reads<S>(AT(GetClientName, 0)), "0", "web01"},
    {"ClientNameOfEntryIndex", kTwoClients, Reads<S>(AT(GetClientName, 1)), "0", "app01"},
    {"ClientNameIndexEqualToCount", kTwoClients, Reads<S>(AT(GetClientName, 2)), "-1", "untouched"},
    {"ClientNameNotTakenFromSiblingEntities", kSiblings, Reads<S>(OF(GetClientName, 0)), "-1", "untouched"},
    {"ClientNameEmptyLeavesOutput", kEmptyDetails, Reads<S>(AT(GetClientName, 0)), "-1", "untouched"},
    {"ClientHostNameEmptyLeavesOutput", kTwoClients, Reads<S>(AT(GetClientHostName, 1)), "-1", "untouched"},
    {"ClientHostNameOfEntry", kSiblings, Reads<S>(OF(GetClientHostName, 0)), "0", "web01.example.com"},
    {"DXClientName", kTwoClients, Reads<S>(ON(GetDXClientName)), "0", "dx01"},
    {"DXHostName", kTwoClients, Reads<S>(ON(GetDXHostName)), "0", "dx01.example.com"},
    {"DXHostNameNoFallbackToName", kSiblings, Reads<S>(ON(GetDXHostName)), "-1", "untouched"},
    {"DXClientNameNullRequest", nullptr, Reads<S>(ON(GetDXClientName)), "-1", "untouched"},
    {"SourceClientOfEntity", kTwoClients, Reads<S>(AT(GetSourceClientForClient, 0)), "0", "web-template"},
    {"SourceClientNotTakenFromUserCentricClient", kSiblings, Reads<S>(AT(GetSourceClientForClient, 0)), "-1",
     "untouched"},
    {"ClientGuid", kTwoClients, Reads<S>(AT(GetClientGUID, 0)), "0", "GUID-1"},
    {"ClientGuidEmptyIsWrittenAndFails", kTwoClients, Reads<S>(AT(GetClientGUID, 1)), "-1", "(empty)"},
    {"ClientGuidWithoutEntityLeavesOutput", kSiblings, Reads<S>(AT(GetClientGUID, 0)), "-1", "untouched"},
    {"ClientGuidNullClient", nullptr,
     Reads<S>([](Req, S& a) { return GetClientGUID(static_cast<App::Client*>(nullptr), a); }), "-1", "untouched"},
    {"DXGuid", kTwoClients, Reads<S>(ON(GetDXGUID)), "0", "DX-GUID"},
    {"DXGuidEmptyIsWrittenAndFails", kSiblings, Reads<S>(ON(GetDXGUID)), "-1", "(empty)"},
    {"ClientId", kTwoClients, Reads<U>(OF(GetClientID, 0)), "0", "1001"},
    {"ClientIdSignExtended", kTwoClients, Reads<U>(AT(GetClientID, 1)), "0", "18446744073709551615"},
    {"ClientIdNotTakenFromUserCentricClient", kSiblings, Reads<U>(AT(GetClientID, 0)), "-1", "untouched"},
    {"UserCentricClientSignExtended", kTwoClients, Reads<U>(AT(GetUserCentricClient, 0)), "0", "18446744073709551615"},
    {"UserCentricClientWithoutIdReadsZero", kTwoClients, Reads<U>(AT(GetUserCentricClient, 1)), "0", "0"},
    {"UserCentricClientWithoutActivation", kNamedFlagClear, Reads<U>(AT(GetUserCentricClient, 0)), "-1", "untouched"},
    {"ActivateDetailsReadsEntry0Only", kTwoClients, Reads<S>(ON(GetActivateClientDetails)), "0", "details-0"},
    {"ActivateDetailsEmptyIsSuccess", kEmptyDetails, Reads<S>(ON(GetActivateClientDetails)), "0", "(empty)"},
    {"UpdatedClientNames", kTwoClients, Reads<S>(ON(GetUpdatedClientNames)), "true", "web01"},
    {"UpdatedClientNamesFlagClear", kNamedFlagClear, Reads<S>(ON(GetUpdatedClientNames)), "false", "untouched"},
    {"UpdatedClientNamesEmptyName", kEmptyDetails, Reads<S>(ON(GetUpdatedClientNames)), "false", "untouched"},
};

INSTANTIATE_TEST_SUITE_P(Identity, ReaderTable, ::testing::ValuesIn(kRows), RowName);

TEST(Navigation, EntryByIndexStopsAtCount) {
  auto request = Parse(kTwoClients);
  EXPECT_EQ(GetClientComposition(request.get(), 1), &(*zumsg::list<ClientSetup::clientComposition>(*request))[1]);
  EXPECT_EQ(GetClientComposition(request.get(), 2), nullptr);
  EXPECT_EQ(GetClientComposition(request.get(), static_cast<unsigned long>(-1)), nullptr);
  EXPECT_EQ(GetClientComposition(nullptr, 0), nullptr);
}

TEST(Navigation, PresentEmptyListsHaveNoEntries) {
  ClientSetup empty;
  zumsg::listCreate<ClientSetup::clientComposition>(empty);
  EXPECT_EQ(GetClientComposition(&empty, 0), nullptr);
  int count = 5;
  EXPECT_EQ(GetComponentCount(&empty, count), -1);
  EXPECT_EQ(count, 5);
  // A present empty package list counts zero.
  auto request = Parse("<ClientSetup><clientComposition><components/></clientComposition></ClientSetup>");
  zumsg::listCreate<Components::packages>(*GetComponents(GetClientComposition(request.get(), 0)));
  EXPECT_EQ(GetComponentCount(request.get(), count), 0);
  EXPECT_EQ(count, 0);
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
    const char* entries;
    int result, count;
  } cases[] = {
      {"<clientComposition/><clientComposition><components><packages packageId='1'/></components>"
       "</clientComposition>", -1, 99},
      {"<clientComposition><components/></clientComposition>", -1, 99},
      {"<clientComposition><components><packages/><packages/><packages/></components></clientComposition>"
       "<clientComposition/>", 0, 3},
  };
  for (const auto& c : cases) {
    int count = 99;
    EXPECT_EQ(GetComponentCount(Parse(std::string("<ClientSetup>") + c.entries + "</ClientSetup>").get(), count),
              c.result) << c.entries;
    EXPECT_EQ(count, c.count) << c.entries;
  }
}

TEST(ReassociateLaptop, HandsOutTheStoredEntity) {
  auto request = Parse(kTwoClients);
  ZuEntities::ClientEntity* entity = nullptr;
  ASSERT_EQ(GetReassociateLaptop(request.get(), 1, entity), 0);
  ASSERT_NE(entity, nullptr);
  EXPECT_EQ(entity->getstring(ZuEntities::ClientEntity::clientName), "laptop");
  // Borrowed: the entity lives in the caller's tree.
  EXPECT_EQ(entity, zumsg::object<ZUInstallManager::ActivateClientInfo::userCentricClient>(
                        *zumsg::object<ClientsComposition::activateClientInfo>(*GetClientComposition(request.get(), 1))));

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
