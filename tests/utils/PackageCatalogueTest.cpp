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
  using Test = bool (*)(const unsigned long&);
  const struct {
    const char* name;
    Test test;
    unsigned long id;
    bool expected;
  } cases[] = {
      {"IsDBPackage", IsDBPackage, 800, false},
      {"IsDBPackage", IsDBPackage, 817, false},
      {"IsDBPackage", IsDBPackage, 850, false},
      {"IsDBPackage", IsDBPackage, 863, false},
      {"IsDBPackage", IsDBPackage, 801 + (1ul << 32), false},
      {"IsNonDX_DBPackage", IsNonDX_DBPackage, 817, false},
      {"IsNonDX_DBPackage", IsNonDX_DBPackage, 1, false},
      {"IsBasePackage", IsBasePackage, 0, false},
      {"IsBasePackage", IsBasePackage, 3, false},
      {"IsBasePackage", IsBasePackage, 2, true},
      {"IsBasePackage", IsBasePackage, 1003, true},
      {"IsBasePackage", IsBasePackage, 1004, false},
      {"IsFSPackage", IsFSPackage, 1003, false},
      {"IsFSPackage", IsFSPackage, 702, true},
      {"IsFSPackage", IsFSPackage, 2001, true},
      {"IsFSPackage", IsFSPackage, 2, false},
      {"IsMediaAgentPackage", IsMediaAgentPackage, 51, true},
      {"IsMediaAgentPackage", IsMediaAgentPackage, 2003, true},
      {"IsMediaAgentPackage", IsMediaAgentPackage, 52, false},
      {"IsSRMAgentPackage", IsSRMAgentPackage, 401, false},
      {"IsSRMAgentPackage", IsSRMAgentPackage, 402, true},
      {"IsSRMAgentPackage", IsSRMAgentPackage, 408, true},
      {"IsSRMAgentPackage", IsSRMAgentPackage, 409, false},
      {"IsSRMAgentPackage", IsSRMAgentPackage, 1123, true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.test(c.id), c.expected) << c.name << "(" << c.id << ")";

  const struct {
    int id;
    bool expected;
  } thirdParty[] = {{5999, false}, {6000, true}, {6500, true}, {7000, true}, {7001, false}, {INT_MIN, false}};
  for (const auto& c : thirdParty) EXPECT_EQ(isThirdPartyPackage(c.id), c.expected) << c.id;
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
  const struct {
    std::vector<int> values;
    const char* text;
  } cases[] = {
      {{0}, "( 0)"},
      {{-3}, "( -3)"},
      {{5, 7, 9}, "( 5, 7, 9)"},
      {{801, 802}, "( 801, 802)"},
  };
  for (const auto& c : cases) {
    std::string text = "old";
    EXPECT_TRUE(GetCommaSeperatedList(c.values, text));
    EXPECT_EQ(text, c.text);
  }
}

// Values of more than seven characters once overflowed a fixed scratch field.
TEST(GetCommaSeperatedList, LongIntegersWrittenInFull) {
  std::string text;
  ASSERT_TRUE(GetCommaSeperatedList({INT_MIN, 10000000, -1000000, INT_MAX}, text));
  EXPECT_EQ(text, "( -2147483648, 10000000, -1000000, 2147483647)");
}

TEST(GetCommaSeperatedList, StringsQuotedWithoutBlanksOrEscaping) {
  const struct {
    std::vector<std::string> values;
    const char* text;
  } cases[] = {
      {{""}, "('')"},
      {{"a", "b"}, "('a','b')"},
      {{"it's", "x y"}, "('it's','x y')"},
  };
  for (const auto& c : cases) {
    std::string text = "old";
    EXPECT_TRUE(GetCommaSeperatedList(c.values, text));
    EXPECT_EQ(text, c.text);
  }
}

TEST(GetCommaSeperatedList, EmptyInputLeavesOpeningParenthesis) {
  std::string text = "previous text";
  EXPECT_FALSE(GetCommaSeperatedList(std::vector<int>{}, text));
  EXPECT_EQ(text, "(");
  text = "previous text";
  EXPECT_FALSE(GetCommaSeperatedList(std::vector<std::string>{}, text));
  EXPECT_EQ(text, "(");
}

TEST(GetCommaSeperatedList, OutputMayBeOneOfTheValues) {
  std::vector<std::string> values = {"alpha", "beta"};
  ASSERT_TRUE(GetCommaSeperatedList(values, values[0]));
  EXPECT_EQ(values[0], "('alpha','beta')");
}

class PackageSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    uttest::Load(R"(<ClientSetup><clientComposition><components>
        <packages packageMode="5"/>
        <packages packageId="702" packageMode="1"/>
        <packages packageId="4294968098" packageMode="2"/>
        <packages packageId="702" packageMode="3"/>
        <packages packageId="-1" packageMode="4"/>
      </components></clientComposition></ClientSetup>)",
                 request_);
    using ZUInstallManager::ClientsComposition;
    using ZUInstallManager::Components;
    auto* entries = zumsg::list<ClientSetup::clientComposition>(request_);
    ASSERT_NE(entries, nullptr);
    Components* components = zumsg::object<ClientsComposition::components>(entries->at(0));
    ASSERT_NE(components, nullptr);
    packages_ = zumsg::list<Components::packages>(*components);
    ASSERT_NE(packages_, nullptr);
    ASSERT_EQ(packages_->size(), 5u);
  }

  long long ModeAt(int id) {
    auto it = GetIterToPackageInVector(packages_, id);
    return it == packages_->end() ? -100 : it->getint64(PackageInformation::packageMode);
  }

  ClientSetup request_;
  std::vector<PackageInformation>* packages_ = nullptr;
};

TEST_F(PackageSearch, FirstMatchOnLow32BitsWins) {
  EXPECT_EQ(ModeAt(702), 1) << "the first of two entries with 702";
  EXPECT_EQ(ModeAt(802), 2) << "4294968098 is 802 on its low 32 bits";
  EXPECT_EQ(ModeAt(-1), 4);
  EXPECT_TRUE(FindPackageInVector(packages_, 802));
}

TEST_F(PackageSearch, EntriesWithoutIdNeverMatch) {
  EXPECT_EQ(ModeAt(0), -100) << "an absent id must not read as 0";
  EXPECT_FALSE(FindPackageInVector(packages_, 0));
  EXPECT_FALSE(FindPackageInVector(packages_, 801));
}

TEST(FindPackageInVector, NullListAnswersFalse) { EXPECT_FALSE(FindPackageInVector(nullptr, 702)); }

}  // namespace
