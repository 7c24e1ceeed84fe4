#include <climits>
#include <string>
#include <vector>

#include "ZUInstallUtils.h"
#include "utils/UtilsTestSupport.h"

namespace {

using ZUInstallManager::ClientSetup;
using ZUInstallManager::PackageInformation;

TEST(PackageCatalogue, DatabaseTableKeepsOrderAndFlags) {
  const std::vector<int> expected = {801, 802, 804, 803, 805, 806, 807, 808, 809, 810, 811, 812, 813, 814,
                                     815, 816, 851, 852, 853, 854, 855, 856, 857, 858, 859, 860, 861, 862};
  std::vector<int> ids;
  GetAllDBPackages(ids);
  EXPECT_EQ(ids, expected);
  for (int id : expected) {
    const unsigned long wide = static_cast<unsigned long>(id);
    const bool centralServerDatabase = id == 801 || id == 802 || id == 804 || id == 851;
    EXPECT_TRUE(IsDBPackage(wide)) << id;
    EXPECT_EQ(IsNonDX_DBPackage(wide), !centralServerDatabase) << id;
  }
}

TEST(PackageCatalogue, ClassBoundaries) {
  const struct {
    const char* name;
    bool (*test)(const unsigned long&);
    std::vector<unsigned long> in, out;
  } cases[] = {
      {"IsDBPackage", IsDBPackage, {}, {800, 817, 850, 863, 801 + (1ul << 32)}},
      {"IsNonDX_DBPackage", IsNonDX_DBPackage, {}, {817, 1}},
      {"IsBasePackage", IsBasePackage, {2, 1003}, {0, 3, 1004}},
      {"IsFSPackage", IsFSPackage, {702, 2001}, {1003, 2}},
      {"IsMediaAgentPackage", IsMediaAgentPackage, {51, 2003}, {52}},
      {"IsSRMAgentPackage", IsSRMAgentPackage, {402, 408, 1123}, {401, 409}},
  };
  for (const auto& c : cases) {
    for (unsigned long id : c.in) EXPECT_TRUE(c.test(id)) << c.name << "(" << id << ")";
    for (unsigned long id : c.out) EXPECT_FALSE(c.test(id)) << c.name << "(" << id << ")";
  }
  for (int id : {6000, 6500, 7000}) EXPECT_TRUE(isThirdPartyPackage(id)) << id;
  for (int id : {5999, 7001, INT_MIN}) EXPECT_FALSE(isThirdPartyPackage(id)) << id;
}

TEST(PackageCatalogue, ListFunctionsReplaceTheirOutput) {
  const struct {
    const char* name;
    void (*list)(std::vector<int>&);
    std::vector<int> expected;
  } cases[] = {
      {"GetAllBasePackages", GetAllBasePackages, {1, 1002, 1003, 2}},
      {"GetAllMediaAgentPackages", GetAllMediaAgentPackages, {51, 1301, 2003}},
      {"GetAllDXPackages", GetAllDXPackages, {20, 21, 801, 851}},
  };
  for (const auto& c : cases) {
    std::vector<int> ids = {7, 7, 7};
    c.list(ids);
    EXPECT_EQ(ids, c.expected) << c.name;
  }
  std::vector<int> ids(100, 7);
  GetAllDBPackages(ids);
  EXPECT_EQ(ids.size(), 28u);
}

TEST(GetCommaSeperatedList, IntegersKeepBlankAfterOpeningParenthesis) {
  const std::pair<std::vector<int>, const char*> cases[] = {
      {{}, "("}, {{0}, "( 0)"}, {{-3}, "( -3)"}, {{5, 7, 9}, "( 5, 7, 9)"}};
  for (const auto& [values, expected] : cases) {
    std::string text = "old";
    EXPECT_EQ(GetCommaSeperatedList(values, text), !values.empty()) << expected;
    EXPECT_EQ(text, expected);
  }
}

// Values of more than seven characters once overflowed a fixed scratch field.
TEST(GetCommaSeperatedList, LongIntegersWrittenInFull) {
  std::string text;
  ASSERT_TRUE(GetCommaSeperatedList({INT_MIN, 10000000, -1000000, INT_MAX}, text));
  EXPECT_EQ(text, "( -2147483648, 10000000, -1000000, 2147483647)");
}

TEST(GetCommaSeperatedList, StringsQuotedWithoutBlanksOrEscaping) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, "("}, {{""}, "('')"}, {{"a", "b"}, "('a','b')"}, {{"it's", "x y"}, "('it's','x y')"}};
  for (const auto& [values, expected] : cases) {
    std::string text = "old";
    EXPECT_EQ(GetCommaSeperatedList(values, text), !values.empty()) << expected;
    EXPECT_EQ(text, expected);
  }
}

TEST(GetCommaSeperatedList, OutputMayBeOneOfTheValues) {
  std::vector<std::string> values = {"alpha", "beta"};
  ASSERT_TRUE(GetCommaSeperatedList(values, values[0]));
  EXPECT_EQ(values[0], "('alpha','beta')");
}

TEST(PackageSearch, FirstMatchOnLow32BitsWinsAndEntriesWithoutIdNeverMatch) {
  ClientSetup request;
  uttest::Load(R"(<ClientSetup><clientComposition><components>
        <packages packageMode="5"/>
        <packages packageId="702" packageMode="1"/>
        <packages packageId="4294968098" packageMode="2"/>
        <packages packageId="702" packageMode="3"/>
        <packages packageId="-1" packageMode="4"/>
      </components></clientComposition></ClientSetup>)",
               request);
  using ZUInstallManager::Components;
  auto* entries = zumsg::list<ClientSetup::clientComposition>(request);
  ASSERT_TRUE(entries != nullptr && entries->size() == 1u);
  Components* components = zumsg::object<ZUInstallManager::ClientsComposition::components>(entries->at(0));
  ASSERT_NE(components, nullptr);
  std::vector<PackageInformation>* packages = zumsg::list<Components::packages>(*components);
  ASSERT_TRUE(packages != nullptr && packages->size() == 5u);
  auto modeOf = [&](int id) {
    auto it = GetIterToPackageInVector(packages, id);
    return it == packages->end() ? -100 : it->getint64(PackageInformation::packageMode);
  };

  EXPECT_EQ(modeOf(702), 1) << "the first of two entries with 702";
  EXPECT_EQ(modeOf(802), 2) << "4294968098 is 802 on its low 32 bits";
  EXPECT_EQ(modeOf(-1), 4);
  EXPECT_TRUE(FindPackageInVector(packages, 802));
  EXPECT_EQ(modeOf(0), -100) << "an absent id must not read as 0";
  EXPECT_FALSE(FindPackageInVector(packages, 0));
  EXPECT_FALSE(FindPackageInVector(packages, 801));
}

TEST(FindPackageInVector, NullListAnswersFalse) { EXPECT_FALSE(FindPackageInVector(nullptr, 702)); }

}  // namespace
