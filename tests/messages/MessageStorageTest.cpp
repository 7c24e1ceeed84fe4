// Field storage: every field of every class through XML and back, presence,
// copies, moves, clearing, and the states XML cannot express (a present
// object field holding no child, a present empty list).
#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "MessageTestSupport.h"

namespace {

using msgtest::Load;
using msgtest::Xml;
using ZUInstallManager::ClientSetup;
using ZUInstallManager::DXInfo;
using ZuSecurity::UserAccount;

const char kRequest[] =
    R"(<ClientSetup jobId="12" requestFlags="4096"><dxInfo connectionUrl="https://dx"><dxClient clientName="dx01"/></dxInfo>)"
    R"(<clientAuthentication><userAccount userName="u" password="V8:p"/></clientAuthentication>)"
    R"(<clientComposition operationType="1"><components><packages packageId="1002"/><packages packageId="51"/></components>)"
    R"(</clientComposition><clientComposition operationType="2"/></ClientSetup>)";

TEST(SchemaRoundTrip, EveryFieldOfEveryClassSurvivesObjectToXmlToObjectAndCopies) {
  ASSERT_EQ(CNMessageBase::Initialize(), 0);
  std::size_t count = 0;
  const zumsg::ClassInfo* const* classes = zumsg::AllClasses(count);
  ASSERT_EQ(count, 31u);
  for (std::size_t c = 0; c < count; ++c) {
    const zumsg::ClassInfo& info = *classes[c];
    std::unique_ptr<CNMessageBase> original(info.create()), reread(info.create());
    msgtest::FillAll(*original);
    for (unsigned i = 0; i < info.fieldCount; ++i) EXPECT_TRUE(original->isSet(i)) << info.qualifiedName << "." << info.fields[i].name;
    const std::string xml = Xml(*original);
    ASSERT_EQ(xml.rfind("error", 0), std::string::npos) << xml;
    ASSERT_TRUE(Load(*reread, xml));
    std::unique_ptr<CNMessageBase> copy(info.clone(*original));
    original.reset();
    EXPECT_EQ(Xml(*reread) + Xml(*copy), xml + xml);
  }
}

TEST(MessageCopy, CopiesAreIndependentAndMovesTakeTheTree) {
  ClientSetup original;
  ASSERT_TRUE(Load(original, kRequest));
  const std::string before = Xml(original);
  ClientSetup copy(original);
  copy.setint64(ClientSetup::jobId, 99);
  zumsg::object<ClientSetup::dxInfo>(copy)->setstring(DXInfo::connectionUrl, "changed");
  zumsg::list<ClientSetup::clientComposition>(copy)->emplace_back();
  EXPECT_EQ(Xml(original), before);
  ClientSetup assigned;
  assigned.setint64(ClientSetup::localeId, 1033);
  assigned = copy;
  EXPECT_EQ(Xml(assigned), Xml(copy));
  assigned = original;
  const ClientSetup& self = assigned;
  assigned = self;
  EXPECT_EQ(Xml(assigned), before);

  DXInfo* dx = zumsg::object<ClientSetup::dxInfo>(original);
  ClientSetup moved(std::move(original));
  EXPECT_EQ(zumsg::object<ClientSetup::dxInfo>(moved), dx) << "a move must not copy children";
  for (unsigned i = 0; i < ClientSetup::FieldCount; ++i) EXPECT_FALSE(original.isSet(i));
  original.clearField(ClientSetup::dxInfo);  // absent after the move: nothing to release
  ASSERT_TRUE(Load(original, R"(<ClientSetup jobId="5"/>)"));
  EXPECT_EQ(Xml(original), R"(<ClientSetup jobId="5"/>)");
  copy = std::move(moved);
  EXPECT_EQ(Xml(copy), before);
  EXPECT_EQ(Xml(moved), "<ClientSetup/>");
}

TEST(MessageFields, SettersReplaceValuesAndClearingMakesOneFieldAbsent) {
  ClientSetup request;
  ASSERT_TRUE(Load(request, kRequest));
  auto* dx = zumsg::object<ClientSetup::dxInfo>(request);
  dx->setstring(DXInfo::connectionUrl, std::string("a\0b", 3));
  EXPECT_EQ(dx->getstring(DXInfo::connectionUrl), std::string("a\0b", 3));
  auto* account = zumsg::object<ZUInstallManager::ClientAuthentication::userAccount>(
      *zumsg::object<ClientSetup::clientAuthentication>(request));
  account->setpstringobject(UserAccount::password, bstring("V3:y"), Annotation::PASSWORD_ENCRYPT_NONE);
  EXPECT_EQ((*account->getpstringobject(UserAccount::password))->encryptType(), Annotation::PASSWORD_ENCRYPT_NONE);
  // Each field cleared twice: the second time it is absent and must stay so,
  // its old value not released again, the others untouched.
  for (int round = 0; round < 2; ++round) {
    for (unsigned field : {ClientSetup::jobId, ClientSetup::dxInfo, ClientSetup::clientComposition, ClientSetup::organizationInfo}) request.clearField(field);
    for (unsigned field : {UserAccount::password, UserAccount::userName}) account->clearField(field);
  }
  EXPECT_EQ(request.getint64(ClientSetup::jobId), 0);
  EXPECT_EQ(request.getObjectAccessor(true, false, ClientSetup::dxInfo, DXInfo::kClassNumber), nullptr);
  EXPECT_EQ(request.getlistobject(ClientSetup::clientComposition, false), nullptr);
  EXPECT_EQ(account->getpstringobject(UserAccount::password), nullptr);
  EXPECT_EQ(account->getstringview(UserAccount::userName), "");
  EXPECT_EQ(Xml(request), R"(<ClientSetup requestFlags="4096"><clientAuthentication><userAccount/></clientAuthentication></ClientSetup>)");
}

TEST(MessageFields, PresentObjectWithoutChildAndPresentEmptyListWriteNothingButStayPresent) {
  ClientSetup request;
  CNMessageBase** slot = request.getObjectAccessor(true, true, ClientSetup::dxInfo, DXInfo::kClassNumber);
  ASSERT_NE(slot, nullptr);
  CNMessageBase* child = *slot;
  child->setstring(DXInfo::connectionUrl, "kept");
  EXPECT_EQ(*request.getObjectAccessor(true, true, ClientSetup::dxInfo, DXInfo::kClassNumber), child);
  delete *slot;
  *slot = nullptr;
  void** list = request.getlistobject(ClientSetup::clientComposition, true);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(request.getlistobject(ClientSetup::clientComposition, false), list);
  request.setint64(ClientSetup::jobId, 1);
  ClientSetup copy(request);
  for (ClientSetup* m : {&request, &copy}) {
    EXPECT_TRUE(m->isSet(ClientSetup::dxInfo) && zumsg::object<ClientSetup::dxInfo>(*m) == nullptr);
    ASSERT_NE(zumsg::list<ClientSetup::clientComposition>(*m), nullptr);
    EXPECT_TRUE(zumsg::list<ClientSetup::clientComposition>(*m)->empty());
    EXPECT_EQ(Xml(*m), R"(<ClientSetup jobId="1"/>)");
  }
  EXPECT_FALSE(zumsg::objectCreate<ClientSetup::dxInfo>(request).isSet(DXInfo::connectionUrl));
}

}  // namespace
