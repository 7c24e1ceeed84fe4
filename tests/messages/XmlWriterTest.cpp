// serialize: the compact form, escaping that survives a round trip, and the
// error numbers for text XML 1.0 cannot carry.
#include <gtest/gtest.h>

#include "MessageTestSupport.h"

namespace {

using msgtest::Load;
using msgtest::Xml;
using ZUInstallManager::ClientSetup;
using ZUInstallManager::DXInfo;

TEST(XmlWriterEscaping, SpecialCharactersBecomeReferencesAndReadBack) {
  struct Case {
    std::string text;
    std::string written;
  } cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"a&b", "a&amp;b"},
      {"<tag>", "&lt;tag&gt;"},
      {"say \"hi\" 'there'", "say &quot;hi&quot; 'there'"},
      {"tab\there", "tab&#9;here"},
      {"line\nfeed\r\nend", "line&#10;feed&#13;&#10;end"},
      {"&&&", "&amp;&amp;&amp;"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E"},
      {"\xF4\x8F\xBF\xBF \xEF\xBF\xBD \x7F \xC2\x85", "\xF4\x8F\xBF\xBF \xEF\xBF\xBD \x7F \xC2\x85"},
      {std::string(5000, 'x') + "&", std::string(5000, 'x') + "&amp;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    ClientSetup request;
    zumsg::objectCreate<ClientSetup::dxInfo>(request).setstring(DXInfo::connectionUrl, c.text);
    std::string xml = Xml(request);
    EXPECT_EQ(xml, std::string(R"(<ClientSetup><dxInfo connectionUrl=")") + c.written + R"("/></ClientSetup>)");
    ClientSetup reread;
    ASSERT_TRUE(Load(reread, xml));
    EXPECT_EQ(zumsg::object<ClientSetup::dxInfo>(reread)->getstring(DXInfo::connectionUrl), c.text);
  }
}

TEST(XmlWriterErrors, TextXmlCannotCarryGivesItsErrorNumber) {
  struct Case {
    const char* name;
    std::string text;
    int error;
  } cases[] = {
      {"lone lead byte at the end", "ab\xC3", XMLEncoder::kInvalidUtf8},
      {"lead byte then ASCII", "\xC3(", XMLEncoder::kInvalidUtf8},
      {"stray continuation byte", "a\x80", XMLEncoder::kInvalidUtf8},
      {"overlong two bytes", "\xC0\xAF", XMLEncoder::kInvalidUtf8},
      {"overlong three bytes", "\xE0\x80\xAF", XMLEncoder::kInvalidUtf8},
      {"overlong four bytes", "\xF0\x80\x80\xAF", XMLEncoder::kInvalidUtf8},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", XMLEncoder::kInvalidUtf8},
      {"five-byte form", "\xF8\x88\x80\x80\x80", XMLEncoder::kInvalidUtf8},
      {"latin-1 byte", "caf\xE9", XMLEncoder::kInvalidUtf8},
      {"C0 control", "bell\x07", XMLEncoder::kNotXmlChar},
      {"escape control", "\x1B[0m", XMLEncoder::kNotXmlChar},
      {"embedded NUL", std::string("a\0b", 3), XMLEncoder::kNotXmlChar},
      {"surrogate", "\xED\xA0\x80", XMLEncoder::kNotXmlChar},
      {"U+FFFE", "\xEF\xBF\xBE", XMLEncoder::kNotXmlChar},
      {"U+FFFF", "\xEF\xBF\xBF", XMLEncoder::kNotXmlChar},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClientSetup request;
    // Deep in the tree, so the error must travel up through every level.
    auto& entries = zumsg::listCreate<ClientSetup::clientComposition>(request);
    entries.emplace_back();
    auto& info = zumsg::objectCreate<ZUInstallManager::ClientsComposition::clientInfo>(entries.back());
    auto& client = zumsg::objectCreate<App::ClientInfo::client>(info);
    zumsg::objectCreate<App::Client::osInfo>(client).setstring(App::OsInfo::osName, c.text);
    XMLEncoder encoder(msgtest::Flags(), nullptr);
    std::string xml;
    EXPECT_EQ(encoder.serialize(&request, xml, false), c.error);
  }
}

TEST(XmlWriterErrors, PasswordTextIsCheckedLikeAnyTextAndNullMessageIsRefused) {
  ZuSecurity::UserAccount account;
  account.setpstringobject(ZuSecurity::UserAccount::password, bstring("\x01"), Annotation::PASSWORD_ENCRYPT_DEFAULT);
  XMLEncoder encoder(msgtest::Flags(), nullptr);
  std::string xml;
  EXPECT_EQ(encoder.serialize(&account, xml, false), XMLEncoder::kNotXmlChar);
  account.setpstringobject(ZuSecurity::UserAccount::password, bstring("V8:a\"b"), Annotation::PASSWORD_ENCRYPT_DEFAULT);
  EXPECT_EQ(Xml(account), R"(<UserAccount password="V8:a&quot;b"/>)");
  EXPECT_EQ(encoder.serialize(nullptr, xml, false), XMLEncoder::kInvalidArgument);
}

TEST(XmlWriterForm, AttributesThenChildrenInSchemaOrderWhateverTheSettingOrder) {
  ClientSetup request;
  request.setint64(ClientSetup::subscriptionId, 9);
  zumsg::objectCreate<ClientSetup::organizationInfo>(request);
  zumsg::objectCreate<ClientSetup::dxInfo>(request).setstring(DXInfo::networkGateway, "g");
  request.setint64(ClientSetup::remoteClient, 1);
  request.setint64(ClientSetup::jobId, -42);
  EXPECT_EQ(Xml(request),
            R"(<ClientSetup remoteClient="1" jobId="-42" subscriptionId="9"><dxInfo networkGateway="g"/><organizationInfo/></ClientSetup>)");
}

TEST(XmlWriterForm, OutputReplacesWhateverTheStringHeldAndHasADeclarationOnlyWhenAsked) {
  ClientSetup request;
  request.setint64(ClientSetup::jobId, 1);
  XMLEncoder encoder(msgtest::Flags(), nullptr);
  std::string xml(100000, '#');
  ASSERT_EQ(encoder.serialize(&request, xml, false), 0);
  EXPECT_EQ(xml, R"(<ClientSetup jobId="1"/>)");
  xml = "short";
  ASSERT_EQ(encoder.serialize(&request, xml, true), 0);
  EXPECT_EQ(xml, R"(<?xml version="1.0" encoding="UTF-8"?><ClientSetup jobId="1"/>)");
  ClientSetup reread;
  EXPECT_TRUE(Load(reread, xml));
}

}  // namespace
