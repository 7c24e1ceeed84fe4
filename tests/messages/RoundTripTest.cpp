// Every field of every class survives object -> XML -> object, and a
// hand-written request survives XML -> object -> XML.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "MessageTestSupport.h"

namespace {

using msgtest::DeepEqual;
using msgtest::Load;
using msgtest::Xml;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(SchemaRoundTrip, EveryFieldOfEveryClassSurvivesObjectToXmlToObject) {
  ASSERT_EQ(CNMessageBase::Initialize(), 0);
  std::size_t count = 0;
  const zumsg::ClassInfo* const* classes = zumsg::AllClasses(count);
  ASSERT_EQ(count, 31u);
  for (std::size_t c = 0; c < count; ++c) {
    const zumsg::ClassInfo& info = *classes[c];
    SCOPED_TRACE(info.qualifiedName);
    std::unique_ptr<CNMessageBase> original(info.create());
    msgtest::FillAll(*original);
    for (unsigned i = 0; i < info.fieldCount; ++i) EXPECT_TRUE(original->isSet(i)) << info.fields[i].name;

    std::string xml = Xml(*original);
    ASSERT_EQ(xml.rfind("error", 0), std::string::npos) << xml;
    std::unique_ptr<CNMessageBase> reread(info.create());
    ASSERT_TRUE(Load(*reread, xml));
    EXPECT_TRUE(DeepEqual(*original, *reread));
    EXPECT_EQ(Xml(*reread), xml);
  }
}

// The canonical form of tests/data/msg-request.xml: schema order, compact.
const char kCanonicalRequest[] =
    R"xml(<ClientSetup remoteClient="0" requestType="1" localeId="1033" jobId="1234" operationType="20" requestFlags="4096" xmlRequestId="-9223372036854775808" subscriptionId="9223372036854775807">)xml"
    R"xml(<user userId="7"/>)xml"
    R"xml(<dxInfo connectionUrl="https://dx01.example.com/zu?a=1&amp;b=2" networkGateway="gw01:8403">)xml"
    R"xml(<dxClient clientId="2" clientName="dx01" hostName="dx01.example.com" dxId="2" clientType="3" clientGUID="5C2E0F8A-6A0B-4B8C-9E47-0D1F2A3B4C5D" sourceClientName=""/></dxInfo>)xml"
    R"xml(<clientAuthentication><userAccount userName="svc" password="V8:c2VjcmV0" domainName="CORP"/></clientAuthentication>)xml"
    R"xml(<clientComposition operationType="0" applianceClient="1">)xml"
    R"xml(<clientInfo><client clientPassword="V8:AAEC" zudPort="8400">)xml"
    R"xml(<clientEntity clientId="1001" clientName="web01" hostName="web01.example.com"/>)xml"
    R"xml(<osInfo osName="Linux" osDetail="Debian 12 &quot;bookworm&quot; x86_64"/>)xml"
    R"xml(<versionInfo><release releaseName="11.0.0 (B80)"/></versionInfo></client>)xml"
    R"xml(<clientProps virtualDiscovered="1" vmInstanceId="42"/>)xml"
    R"xml(<clientGroups clientGroupName="web"/><clientGroups clientGroupName="tier&lt;1&gt;"/>)xml"
    R"xml(<pmAssociatedClients clientId="3" clientName="pm01"/></clientInfo>)xml"
    R"xml(<components><packages packageId="1002" packageMode="1"/><packages packageId="51" packageMode="0"/>)xml"
    R"xml(<policySettings><storagePolicy storagePolicyName="sp-gold"/><plan planId="5" planName="Server plan"/></policySettings>)xml"
    R"xml(<subclientPolicySettings laptopBackup="0"><subclientPolicy subclientPolicyName="scp"/></subclientPolicySettings>)xml"
    R"xml(<dalvexMetrics surveyUrl1="u1" surveyUrl2="u2" metricsReportingFlag="1"/></components>)xml"
    R"xml(<errorInfo errorCode="0" errorMessage=""/>)xml"
    R"xml(<patchInformation spVersion="SP32" spNumber1="11" spText="32" spNumber2="32" spNumber3="14" spNumber4="0"/>)xml"
    R"xml(<roles laptopBackupRole="0" networkProxyRole="1" customRolesProp="a&#9;b&#10;c&#13;d"/>)xml"
    R"xml(<sharedInstallLocation silType="1" path="\\share\zu"/>)xml"
    R"xml(<activateClientInfo activateClientDetails="d"><userCentricClient clientId="9"/></activateClientInfo>)xml"
    R"xml(<failoverDXInfo failoverValue1="f1" failoverValue2="f2" failoverFlag="0"/>)xml"
    R"xml(</clientComposition>)xml"
    R"xml(<clientComposition operationType="6"><clientInfo/></clientComposition>)xml"
    R"xml(<installOptions upgradeMode="1" restoreOnlyAgentsMode="0" userAuthenticationRequested="1" rolesManagerProperties="caf&#233;">)xml"
    R"xml(<firewallConfig firewallValue1="a" firewallValue2="b" firewallNumber="-3" firewallConfigBlock="c"/></installOptions>)xml"
    R"xml(<errorInfo errorCode="-1" errorMessage="Failed &amp; stopped"/>)xml"
    R"xml(<organizationInfo authCode="AC-1"/>)xml"
    R"xml(</ClientSetup>)xml";

// Character references come back as UTF-8, so the hand-written file is compared
// with the canonical text re-read, and that text is written back byte for byte
// but for the one reference of a non-ASCII character.
TEST(SchemaRoundTrip, HandWrittenRequestReadsBackToItsCanonicalForm) {
  std::string written = ReadFile(ZU_TEST_DATA_DIR "/msg-request.xml");
  ASSERT_FALSE(written.empty());
  ZUInstallManager::ClientSetup request;
  ASSERT_TRUE(Load(request, written));
  ZUInstallManager::ClientSetup canonical;
  ASSERT_TRUE(Load(canonical, kCanonicalRequest));
  EXPECT_TRUE(DeepEqual(request, canonical));
  std::string expected = kCanonicalRequest;
  expected.replace(expected.find("caf&#233;"), 9, "caf\xC3\xA9");
  EXPECT_EQ(Xml(request), expected);
  EXPECT_EQ(Xml(canonical), expected);
}

}  // namespace
