// Request header: flag bits, plain values, header readers and UpdateRequestFlags.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

using namespace XmlUtils;
using ZUInstallManager::SIMOperationType;

const char kHeader[] = R"(<ClientSetup remoteClient="2" requestType="3" localeId="4294967295" jobId="1099511627776"
    operationType="4294967316" requestFlags="-4294963200" xmlRequestId="4294967296" subscriptionId="17">
  <user userId="4294967295"/>
  <clientComposition operationType="11"/>
  <clientComposition operationType="20"/>
  <installOptions upgradeMode="2" userAuthenticationRequested="0"/>
</ClientSetup>)";

// The user block without its identifier; the options block without its fields.
const char kHollow[] = R"(<ClientSetup><user/><installOptions/><clientComposition/></ClientSetup>)";

using U = unsigned long;
using Op = SIMOperationType;

const ReaderRow kRows[] = {
    {"OperationTypeLow32Bits", kHeader, Reads<Op>(ON(GetOperationType)), "0", "20"},
    {"OperationTypeAbsent", kHollow, Reads<Op>(ON(GetOperationType)), "-1", "untouched"},
    {"LocaleSignExtended", kHeader, Reads<U>(ON(GetlocaleID)), "0", "18446744073709551615"},
    {"LocaleAbsent", kHollow, Reads<U>(ON(GetlocaleID)), "-1", "untouched"},
    {"UserIdSignExtended", kHeader, Reads<U>(ON(GetUserID)), "0", "18446744073709551615"},
    {"UserWithoutUserId", kHollow, Reads<U>(ON(GetUserID)), "-1", "untouched"},
    {"UserIdNullRequest", nullptr, Reads<U>(ON(GetUserID)), "-1", "untouched"},
    {"UpgradeModeTwoIsTrue", kHeader, Reads<bool>(ON(GetUpgradeMode)), "0", "true"},
    {"UpgradeModeAbsent", kHollow, Reads<bool>(ON(GetUpgradeMode)), "-1", "untouched"},
    {"RemoteClient", kHeader, Reads<bool>(ON(GetRemoteClient)), "0", "true"},
    {"UserAuthenticationZeroIsWrittenFalse", kHeader, Reads<bool>(ON(IsUserAuthenticationRequested)), "0", "false"},
    {"UserAuthenticationAbsent", kHollow, Reads<bool>(ON(IsUserAuthenticationRequested)), "-1", "untouched"},
    {"XmlRequestIdTwoToThe32IsZero", kHeader, Reads<int>(ON(GetXMLRequestID)), "0", "0"},
    {"ClientOperationTypeOfIndex", kHeader, Reads<Op>(AT(GetClientOperationType, 1)), "0", "20"},
    {"ClientOperationTypeEntryOverload", kHeader, Reads<Op>(OF(GetClientOperationType, 0)), "0", "11"},
    {"ClientOperationTypePastLastEntry", kHeader, Reads<Op>(AT(GetClientOperationType, 2)), "-1", "untouched"},
    {"ClientOperationTypeAbsent", kHollow, Reads<Op>(AT(GetClientOperationType, 0)), "-1", "untouched"},
    {"JobIdWhole64Bits", kHeader, Reads<>(ON(GetJobId)), "1099511627776", ""},
    {"RequestFlagsWhole64Bits", kHeader, Reads<>(ON(GetRequestFlags)), "-4294963200", ""},
    {"RequestTypeAbsentIsZero", kHollow, Reads<>(ON(GetRequestType)), "0", ""},
    {"SubscriptionId", kHeader, Reads<>(ON(GetSubcriptionID)), "17", ""},
    {"JobIdNullRequest", nullptr, Reads<>(ON(GetJobId)), "0", ""},
};

INSTANTIATE_TEST_SUITE_P(Header, ReaderTable, ::testing::ValuesIn(kRows), RowName);

TEST(RequestFlags, PredicatesTestTheirOwnBitOfTheLow32) {
  const struct {
    const char* flags;  // null: the field is absent
    bool builtinCert, clientInstall, async, autoRegistered;
  } cases[] = {
      {nullptr, false, false, false, false},
      {"0", false, false, false, false},
      {"4096", true, false, false, false},
      {"16777216", false, true, false, false},
      {"524288", false, false, true, false},
      {"131072", false, false, false, true},
      {"8192", false, false, false, false},
      {"-1", true, true, true, true},
      // The bits above 32 are not tested: 0x1000 << 32 names no flag.
      {"17592186044416", false, false, false, false},
  };
  for (const auto& c : cases) {
    const std::string xml =
        c.flags != nullptr ? std::string("<ClientSetup requestFlags='") + c.flags + "'/>" : "<ClientSetup/>";
    auto request = Parse(xml);
    EXPECT_EQ(IsBuiltinCertUsed(request.get()), c.builtinCert) << xml;
    EXPECT_EQ(IsClientInstallRequest(request.get()), c.clientInstall) << xml;
    EXPECT_EQ(IsAsyncRequest(request.get()), c.async) << xml;
    EXPECT_EQ(IsAutoRegisteredClient(request.get()), c.autoRegistered) << xml;
  }
  EXPECT_FALSE(IsAsyncRequest(nullptr));
}

TEST(RequestFlags, UpdateAddsBitsToTheLow32AndSignExtends) {
  const struct {
    const char* xml;
    int flags;
    long long stored;
  } cases[] = {
      {"<ClientSetup/>", 0, 0},
      {"<ClientSetup requestFlags='4096'/>", 0x80000, 0x81000},
      {"<ClientSetup requestFlags='524288'/>", 0x80000, 0x80000},
      // Bits above 32 of the old value are dropped, not kept.
      {"<ClientSetup requestFlags='-4294963200'/>", 0x80000, 0x81000},
      {"<ClientSetup requestFlags='4096'/>", static_cast<int>(0x80000000u), -2147479552LL},
  };
  for (const auto& c : cases) {
    auto request = Parse(c.xml);
    ASSERT_EQ(UpdateRequestFlags(request.get(), c.flags), 0) << c.xml;
    EXPECT_TRUE(request->isSet(ClientSetup::requestFlags)) << c.xml;
    EXPECT_EQ(GetRequestFlags(request.get()), c.stored) << c.xml;
  }
  EXPECT_EQ(UpdateRequestFlags(nullptr, 1), -1);
}

TEST(ClientAuthentication, HandsOutTheStoredBlock) {
  auto request = Parse("<ClientSetup><clientAuthentication/></ClientSetup>");
  EXPECT_EQ(GetClientAuthentication(request.get()),
            zumsg::object<ClientSetup::clientAuthentication>(*request));
  EXPECT_EQ(GetClientAuthentication(Parse("<ClientSetup/>").get()), nullptr);
  EXPECT_EQ(GetClientAuthentication(nullptr), nullptr);
}

}  // namespace
}  // namespace xutest
