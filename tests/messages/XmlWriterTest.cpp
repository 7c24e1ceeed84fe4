// serialize: the compact form in schema order, escaping that survives a round
// trip, and the error numbers for text XML 1.0 cannot carry.
#include <gtest/gtest.h>

#include "MessageTestSupport.h"

namespace {

using msgtest::Load;
using msgtest::Xml;
using ZUInstallManager::ClientSetup;
using ZUInstallManager::DXInfo;

TEST(XmlWriterEscaping, SpecialCharactersBecomeReferencesAndReadBack) {
  const struct { std::string text, written; } cases[] = {
      {"", ""}, {"a&b <tag> &&", "a&amp;b &lt;tag&gt; &amp;&amp;"}, {"say \"hi\" 'there'", "say &quot;hi&quot; 'there'"},
      {"tab\there line\nfeed\r\nend", "tab&#9;here line&#10;feed&#13;&#10;end"},
      {"caf\xC3\xA9 \xDF\xBF \xE2\x82\xAC \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF \xEF\xBF\xBD \x7F \xC2\x85",
       "caf\xC3\xA9 \xDF\xBF \xE2\x82\xAC \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF \xEF\xBF\xBD \x7F \xC2\x85"},
      {std::string(5000, 'x') + "&", std::string(5000, 'x') + "&amp;"},
  };
  for (const auto& c : cases) {
    ClientSetup request;
    zumsg::objectCreate<ClientSetup::dxInfo>(request).setstring(DXInfo::connectionUrl, c.text);
    const std::string xml = Xml(request);
    EXPECT_EQ(xml, R"(<ClientSetup><dxInfo connectionUrl=")" + c.written + R"("/></ClientSetup>)");
    ClientSetup reread;
    ASSERT_TRUE(Load(reread, xml));
    EXPECT_EQ(zumsg::object<ClientSetup::dxInfo>(reread)->getstring(DXInfo::connectionUrl), c.text);
  }
}

TEST(XmlWriterErrors, TextXmlCannotCarryGivesItsErrorNumber) {
  const struct { std::string text; int error; } cases[] = {
      {"ab\xC3", 84}, {"\xC3(", 84}, {"a\x80", 84}, {"\xC0\xAF", 84}, {"\xE0\x80\xAF", 84}, {"\xF0\x80\x80\xAF", 84},
      {"\xF4\x90\x80\x80", 84}, {"\xF8\x88\x80\x80\x80", 84}, {"caf\xE9", 84}, {"bell\x07", 86}, {"\x1B[0m", 86},
      {std::string("a\0b", 3), 86}, {"\xED\xA0\x80", 86}, {"\xEF\xBF\xBE", 86}, {"\xEF\xBF\xBF", 86},
  };
  XMLEncoder encoder(msgtest::Flags(), nullptr);
  std::string xml;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    ClientSetup request;
    // Deep in the tree, so the error must travel up through every level.
    auto& info = zumsg::objectCreate<ZUInstallManager::ClientsComposition::clientInfo>(zumsg::listCreate<ClientSetup::clientComposition>(request).emplace_back());
    zumsg::objectCreate<App::Client::osInfo>(zumsg::objectCreate<App::ClientInfo::client>(info)).setstring(App::OsInfo::osName, c.text);
    EXPECT_EQ(encoder.serialize(&request, xml, false), c.error);
    ZuSecurity::UserAccount account;  // passwords are checked like any text
    account.setpstringobject(ZuSecurity::UserAccount::password, bstring(c.text), Annotation::PASSWORD_ENCRYPT_DEFAULT);
    EXPECT_EQ(encoder.serialize(&account, xml, false), c.error);
  }
  EXPECT_EQ(encoder.serialize(nullptr, xml, false), 22);
}

TEST(XmlWriterForm, SchemaOrderWhateverTheSettingOrderReplacingTheOutputDeclarationOnlyWhenAsked) {
  ClientSetup request;
  request.setint64(ClientSetup::subscriptionId, 9);
  zumsg::objectCreate<ClientSetup::organizationInfo>(request);
  zumsg::objectCreate<ClientSetup::dxInfo>(request).setstring(DXInfo::networkGateway, "g");
  request.setint64(ClientSetup::remoteClient, 1);
  request.setint64(ClientSetup::jobId, -42);
  const std::string expected =
      R"(<ClientSetup remoteClient="1" jobId="-42" subscriptionId="9"><dxInfo networkGateway="g"/><organizationInfo/></ClientSetup>)";
  XMLEncoder encoder(msgtest::Flags(), nullptr);
  std::string xml(100000, '#'), declared = xml;
  ASSERT_EQ(encoder.serialize(&request, xml, false) + encoder.serialize(&request, declared, true), 0);
  EXPECT_EQ(xml + declared, expected + R"(<?xml version="1.0" encoding="UTF-8"?>)" + expected);
  // A number written wherever the output's room runs out.
  for (std::size_t length = 0; length < 600; ++length) {
    ClientSetup padded;
    zumsg::objectCreate<ClientSetup::dxInfo>(padded).setstring(DXInfo::connectionUrl, std::string(length, 'x'));
    zumsg::listCreate<ClientSetup::clientComposition>(padded).emplace_back().setint64(ZUInstallManager::ClientsComposition::operationType, LLONG_MIN);
    EXPECT_EQ(Xml(padded), R"(<ClientSetup><dxInfo connectionUrl=")" + std::string(length, 'x') +
                               R"("/><clientComposition operationType="-9223372036854775808"/></ClientSetup>)");
  }
}

}  // namespace
