// The message library: every field of every class through XML and back,
// presence, copies, moves, clearing and the states XML cannot express (a
// present object field holding no child, a present empty list); the reader's
// vocabulary, what it skips and every refusal leaving the target exactly as it
// was with a positioned reason on one line; the writer's compact form in schema
// order, its escapes, and the error numbers for text
// XML 1.0 cannot carry.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "ZuInstallMessages.h"
#include "common/TestSupport.h"

namespace {

using ZUInstallManager::ClientSetup;
using ZUInstallManager::DXInfo;
using ZuSecurity::UserAccount;
using Kind = zumsg::FieldKind;

EncodingFlags Flags() { return EncodingFlags{true, false, false, 0, 0, -1, false, false, true, false, 1}; }

// Returns the compact XML of `m`, or "error N" when the encoder refuses it.
std::string Xml(const CNMessageBase& m, std::string xml = {}) {
  const int rc = XMLEncoder(Flags(), nullptr).serialize(&m, xml, false);
  return rc == 0 ? xml : "error " + std::to_string(rc);
}

::testing::AssertionResult Load(CNMessageBase& m, const std::string& xml) {
  const zumsg::ParseError& e = CNMessageBase::LastParseError();
  return m.unserialize(xml) == 0 ? ::testing::AssertionSuccess()
                                 : ::testing::AssertionFailure() << e.line << ": " << e.reason;
}

// Sets every field of `m` to a distinctive value, texts with every escape and
// multi-byte UTF-8; lists get two entries, children are filled too.
void FillAll(CNMessageBase& m) {
  const zumsg::ClassInfo& info = m.schema();
  for (unsigned i = 0; i < info.fieldCount; ++i) {
    const zumsg::FieldInfo& f = info.fields[i];
    const long long number = info.classNumber * 100LL + i;
    const std::string text = std::string(f.name) + " \"q\" 'a' & <t> \t\n\r caf\xC3\xA9 \xF0\x9D\x84\x9E";
    switch (f.kind) {
      case Kind::Integer: m.setint64(i, i == 0 ? (info.classNumber % 2 ? LLONG_MIN : LLONG_MAX) : -number); break;
      case Kind::Boolean:
      case Kind::Enum: m.setint64(i, number); break;
      case Kind::String: m.setstring(i, text); break;
      case Kind::Password: m.setpstringobject(i, bstring("V8:" + text), Annotation::PASSWORD_ENCRYPT_DEFAULT); break;
      case Kind::Object: FillAll(**m.getObjectAccessor(true, true, i, f.child->classNumber)); break;
      case Kind::List:
        for (int entry = 0; entry < 2; ++entry) FillAll(*f.child->listAppend(*m.getlistobject(i, true)));
    }
  }
}

const std::string kRequest = zutest::ReadFile(ZU_TEST_DATA_DIR "/messages-request.xml");

TEST(SchemaRoundTrip, EveryFieldOfEveryClassSurvivesObjectToXmlToObjectAndCopies) {
  ASSERT_EQ(CNMessageBase::Initialize(), 0);
  std::size_t count = 0;
  const zumsg::ClassInfo* const* classes = zumsg::AllClasses(count);
  ASSERT_EQ(count, 31u);
  for (std::size_t c = 0; c < count; ++c) {
    const zumsg::ClassInfo& info = *classes[c];
    std::unique_ptr<CNMessageBase> original(info.create()), reread(info.create());
    FillAll(*original);
    for (unsigned i = 0; i < info.fieldCount; ++i)
      EXPECT_TRUE(original->isSet(i)) << info.qualifiedName << "." << info.fields[i].name;
    const std::string xml = Xml(*original);
    ASSERT_TRUE(Load(*reread, xml)) << xml;
    std::unique_ptr<CNMessageBase> copy(info.clone(*original));
    original.reset();
    EXPECT_EQ(Xml(*reread) + Xml(*copy), xml + xml);
  }
}

TEST(MessageCopy, CopiesAreIndependentAndMovesTakeTheTree) {
  ClientSetup original, assigned;
  ASSERT_TRUE(Load(original, kRequest));
  const std::string before = Xml(original);
  ClientSetup copy(original);
  copy.setint64(ClientSetup::jobId, 99);
  zumsg::object<ClientSetup::dxInfo>(copy)->setstring(DXInfo::connectionUrl, "changed");
  zumsg::list<ClientSetup::clientComposition>(copy)->emplace_back();
  assigned.setint64(ClientSetup::localeId, 1033);
  assigned = copy;
  EXPECT_EQ(Xml(original) + Xml(assigned), before + Xml(copy));
  assigned = original;
  assigned = static_cast<const ClientSetup&>(assigned);  // self-assignment
  EXPECT_EQ(Xml(assigned), before);
  DXInfo* dx = zumsg::object<ClientSetup::dxInfo>(original);
  ClientSetup moved(std::move(original));
  EXPECT_EQ(zumsg::object<ClientSetup::dxInfo>(moved), dx) << "a move must not copy children";
  for (unsigned i = 0; i < ClientSetup::FieldCount; ++i) EXPECT_FALSE(original.isSet(i));
  original.clearField(ClientSetup::dxInfo);  // absent after the move: nothing to release
  ASSERT_TRUE(Load(original, R"(<ClientSetup jobId="5"/>)"));
  copy = std::move(moved);
  EXPECT_EQ(Xml(original) + Xml(copy) + Xml(moved), R"(<ClientSetup jobId="5"/>)" + before + "<ClientSetup/>");
}

TEST(MessageFields, SettersReplaceValuesAndClearingMakesOneFieldAbsent) {
  ClientSetup request;
  ASSERT_TRUE(Load(request, kRequest));
  auto* account = zumsg::object<ZUInstallManager::ClientAuthentication::userAccount>(
      *zumsg::object<ClientSetup::clientAuthentication>(request));
  account->setpstringobject(UserAccount::password, bstring("V3:y"), Annotation::PASSWORD_ENCRYPT_NONE);
  EXPECT_EQ((*account->getpstringobject(UserAccount::password))->encryptType(), Annotation::PASSWORD_ENCRYPT_NONE);
  // Each field cleared twice: the second time it is absent and must stay so,
  // its old value not released again, the others untouched.
  for (int round = 0; round < 2; ++round) {
    for (unsigned field :
         {ClientSetup::jobId, ClientSetup::dxInfo, ClientSetup::clientComposition, ClientSetup::organizationInfo})
      request.clearField(field);
    for (unsigned field : {UserAccount::password, UserAccount::userName}) account->clearField(field);
  }
  EXPECT_EQ(
      Xml(request),
      R"(<ClientSetup requestFlags="4096"><clientAuthentication><userAccount/></clientAuthentication></ClientSetup>)");
}

TEST(MessageFields, PresentObjectWithoutChildAndPresentEmptyListWriteNothingButStayPresent) {
  ClientSetup request;
  CNMessageBase** slot = request.getObjectAccessor(true, true, ClientSetup::dxInfo, DXInfo::kClassNumber);
  ASSERT_NE(slot, nullptr);
  CNMessageBase* child = *slot;
  child->setstring(DXInfo::connectionUrl, "kept");
  EXPECT_EQ(*request.getObjectAccessor(true, true, ClientSetup::dxInfo, DXInfo::kClassNumber), child);
  delete std::exchange(*slot, nullptr);
  void** list = request.getlistobject(ClientSetup::clientComposition, true);
  ASSERT_TRUE(list != nullptr && request.getlistobject(ClientSetup::clientComposition, false) == list);
  request.setint64(ClientSetup::jobId, 1);
  ClientSetup copy(request);
  for (ClientSetup* m : {&request, &copy}) {
    EXPECT_TRUE(m->isSet(ClientSetup::dxInfo) && zumsg::object<ClientSetup::dxInfo>(*m) == nullptr);
    const auto* entries = zumsg::list<ClientSetup::clientComposition>(*m);
    EXPECT_TRUE(entries != nullptr && entries->empty());
    EXPECT_EQ(Xml(*m), R"(<ClientSetup jobId="1"/>)");
  }
  EXPECT_FALSE(zumsg::objectCreate<ClientSetup::dxInfo>(request).isSet(DXInfo::connectionUrl));
  // A present list holding no vector gets one when asked to create.
  delete zumsg::list<ClientSetup::clientComposition>(request);
  *list = nullptr;
  EXPECT_NE(*request.getlistobject(ClientSetup::clientComposition, true), nullptr);
}

const char kPrevious[] = R"(<ClientSetup jobId="1" requestFlags="2"><dxInfo connectionUrl="old"/>)"
                         R"(<clientComposition operationType="3"/></ClientSetup>)";

std::string Nested(int depth) {
  std::string open, close;
  for (int i = 1; i < depth; ++i) open += "<x>", close += "</x>";
  return "<ClientSetup>" + open + close + "</ClientSetup>";
}

std::string Job(const std::string& value) { return "<ClientSetup jobId=\"" + value + "\"/>"; }

// Loads `xml` over kPrevious: the written form, or "LINE:COLUMN REASON" when refused, "changed" added when a
// refusal touched the target.
std::string Read(const std::string& xml) {
  ClientSetup target;
  EXPECT_TRUE(Load(target, kPrevious));
  if (target.unserialize(xml) == 0) return Xml(target);
  const zumsg::ParseError& e = CNMessageBase::LastParseError();
  return std::to_string(e.line) + ":" + std::to_string(e.column) + " " + e.reason +
         (Xml(target) == kPrevious ? "" : " changed");
}

// Each accepted document replaces all the target held and is written back as given (as itself when no form is
// shown); each refused one leaves the target as it was and says where expat stands (a start tag's '<', a
// DOCTYPE's name end) and why.
TEST(XmlReader, AcceptedDocumentsReadAsTheirCanonicalFormRefusedOnesSayWhereAndWhy) {
  std::vector<std::vector<std::string>> cases = {
      // Unknown attributes and elements are skipped with their subtrees, known names in the wrong role too.
      {zutest::ReadFile(ZU_TEST_DATA_DIR "/messages-unknown.xml"),
       R"(<ClientSetup jobId="3"><dxInfo><dxClient clientName="n"/></dxInfo></ClientSetup>)"},
      {R"(<ClientSetup remoteClient="true"/>)", R"(<ClientSetup remoteClient="1"/>)"},
      {R"(<ClientSetup remoteClient="-1"/>)"},
      {R"(<ClientSetup remoteClient="false"/>)", R"(<ClientSetup remoteClient="0"/>)"},
      {R"(<ClientSetup remoteClient="+2"/>)", R"(<ClientSetup remoteClient="2"/>)"},
      {R"(<ClientSetup jobId="9223372036854775807" localeId="-9223372036854775808" requestType="-0" )"
       R"(requestFlags="007"/>)",
       R"(<ClientSetup requestType="0" localeId="-9223372036854775808" jobId="9223372036854775807" )"
       R"(requestFlags="7"/>)"},
      {R"(<ClientSetup><dxInfo connectionUrl=""/></ClientSetup>)"},
      {R"(<ClientSetup><dxInfo/><clientComposition operationType="1"/><clientComposition operationType="2"/>)"
       R"(</ClientSetup>)"},
      // References and declared encodings arrive as UTF-8; XML itself turns a literal tab into a blank.
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
       "<ClientSetup><dxInfo connectionUrl=\"caf\xE9 &#x41;&amp;&lt;&#10;\" networkGateway=\"a\tb\"/></ClientSetup>",
       "<ClientSetup><dxInfo connectionUrl=\"caf\xC3\xA9 A&amp;&lt;&#10;\" networkGateway=\"a b\"/></ClientSetup>"},
      {R"(<ClientSetup><clientAuthentication><userAccount password="V8:abc=="/></clientAuthentication></ClientSetup>)"},
      {Nested(64), "<ClientSetup/>"},
      {Nested(65), "1:203 nesting deeper than 64"},
      {R"(<ClientSetup><dxInfo connectionUrl="&zz;"/></ClientSetup>)", "1:14 undefined entity"},
      {"<!DOCTYPE ClientSetup [<!ENTITY % p SYSTEM \"http://example.com/x.dtd\"> %p;]><ClientSetup/>",
       "1:23 DOCTYPE is not allowed"},
      {"", "1:1 no element found"},
      {"<" + std::string(60, 'R') + "/>", "1:1 unexpected root element '" + std::string(40, 'R') + "...'"},
      {"<ClientSetup>\n <user userId=\"12a\"/></ClientSetup>", "2:2 bad integer '12a' in attribute 'userId'"},
      {Job("1&#10;2"), "1:1 bad integer '1?2' in attribute 'jobId'"},  // regression: reasons stay on one line
      {"<ClientSetup><dxInfo connectionUrl=\"a\xC3\x28\"/></ClientSetup>", "1:38 not well-formed (invalid token)"},
      {"<ClientSetup><clientComposition><clientInfo/>\n<clientInfo/></clientComposition></ClientSetup>",
       "2:1 second 'clientInfo' element in 'ClientsComposition'"},
      {"<ClientSetup jobId=\"9\">\n<dxInfo connectionUrl=\"new\"/>\n<clientComposition operationType=\"x\"/>",
       "3:1 bad integer 'x' in attribute 'operationType'"}};
  // Job("1:"): ':' follows '9'.
  for (std::string v : {"", "-", "1:", "9223372036854775808", "-9223372036854775809", "true", "TRUE"})
    cases.push_back({Job(v), "1:1 bad integer '" + v + "' in attribute 'jobId'"});
  for (const auto& c : cases) EXPECT_EQ(Read(c.front()), c.back()) << c.front().substr(0, 80);
}

TEST(XmlReaderErrors, LastParseErrorBelongsToTheCallingThread) {
  std::string there;
  std::thread other(
      [&] { there = ClientSetup().unserialize(Job("x")) != 0 ? CNMessageBase::LastParseError().reason : "loaded"; });
  EXPECT_NE(ClientSetup().unserialize(R"(<Other/>)"), 0);
  other.join();
  EXPECT_EQ(CNMessageBase::LastParseError().reason + "|" + there,
            "unexpected root element 'Other'|bad integer 'x' in attribute 'jobId'");
}

TEST(XmlWriterErrors, TextXmlCannotCarryGivesItsErrorNumber) {
  // Cut or overlong UTF-8 and code points past U+10FFFF give 84; controls, surrogates and non-characters 86.
  const std::pair<int, std::vector<std::string>> cases[] = {
      {84,
       {"ab\xC3", "\xC3(", "a\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xF4\x90\x80\x80",
        "\xF8\x88\x80\x80\x80", "caf\xE9"}},
      {86, {"bell\x07", "\x1B[0m", std::string("a\0b", 3), "\xED\xA0\x80", "\xEF\xBF\xBE", "\xEF\xBF\xBF"}}};
  XMLEncoder encoder(Flags(), nullptr);
  std::string xml;
  // Deep in the tree, so the error must travel up through every level; passwords are checked like any text.
  ClientSetup request;
  auto& info = zumsg::objectCreate<ZUInstallManager::ClientsComposition::clientInfo>(
      zumsg::listCreate<ClientSetup::clientComposition>(request).emplace_back());
  auto& os = zumsg::objectCreate<App::Client::osInfo>(zumsg::objectCreate<App::ClientInfo::client>(info));
  UserAccount account;
  for (const auto& [error, texts] : cases) {
    for (const std::string& text : texts) {
      os.setstring(App::OsInfo::osName, text);
      account.setpstringobject(UserAccount::password, bstring(text), Annotation::PASSWORD_ENCRYPT_DEFAULT);
      EXPECT_EQ(std::make_pair(encoder.serialize(&request, xml, false), encoder.serialize(&account, xml, false)),
                std::make_pair(error, error))
          << ::testing::PrintToString(text);
    }
  }
  EXPECT_EQ(encoder.serialize(nullptr, xml, false), 22);
}

TEST(XmlWriterForm, SchemaOrderWhateverTheSettingOrderReplacingTheOutputDeclarationOnlyWhenAsked) {
  ClientSetup request;
  request.setint64(ClientSetup::subscriptionId, 9);
  zumsg::objectCreate<ClientSetup::organizationInfo>(request);
  zumsg::objectCreate<ClientSetup::dxInfo>(request).setstring(DXInfo::networkGateway, "g&<>\"'\t\n\r");
  request.setint64(ClientSetup::remoteClient, 1);
  request.setint64(ClientSetup::jobId, -42);
  const std::string expected =
      R"(<ClientSetup remoteClient="1" jobId="-42" subscriptionId="9">)"
      R"(<dxInfo networkGateway="g&amp;&lt;&gt;&quot;'&#9;&#10;&#13;"/><organizationInfo/></ClientSetup>)";
  XMLEncoder encoder(Flags(), nullptr);
  std::string xml(100000, '#'), declared = xml;
  ASSERT_EQ(encoder.serialize(&request, xml, false) + encoder.serialize(&request, declared, true), 0);
  EXPECT_EQ(xml + declared, expected + R"(<?xml version="1.0" encoding="UTF-8"?>)" + expected);
  // A number written wherever the output's room runs out.
  for (std::size_t length = 0; length < 600; ++length) {
    ClientSetup padded;
    zumsg::objectCreate<ClientSetup::dxInfo>(padded).setstring(DXInfo::connectionUrl, std::string(length, 'x'));
    zumsg::listCreate<ClientSetup::clientComposition>(padded).emplace_back().setint64(
        ZUInstallManager::ClientsComposition::operationType, LLONG_MIN);
    EXPECT_EQ(Xml(padded), R"(<ClientSetup><dxInfo connectionUrl=")" + std::string(length, 'x') +
                               R"("/><clientComposition operationType="-9223372036854775808"/></ClientSetup>)");
  }
}

}  // namespace
