// Package selection, and release, service-pack and OS readers.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

using namespace XmlUtils;
using ZUInstallManager::ClientsComposition;
using ZUInstallManager::PackageInformation;
using ZUInstallManager::PatchInformation;

std::string WithPackages(const std::string& packages) {
  return "<ClientSetup><clientComposition><components>" + packages +
         "</components></clientComposition></ClientSetup>";
}

TEST(PackageIds, AppendsPositiveLow32IdentifiersAfterTheCallersOwn) {
  const struct {
    const char* packages;
    unsigned long index;
    int result;
    std::vector<int> expected;
  } cases[] = {
      {"<packages packageId='0'/><packages packageId='5'/><packages packageId='-3'/><packages packageId='7'/>", 0, 0,
       {42, 5, 7}},
      // Absent identifiers read as 0; 2^32 + 5 reads as 5, 2^31 as negative.
      {"<packages packageMode='0'/><packages packageId='4294967301'/><packages packageId='2147483648'/>", 0, 0,
       {42, 5}},
      {"", 0, -1, {42}},
      {"<packages packageId='1'/>", 1, -1, {42}},
  };
  for (const auto& c : cases) {
    auto request = Parse(WithPackages(c.packages));
    std::vector<int> ids{42};
    EXPECT_EQ(GetPackageList(request.get(), c.index, ids), c.result) << c.packages;
    EXPECT_EQ(ids, c.expected) << c.packages;
  }
}

TEST(PackageList, HandsOutTheEntrysOwnVector) {
  auto request = Parse(WithPackages("<packages packageId='1'/><packages packageId='702'/>"));
  std::vector<PackageInformation>* list = nullptr;
  ASSERT_EQ(GetPackageList(request.get(), 0, list), 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->size(), 2u);
  list->pop_back();
  std::vector<int> ids;
  ASSERT_EQ(GetPackageList(request.get(), 0, ids), 0);
  EXPECT_EQ(ids, std::vector<int>{1});
}

TEST(PackageList, MissingListLeavesThePointer) {
  std::vector<PackageInformation> mine;
  const char* requests[] = {
      "<ClientSetup><clientComposition><components/></clientComposition></ClientSetup>",
      "<ClientSetup><clientComposition/></ClientSetup>",
      "<ClientSetup/>",
  };
  for (const char* xml : requests) {
    auto request = Parse(xml);
    std::vector<PackageInformation>* list = &mine;
    EXPECT_EQ(GetPackageList(request.get(), 0, list), -1) << xml;
    EXPECT_EQ(list, &mine) << xml;
    EXPECT_EQ(GetPackageList(GetClientComposition(request.get(), 0), list), -1) << xml;
    EXPECT_EQ(list, &mine) << xml;
  }
}

TEST(DBPackageSelected, RangeIs802To899AndTwentyFourOnRequest) {
  const struct {
    const char* packages;
    bool also24;
    bool expected;
  } cases[] = {
      {"<packages packageId='802'/>", false, true},   {"<packages packageId='899'/>", false, true},
      {"<packages packageId='801'/>", true, false},   {"<packages packageId='900'/>", true, false},
      {"<packages packageId='24'/>", false, false},   {"<packages packageId='24'/>", true, true},
      {"<packages packageId='4294968098'/>", false, true},  // 2^32 + 802
      {"<packages/><packages packageId='1'/><packages packageId='850'/>", false, true},
  };
  for (const auto& c : cases) {
    auto request = Parse(WithPackages(c.packages));
    EXPECT_EQ(IsDBPackageSelected(request.get(), 0, c.also24), c.expected) << c.packages << " also24=" << c.also24;
  }
  EXPECT_FALSE(IsDBPackageSelected(Parse(WithPackages("<packages packageId='802'/>")).get(), 1, true));
}

TEST(RestoreOnlyClient, EveryPackageNeedsModeZero) {
  const struct {
    std::string xml;
    int result;
    bool restoreOnly;
  } rows[] = {
      {WithPackages("<packages packageId='1' packageMode='0'/><packages packageMode='0'/>"), 0, true},
      {WithPackages("<packages packageMode='0'/><packages packageId='2'/>"), 0, false},
      {WithPackages("<packages packageMode='4294967296'/>"), 0, false},  // the whole 64 bits count
      {WithPackages("<packages packageMode='1'/>"), 0, false},
      {WithPackages(""), -1, false},
      {"<ClientSetup><clientComposition/></ClientSetup>", -1, false},
  };
  for (const auto& row : rows) {
    auto request = Parse(row.xml);
    bool restoreOnly = true;  // cleared first, whatever the outcome
    EXPECT_EQ(IsRestoreOnlyClient(request.get(), 0, restoreOnly), row.result) << row.xml;
    EXPECT_EQ(restoreOnly, row.restoreOnly) << row.xml;
  }
}

TEST(RestoreOnlyClient, PresentEmptyListIsSuccessAndFalse) {
  auto request = Parse(WithPackages(""));
  zumsg::listCreate<ZUInstallManager::Components::packages>(*GetComponents(GetClientComposition(request.get(), 0)));
  bool restoreOnly = true;
  EXPECT_EQ(IsRestoreOnlyClient(request.get(), 0, restoreOnly), 0);
  EXPECT_FALSE(restoreOnly);
  restoreOnly = true;
  EXPECT_EQ(IsRestoreOnlyClient(request.get(), 1, restoreOnly), -1);
  EXPECT_FALSE(restoreOnly);
}

const char kVersions[] = R"xml(<ClientSetup>
  <clientComposition>
    <clientInfo><client>
      <osInfo osDetail="Debian 12 x86_64"/>
      <versionInfo><release releaseName=""/></versionInfo>
    </client></clientInfo>
    <patchInformation spNumber3="14"/>
  </clientComposition>
  <clientComposition>
    <clientInfo><client><osInfo osName="Linux" osDetail=""/><versionInfo><release releaseName="11.0.0 (B80)"/></versionInfo></client></clientInfo>
    <patchInformation spVersion="" spNumber1="4294967295" spText="32" spNumber2="4294967296" spNumber3="-5" spNumber4="2147483648"/>
  </clientComposition>
  <clientComposition>
    <clientInfo><client><versionInfo/></client></clientInfo>
  </clientComposition>
</ClientSetup>)xml";

using S = std::string;

const auto kFullVersion = [](unsigned long index) {
  return Reads<S, int, S, int, int, int>(
      [index](Req r, auto&... out) { return GetClientSPFullVersion(r, index, out...); });
};

const ReaderRow kRows[] = {
    {"ReleaseEmptyLeavesOutput", kVersions, Reads<S>(AT(GetClientReleaseString, 0)), "-1", "untouched"},
    {"ReleaseOfIndex", kVersions, Reads<S>(AT(GetClientReleaseString, 1)), "0", "11.0.0 (B80)"},
    {"ReleaseWithoutReleaseEntity", kVersions, Reads<S>(AT(GetClientReleaseString, 2)), "-1", "untouched"},
    {"OsOnlyDetail", kVersions, Reads<S, S>(AT(GetClientOS, 0)), "0", "(empty) | Debian 12 x86_64"},
    {"OsEmptyDetailIsWritten", kVersions, Reads<S, S>(AT(GetClientOS, 1)), "0", "Linux | (empty)"},
    {"OsWithoutOsInfo", kVersions, Reads<S, S>(AT(GetClientOS, 2)), "-1", "untouched | untouched"},
    {"OsPastLastEntry", kVersions, Reads<S, S>(AT(GetClientOS, 3)), "-1", "untouched | untouched"},
    {"SPVersionAbsent", kVersions, Reads<S>(AT(GetClientSPVersion, 0)), "-1", "untouched"},
    {"SPVersionEmptyIsSuccess", kVersions, Reads<S>(OF(GetClientSPVersion, 1)), "0", "(empty)"},
    {"SPFullVersionFillsAbsentValues", kVersions, kFullVersion(0), "0", "(empty) | 0 | (empty) | 0 | 14 | 0"},
    {"SPFullVersionLow32Bits", kVersions, kFullVersion(1), "0", "(empty) | -1 | 32 | 0 | -5 | -2147483648"},
    {"SPFullVersionWithoutPatchBlock", kVersions, kFullVersion(2), "-1",
     "untouched | untouched | untouched | untouched | untouched | untouched"},
};

INSTANTIATE_TEST_SUITE_P(Versions, ReaderTable, ::testing::ValuesIn(kRows), RowName);

TEST(PatchInformation, HandsOutTheStoredBlock) {
  auto request = Parse(kVersions);
  ClientsComposition* entry = GetClientComposition(request.get(), 1);
  PatchInformation* patch = nullptr;
  ASSERT_EQ(GetPatchInformation(entry, patch), 0);
  EXPECT_EQ(patch, zumsg::object<ClientsComposition::patchInformation>(*entry));

  PatchInformation* untouched = patch;
  EXPECT_EQ(GetPatchInformation(GetClientComposition(request.get(), 2), untouched), -1);
  EXPECT_EQ(untouched, patch);
  EXPECT_EQ(GetPatchInformation(nullptr, untouched), -1);
  EXPECT_EQ(untouched, patch);
}

TEST(PatchInformation, FieldHoldingNoBlockWritesNullAndFails) {
  auto request = Parse(kVersions);
  ClientsComposition* entry = GetClientComposition(request.get(), 0);
  HoldNoObject<ClientsComposition::patchInformation>(*entry);
  PatchInformation* patch = reinterpret_cast<PatchInformation*>(entry);
  EXPECT_EQ(GetPatchInformation(entry, patch), -1);
  EXPECT_EQ(patch, nullptr);
  std::string version = "kept";
  int n = 9;
  EXPECT_EQ(GetClientSPFullVersion(entry, version, n, version, n, n, n), -1);
  EXPECT_EQ(version, "kept");
  EXPECT_EQ(n, 9);
}

}  // namespace
}  // namespace xutest
