// Field storage: presence, copies, moves, object and list slots, and the states
// XML cannot express (a present object field holding no child, a present empty list).
#include <gtest/gtest.h>

#include <utility>

#include "MessageTestSupport.h"

namespace {

using msgtest::DeepEqual;
using msgtest::Load;
using msgtest::Xml;
using ZUInstallManager::ClientSetup;
using ZUInstallManager::ClientsComposition;
using ZUInstallManager::Components;
using ZUInstallManager::DXInfo;

const char kRequest[] =
    R"(<ClientSetup jobId="12" requestFlags="4096"><dxInfo connectionUrl="https://dx"><dxClient clientName="dx01"/></dxInfo>)"
    R"(<clientAuthentication><userAccount userName="u" password="V8:p"/></clientAuthentication>)"
    R"(<clientComposition operationType="1"><components><packages packageId="1002"/><packages packageId="51"/></components></clientComposition>)"
    R"(<clientComposition operationType="2"/></ClientSetup>)";

TEST(MessageCopy, DeepCopyIsIndependentOfTheOriginal) {
  ClientSetup original;
  ASSERT_TRUE(Load(original, kRequest));
  const std::string before = Xml(original);

  ClientSetup copy(original);
  ASSERT_TRUE(DeepEqual(copy, original));
  copy.setint64(ClientSetup::jobId, 99);
  zumsg::object<ClientSetup::dxInfo>(copy)->setstring(DXInfo::connectionUrl, "changed");
  zumsg::object<DXInfo::dxClient>(*zumsg::object<ClientSetup::dxInfo>(copy))->clearField(ZuEntities::ClientEntity::clientName);
  auto& entries = *zumsg::list<ClientSetup::clientComposition>(copy);
  zumsg::list<Components::packages>(*zumsg::object<ClientsComposition::components>(entries[0]))->emplace_back();
  entries.emplace_back();
  auto* account = zumsg::object<ZUInstallManager::ClientAuthentication::userAccount>(
      *zumsg::object<ClientSetup::clientAuthentication>(copy));
  account->setpstringobject(ZuSecurity::UserAccount::password, bstring("V3:q"), Annotation::PASSWORD_ENCRYPT_DEFAULT);
  EXPECT_EQ(Xml(original), before);

  ClientSetup assigned;
  assigned.setint64(ClientSetup::localeId, 1033);
  assigned = copy;
  EXPECT_TRUE(DeepEqual(assigned, copy));
  assigned = original;
  EXPECT_EQ(Xml(assigned), before);
  EXPECT_NE(Xml(copy).find("changed"), std::string::npos);
  const ClientSetup& self = assigned;
  assigned = self;
  EXPECT_EQ(Xml(assigned), before);
}

TEST(MessageCopy, MoveTakesTheTreeAndLeavesAUsableEmptyObject) {
  ClientSetup original;
  ASSERT_TRUE(Load(original, kRequest));
  const std::string before = Xml(original);
  DXInfo* dx = zumsg::object<ClientSetup::dxInfo>(original);

  ClientSetup moved(std::move(original));
  EXPECT_EQ(Xml(moved), before);
  EXPECT_EQ(zumsg::object<ClientSetup::dxInfo>(moved), dx) << "a move must not copy children";
  for (unsigned i = 0; i < ClientSetup::FieldCount; ++i) EXPECT_FALSE(original.isSet(i));
  EXPECT_EQ(Xml(original), "<ClientSetup/>");
  ASSERT_TRUE(Load(original, R"(<ClientSetup jobId="5"/>)"));
  EXPECT_EQ(original.getint64(ClientSetup::jobId), 5);

  ClientSetup target;
  ASSERT_TRUE(Load(target, R"(<ClientSetup requestType="3"><dxInfo/></ClientSetup>)"));
  target = std::move(moved);
  EXPECT_EQ(Xml(target), before);
  EXPECT_EQ(Xml(moved), "<ClientSetup/>");
}

TEST(MessageFields, SettersReplaceValuesAndKeepBinaryText) {
  DXInfo dx;
  dx.setstring(DXInfo::connectionUrl, "first");
  dx.setstring(DXInfo::connectionUrl, std::string("a\0b", 3));
  EXPECT_EQ(dx.getstring(DXInfo::connectionUrl), std::string("a\0b", 3));
  ZuSecurity::UserAccount account;
  account.setpstringobject(ZuSecurity::UserAccount::password, bstring("V8:x"), Annotation::PASSWORD_ENCRYPT_NONE);
  account.setpstringobject(ZuSecurity::UserAccount::password, bstring("V3:y"), Annotation::PASSWORD_ENCRYPT_DEFAULT);
  pstring* p = *account.getpstringobject(ZuSecurity::UserAccount::password);
  EXPECT_EQ(p->str(), "V3:y");
  EXPECT_EQ(p->encryptType(), Annotation::PASSWORD_ENCRYPT_DEFAULT);
}

TEST(MessageObjectFields, CreateKeepsAPresentChildAndReplacesAnAbsentOrNullOne) {
  ClientSetup request;
  CNMessageBase** created = request.getObjectAccessor(true, true, ClientSetup::dxInfo, DXInfo::kClassNumber);
  ASSERT_NE(created, nullptr);
  ASSERT_NE(*created, nullptr);
  EXPECT_TRUE(request.isSet(ClientSetup::dxInfo));
  CNMessageBase* child = *created;
  child->setstring(DXInfo::connectionUrl, "kept");

  CNMessageBase** again = request.getObjectAccessor(true, true, ClientSetup::dxInfo, DXInfo::kClassNumber);
  EXPECT_EQ(*again, child);
  EXPECT_EQ(zumsg::objectCreate<ClientSetup::dxInfo>(request).getstring(DXInfo::connectionUrl), "kept");

  // A present field holding no child: readers, the writer and a copy see nothing
  // but presence; create puts a new child there.
  delete *again;
  *again = nullptr;
  EXPECT_TRUE(request.isSet(ClientSetup::dxInfo));
  EXPECT_EQ(request.getObjectAccessor(true, false, ClientSetup::dxInfo, DXInfo::kClassNumber), nullptr);
  EXPECT_EQ(zumsg::object<ClientSetup::dxInfo>(request), nullptr);
  request.setint64(ClientSetup::jobId, 1);
  EXPECT_EQ(Xml(request), R"(<ClientSetup jobId="1"/>)");
  ClientSetup copy(request);
  EXPECT_TRUE(copy.isSet(ClientSetup::dxInfo));
  EXPECT_EQ(zumsg::object<ClientSetup::dxInfo>(copy), nullptr);
  EXPECT_TRUE(DeepEqual(copy, request));
  DXInfo& fresh = zumsg::objectCreate<ClientSetup::dxInfo>(request);
  EXPECT_FALSE(fresh.isSet(DXInfo::connectionUrl));
}

TEST(MessageListFields, PresentEmptyListIsKeptAndWritesNothing) {
  ClientSetup request;
  void** slot = request.getlistobject(ClientSetup::clientComposition, true);
  ASSERT_NE(slot, nullptr);
  EXPECT_TRUE(request.isSet(ClientSetup::clientComposition));
  EXPECT_EQ(request.getlistobject(ClientSetup::clientComposition, false), slot);
  EXPECT_TRUE(zumsg::list<ClientSetup::clientComposition>(request)->empty());
  EXPECT_EQ(Xml(request), "<ClientSetup/>");
  ClientSetup copy(request);
  ASSERT_NE(zumsg::list<ClientSetup::clientComposition>(copy), nullptr);
  EXPECT_TRUE(zumsg::list<ClientSetup::clientComposition>(copy)->empty());
  EXPECT_NE(zumsg::list<ClientSetup::clientComposition>(copy), zumsg::list<ClientSetup::clientComposition>(request));
}

// Absent fields read as zero, empty or null, whether never set or cleared.
TEST(MessageFields, ClearFieldMakesEachKindAbsent) {
  ClientSetup fresh;
  ZuSecurity::UserAccount freshAccount;
  ClientSetup request;
  ASSERT_TRUE(Load(request, kRequest));
  request.clearField(ClientSetup::jobId);
  request.clearField(ClientSetup::dxInfo);
  request.clearField(ClientSetup::clientComposition);
  request.clearField(ClientSetup::organizationInfo);  // absent already
  auto* account = zumsg::object<ZUInstallManager::ClientAuthentication::userAccount>(
      *zumsg::object<ClientSetup::clientAuthentication>(request));
  account->clearField(ZuSecurity::UserAccount::password);
  account->clearField(ZuSecurity::UserAccount::userName);
  for (ClientSetup* m : {&fresh, &request}) {
    EXPECT_FALSE(m->isSet(ClientSetup::jobId));
    EXPECT_EQ(m->getint64(ClientSetup::jobId), 0);
    EXPECT_FALSE(m->isSet(ClientSetup::dxInfo));
    EXPECT_EQ(m->getObjectAccessor(true, false, ClientSetup::dxInfo, DXInfo::kClassNumber), nullptr);
    EXPECT_EQ(m->getlistobject(ClientSetup::clientComposition, false), nullptr);
  }
  for (ZuSecurity::UserAccount* a : {&freshAccount, account}) {
    EXPECT_EQ(a->getpstringobject(ZuSecurity::UserAccount::password), nullptr);
    EXPECT_EQ(a->getstring(ZuSecurity::UserAccount::userName), "");
    EXPECT_EQ(a->getstringview(ZuSecurity::UserAccount::userName), "");
  }
  EXPECT_EQ(Xml(request), R"(<ClientSetup requestFlags="4096"><clientAuthentication><userAccount/></clientAuthentication></ClientSetup>)");
}

}  // namespace
