// unserialize: the vocabulary, what it skips, and every refusal leaving the
// target exactly as it was with a positioned reason.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "MessageTestSupport.h"

namespace {

using msgtest::Load;
using msgtest::Xml;
using ZUInstallManager::ClientSetup;

const char kPrevious[] =
    R"(<ClientSetup jobId="1" requestFlags="2"><dxInfo connectionUrl="old"/>)"
    R"(<clientComposition operationType="3"/></ClientSetup>)";

std::string Nested(int depth) {
  std::string xml = "<ClientSetup>";
  for (int i = 1; i < depth; ++i) xml += "<x>";
  for (int i = 1; i < depth; ++i) xml += "</x>";
  return xml + "</ClientSetup>";
}

struct Refusal {
  const char* name;
  std::string xml;
  const char* reason;  // the whole reason, or its start when it ends with '*'
  unsigned long line;
  unsigned long column;  // where expat stands: a start tag's '<', an end tag's name, a DOCTYPE's name end
};

TEST(XmlReaderRefusals, LeaveTargetUnchangedAndSayWhereAndWhy) {
  const std::string billionLaughs =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE ClientSetup [\n"
      " <!ENTITY a \"aaaaaaaaaa\">\n"
      " <!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
      " <!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">\n"
      " <!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">\n"
      "]>\n"
      "<ClientSetup jobId=\"1\"><dxInfo connectionUrl=\"&d;&d;&d;&d;&d;&d;\"/></ClientSetup>";
  const Refusal refusals[] = {
      {"mismatched tag", "<ClientSetup>\n  <dxInfo></ClientSetup>", "mismatched tag", 2, 13},
      {"empty text", "", "no element found", 1, 1},
      {"text only", "hello", "syntax error", 1, 1},
      {"second root", "<ClientSetup/><ClientSetup/>", "junk after document element", 1, 15},
      {"undefined entity", R"(<ClientSetup><dxInfo connectionUrl="&zz;"/></ClientSetup>)", "undefined entity", 1, 14},
      {"DOCTYPE entity bomb", billionLaughs, "DOCTYPE is not allowed", 2, 23},
      {"DOCTYPE without subset", "<!DOCTYPE ClientSetup><ClientSetup/>", "DOCTYPE is not allowed", 1, 22},
      {"wrong root", "<ClientsComposition operationType=\"1\"/>", "unexpected root element 'ClientsComposition'", 1, 1},
      {"long wrong root is cut",
       "<" + std::string(60, 'R') + "/>", "unexpected root element 'RRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRR...'", 1, 1},
      {"letters in integer", R"(<ClientSetup jobId="abc"/>)", "bad integer 'abc' in attribute 'jobId'", 1, 1},
      {"trailing letter", "<ClientSetup>\n <user userId=\"12a\"/></ClientSetup>", "bad integer '12a' in attribute 'userId'", 2, 2},
      {"blank around integer", R"(<ClientSetup jobId=" 1"/>)", "bad integer ' 1' in attribute 'jobId'", 1, 1},
      {"empty integer", R"(<ClientSetup jobId=""/>)", "bad integer '' in attribute 'jobId'", 1, 1},
      {"sign only", R"(<ClientSetup jobId="-"/>)", "bad integer '-' in attribute 'jobId'", 1, 1},
      {"hexadecimal", R"(<ClientSetup jobId="0x10"/>)", "bad integer '0x10' in attribute 'jobId'", 1, 1},
      {"fraction", R"(<ClientSetup jobId="1.5"/>)", "bad integer '1.5' in attribute 'jobId'", 1, 1},
      {"one past the largest", R"(<ClientSetup jobId="9223372036854775808"/>)",
       "bad integer '9223372036854775808' in attribute 'jobId'", 1, 1},
      {"one past the smallest", R"(<ClientSetup jobId="-9223372036854775809"/>)",
       "bad integer '-9223372036854775809' in attribute 'jobId'", 1, 1},
      {"far past the largest", R"(<ClientSetup jobId="99999999999999999999"/>)", "bad integer '99999999999999999999'*", 1, 1},
      {"true for a plain integer", R"(<ClientSetup jobId="true"/>)", "bad integer 'true' in attribute 'jobId'", 1, 1},
      {"upper-case boolean", R"(<ClientSetup remoteClient="TRUE"/>)", "bad integer 'TRUE' in attribute 'remoteClient'", 1, 1},
      {"bad enumeration", R"(<ClientSetup operationType="SIM_INSTALL"/>)", "bad integer 'SIM_INSTALL'*", 1, 1},
      {"invalid UTF-8 in attribute", "<ClientSetup><dxInfo connectionUrl=\"a\xC3\x28\"/></ClientSetup>",
       "not well-formed (invalid token)", 1, 38},
      {"second element for object field", "<ClientSetup><dxInfo/><dxInfo/></ClientSetup>",
       "second 'dxInfo' element in 'ClientSetup'", 1, 23},
      {"second object element deeper", "<ClientSetup><clientComposition><clientInfo/>\n<clientInfo/></clientComposition></ClientSetup>",
       "second 'clientInfo' element in 'ClientsComposition'", 2, 1},
      {"nesting one too deep", Nested(65), "nesting deeper than 64", 1, 13 + 3 * 63 + 1},
      {"failure after much was built",
       "<ClientSetup jobId=\"9\">\n<dxInfo connectionUrl=\"new\"/>\n<clientComposition operationType=\"x\"/></ClientSetup>",
       "bad integer 'x' in attribute 'operationType'", 3, 1},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.name);
    ClientSetup target;
    ASSERT_TRUE(Load(target, kPrevious));
    const std::string before = Xml(target);
    EXPECT_NE(target.unserialize(r.xml), 0);
    const zumsg::ParseError& e = CNMessageBase::LastParseError();
    std::string expected = r.reason;
    if (!expected.empty() && expected.back() == '*') {
      expected.pop_back();
      EXPECT_EQ(e.reason.substr(0, expected.size()), expected);
    } else {
      EXPECT_EQ(e.reason, expected);
    }
    EXPECT_EQ(e.line, r.line);
    EXPECT_EQ(e.column, r.column);
    EXPECT_EQ(Xml(target), before);
  }
}

TEST(XmlReaderRefusals, EveryProperPrefixOfADocumentFailsCleanly) {
  // Stands in for feeding a stream byte by byte: the API takes whole texts.
  const std::string document =
      "<?xml version=\"1.0\"?>\n<ClientSetup jobId=\"5\"><dxInfo connectionUrl=\"caf\xC3\xA9 &amp; b\">"
      "<dxClient clientName=\"dx01\"/></dxInfo><!-- c --><clientComposition operationType=\"1\"/>"
      "<clientComposition><components><packages packageId=\"7\"/></components></clientComposition></ClientSetup>";
  ClientSetup target;
  ASSERT_TRUE(Load(target, kPrevious));
  const std::string before = Xml(target);
  for (std::size_t n = 0; n < document.size(); ++n) {
    ASSERT_NE(target.unserialize(document.data(), n), 0) << "prefix of " << n << " bytes loaded";
    ASSERT_FALSE(CNMessageBase::LastParseError().reason.empty());
    ASSERT_GE(CNMessageBase::LastParseError().line, 1u);
    ASSERT_EQ(Xml(target), before) << "prefix of " << n << " bytes changed the target";
  }
  ASSERT_TRUE(Load(target, document));
  EXPECT_EQ(target.getint64(ClientSetup::jobId), 5);
  EXPECT_EQ(zumsg::list<ClientSetup::clientComposition>(target)->size(), 2u);
}

// Each document replaces all the target held and is written back as given.
TEST(XmlReaderVocabulary, AcceptedDocumentsReadAsTheirCanonicalForm) {
  const struct {
    const char* name;
    std::string xml;
    std::string written;
  } cases[] = {
      {"replaces what was held", R"(<ClientSetup requestType="4"/>)", R"(<ClientSetup requestType="4"/>)"},
      {"unknown attributes and elements skipped with their subtrees",
       R"(<ClientSetup future="1" jobId="3" dxInfo="attribute naming an object field">)"
       R"(<later a="b"><dxInfo connectionUrl="inside unknown"/><later><later/></later></later>)"
       R"(<jobId>77</jobId><requestType/>)"
       R"(<dxInfo><unknownChild/><dxClient clientName="n" newField="x"/></dxInfo></ClientSetup>)",
       R"(<ClientSetup jobId="3"><dxInfo><dxClient clientName="n"/></dxInfo></ClientSetup>)"},
      {"boolean true", R"(<ClientSetup remoteClient="true"/>)", R"(<ClientSetup remoteClient="1"/>)"},
      {"boolean false", R"(<ClientSetup remoteClient="false"/>)", R"(<ClientSetup remoteClient="0"/>)"},
      {"boolean as number", R"(<ClientSetup remoteClient="+2"/>)", R"(<ClientSetup remoteClient="2"/>)"},
      {"boolean negative", R"(<ClientSetup remoteClient="-1"/>)", R"(<ClientSetup remoteClient="-1"/>)"},
      {"both ends of 64 bits",
       R"(<ClientSetup jobId="9223372036854775807" localeId="-9223372036854775808" requestType="-0" requestFlags="007"/>)",
       R"(<ClientSetup requestType="0" localeId="-9223372036854775808" jobId="9223372036854775807" requestFlags="7"/>)"},
      {"empty attribute is a present empty string", R"(<ClientSetup><dxInfo connectionUrl=""/></ClientSetup>)",
       R"(<ClientSetup><dxInfo connectionUrl=""/></ClientSetup>)"},
      {"empty element is a present object, list entries keep order",
       R"(<ClientSetup><dxInfo/><clientComposition operationType="1"/><clientComposition operationType="2"/></ClientSetup>)",
       R"(<ClientSetup><dxInfo/><clientComposition operationType="1"/><clientComposition operationType="2"/></ClientSetup>)"},
      // A literal tab in an attribute is normalised to a blank by XML itself.
      {"references and declared encodings arrive as UTF-8",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
       "<ClientSetup><dxInfo connectionUrl=\"caf\xE9 &#x41;&amp;&lt;&#10;\" networkGateway=\"a\tb\"/></ClientSetup>",
       "<ClientSetup><dxInfo connectionUrl=\"caf\xC3\xA9 A&amp;&lt;&#10;\" networkGateway=\"a b\"/></ClientSetup>"},
      {"password stored as given",
       R"(<ClientSetup><clientAuthentication><userAccount password="V8:abc=="/></clientAuthentication></ClientSetup>)",
       R"(<ClientSetup><clientAuthentication><userAccount password="V8:abc=="/></clientAuthentication></ClientSetup>)"},
      {"nesting of 64", Nested(64), "<ClientSetup/>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClientSetup target;
    ASSERT_TRUE(Load(target, kPrevious));
    ASSERT_TRUE(Load(target, c.xml));
    EXPECT_EQ(Xml(target), c.written);
  }
}

TEST(XmlReaderVocabulary, AnyClassReadsAsARootNamedAfterIt) {
  ZuEntities::ClientEntity entity;
  ASSERT_TRUE(Load(entity, R"(<ClientEntity clientId="4" clientName="c4"/>)"));
  EXPECT_EQ(entity.getstring(ZuEntities::ClientEntity::clientName), "c4");
  EXPECT_NE(entity.unserialize(R"(<ClientSetup/>)"), 0);
  EXPECT_EQ(CNMessageBase::LastParseError().reason, "unexpected root element 'ClientSetup'");
}

TEST(XmlReaderErrors, LastParseErrorBelongsToTheCallingThread) {
  std::string here;
  std::string there;
  std::thread other([&] {
    ClientSetup m;
    EXPECT_NE(m.unserialize(R"(<ClientSetup jobId="x"/>)"), 0);
    there = CNMessageBase::LastParseError().reason;
  });
  ClientSetup m;
  EXPECT_NE(m.unserialize(R"(<Other/>)"), 0);
  other.join();
  here = CNMessageBase::LastParseError().reason;
  EXPECT_EQ(here, "unexpected root element 'Other'");
  EXPECT_EQ(there, "bad integer 'x' in attribute 'jobId'");
}

}  // namespace
