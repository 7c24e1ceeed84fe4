// unserialize: the vocabulary, what it skips, and every refusal leaving the
// target exactly as it was with a positioned reason on one line.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "MessageTestSupport.h"

namespace {

using msgtest::Load;
using msgtest::Xml;
using ZUInstallManager::ClientSetup;

const char kPrevious[] =
    R"(<ClientSetup jobId="1" requestFlags="2"><dxInfo connectionUrl="old"/><clientComposition operationType="3"/></ClientSetup>)";

std::string Nested(int depth) {
  std::string open, close;
  for (int i = 1; i < depth; ++i) open += "<x>", close += "</x>";
  return "<ClientSetup>" + open + close + "</ClientSetup>";
}

std::string Job(const std::string& value) { return "<ClientSetup jobId=\"" + value + "\"/>"; }

TEST(XmlReaderRefusals, LeaveTargetUnchangedAndSayWhereAndWhy) {
  const std::string entities = "<?xml version=\"1.0\"?>\n<!DOCTYPE ClientSetup [\n <!ENTITY a \"aaaaaaaaaa\">\n"
                               " <!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n]>\n<ClientSetup jobId=\"&b;\"/>";
  // reason: the whole reason, or its start when it ends with '*'; line and column: where expat
  // stands: a start tag's '<', an end tag's name, a DOCTYPE's name end.
  const struct { std::string xml, reason; unsigned long line, column; } refusals[] = {
      {"<ClientSetup>\n  <dxInfo></ClientSetup>", "mismatched tag", 2, 13},
      {"", "no element found", 1, 1},
      {"hello", "syntax error", 1, 1},
      {"<ClientSetup/><ClientSetup/>", "junk after document element", 1, 15},
      {R"(<ClientSetup><dxInfo connectionUrl="&zz;"/></ClientSetup>)", "undefined entity", 1, 14},
      {entities, "DOCTYPE is not allowed", 2, 23},
      {"<!DOCTYPE ClientSetup SYSTEM \"file:///etc/passwd\"><ClientSetup/>", "DOCTYPE is not allowed", 1, 50},
      {"<!DOCTYPE ClientSetup [<!ENTITY % p SYSTEM \"http://example.com/x.dtd\"> %p;]><ClientSetup/>", "DOCTYPE is not allowed", 1, 23},
      {"<ClientsComposition operationType=\"1\"/>", "unexpected root element 'ClientsComposition'", 1, 1},
      {"<" + std::string(60, 'R') + "/>", "unexpected root element 'RRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRR...'", 1, 1},
      {"<ClientSetup>\n <user userId=\"12a\"/></ClientSetup>", "bad integer '12a' in attribute 'userId'", 2, 2},
      {Job(""), "bad integer '' in attribute 'jobId'", 1, 1},
      {Job("-"), "bad integer '-' in attribute 'jobId'", 1, 1},
      {Job("1:"), "bad integer '1:' in attribute 'jobId'", 1, 1},  // ':' follows '9'
      {Job("1&#10;2"), "bad integer '1?2' in attribute 'jobId'", 1, 1},  // regression: reasons stay on one line
      {Job("9223372036854775808"), "bad integer '9223372036854775808' in attribute 'jobId'", 1, 1},
      {Job("-9223372036854775809"), "bad integer '-9223372036854775809' in attribute 'jobId'", 1, 1},
      {Job("99999999999999999999"), "bad integer '99999999999999999999'*", 1, 1},
      {Job("true"), "bad integer 'true' in attribute 'jobId'", 1, 1},
      {R"(<ClientSetup remoteClient="TRUE"/>)", "bad integer 'TRUE' in attribute 'remoteClient'", 1, 1},
      {R"(<ClientSetup operationType="SIM_INSTALL"/>)", "bad integer 'SIM_INSTALL'*", 1, 1},
      {"<ClientSetup><dxInfo connectionUrl=\"a\xC3\x28\"/></ClientSetup>", "not well-formed (invalid token)", 1, 38},
      {"<ClientSetup><dxInfo/><dxInfo/></ClientSetup>", "second 'dxInfo' element in 'ClientSetup'", 1, 23},
      {"<ClientSetup><clientComposition><clientInfo/>\n<clientInfo/></clientComposition></ClientSetup>", "second 'clientInfo' element in 'ClientsComposition'", 2, 1},
      {Nested(65), "nesting deeper than 64", 1, 13 + 3 * 63 + 1},
      {"<ClientSetup jobId=\"9\">\n<dxInfo connectionUrl=\"new\"/>\n<clientComposition operationType=\"x\"/></ClientSetup>", "bad integer 'x' in attribute 'operationType'", 3, 1},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.xml.substr(0, 80));
    ClientSetup target;
    ASSERT_TRUE(Load(target, kPrevious));
    EXPECT_NE(target.unserialize(r.xml), 0);
    const zumsg::ParseError& e = CNMessageBase::LastParseError();
    const bool prefix = r.reason.back() == '*';
    EXPECT_EQ(prefix ? e.reason.substr(0, r.reason.size() - 1) : e.reason, prefix ? r.reason.substr(0, r.reason.size() - 1) : r.reason);
    EXPECT_EQ(std::make_pair(e.line, e.column), std::make_pair(r.line, r.column));
    EXPECT_EQ(Xml(target), kPrevious);
  }
}

TEST(XmlReaderRefusals, EveryProperPrefixOfADocumentFailsCleanly) {
  const std::string document =
      "<?xml version=\"1.0\"?>\n<ClientSetup jobId=\"5\"><dxInfo connectionUrl=\"caf\xC3\xA9 &amp; b\">"
      "<dxClient clientName=\"dx01\"/></dxInfo><!-- c --><clientComposition operationType=\"1\"/>"
      "<clientComposition><components><packages packageId=\"7\"/></components></clientComposition></ClientSetup>";
  ClientSetup target;
  ASSERT_TRUE(Load(target, kPrevious));
  for (std::size_t n = 0; n < document.size(); ++n) {
    ASSERT_NE(target.unserialize(document.data(), n), 0) << "prefix of " << n << " bytes loaded";
    ASSERT_TRUE(!CNMessageBase::LastParseError().reason.empty() && CNMessageBase::LastParseError().line >= 1u) << n;
    ASSERT_EQ(Xml(target), kPrevious) << "prefix of " << n << " bytes changed the target";
  }
  ASSERT_TRUE(Load(target, document));
  EXPECT_EQ(zumsg::list<ClientSetup::clientComposition>(target)->size(), 2u);
}

// Each document replaces all the target held and is written back as given
// (as itself when no form is shown).
TEST(XmlReaderVocabulary, AcceptedDocumentsReadAsTheirCanonicalForm) {
  const std::vector<std::string> cases[] = {
      {R"(<ClientSetup requestType="4"/>)"},
      // Unknown attributes and elements are skipped with their subtrees.
      {R"(<ClientSetup future="1" jobId="3" dxInfo="attribute naming an object field">)"
       R"(<later a="b"><dxInfo connectionUrl="inside unknown"/><later><later/></later></later><jobId>77</jobId><requestType/>)"
       R"(<dxInfo><unknownChild/><dxClient clientName="n" newField="x"/></dxInfo></ClientSetup>)",
       R"(<ClientSetup jobId="3"><dxInfo><dxClient clientName="n"/></dxInfo></ClientSetup>)"},
      {R"(<ClientSetup remoteClient="true"/>)", R"(<ClientSetup remoteClient="1"/>)"}, {R"(<ClientSetup remoteClient="-1"/>)"},
      {R"(<ClientSetup remoteClient="false"/>)", R"(<ClientSetup remoteClient="0"/>)"}, {R"(<ClientSetup remoteClient="+2"/>)", R"(<ClientSetup remoteClient="2"/>)"},
      {R"(<ClientSetup jobId="9223372036854775807" localeId="-9223372036854775808" requestType="-0" requestFlags="007"/>)",
       R"(<ClientSetup requestType="0" localeId="-9223372036854775808" jobId="9223372036854775807" requestFlags="7"/>)"},
      {R"(<ClientSetup><dxInfo connectionUrl=""/></ClientSetup>)"},
      {R"(<ClientSetup><dxInfo/><clientComposition operationType="1"/><clientComposition operationType="2"/></ClientSetup>)"},
      // References and declared encodings arrive as UTF-8; XML itself turns a literal tab into a blank.
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
       "<ClientSetup><dxInfo connectionUrl=\"caf\xE9 &#x41;&amp;&lt;&#10;\" networkGateway=\"a\tb\"/></ClientSetup>",
       "<ClientSetup><dxInfo connectionUrl=\"caf\xC3\xA9 A&amp;&lt;&#10;\" networkGateway=\"a b\"/></ClientSetup>"},
      {R"(<ClientSetup><clientAuthentication><userAccount password="V8:abc=="/></clientAuthentication></ClientSetup>)"},
      {Nested(64), "<ClientSetup/>"},
  };
  for (const auto& c : cases) {
    ClientSetup target;
    ASSERT_TRUE(Load(target, kPrevious) && Load(target, c.front()));
    EXPECT_EQ(Xml(target), c.back());
  }
}

TEST(XmlReaderErrors, LastParseErrorBelongsToTheCallingThread) {
  std::string there;
  std::thread other([&] {
    EXPECT_NE(ClientSetup().unserialize(Job("x")), 0);
    there = CNMessageBase::LastParseError().reason;
  });
  EXPECT_NE(ClientSetup().unserialize(R"(<Other/>)"), 0);
  other.join();
  EXPECT_EQ(CNMessageBase::LastParseError().reason + "|" + there, "unexpected root element 'Other'|bad integer 'x' in attribute 'jobId'");
}

}  // namespace
