// Response error codes and texts, client status, ClearSIMError.
#include "XmlUtilsTesting.h"

namespace xutest {
namespace {

using namespace XmlUtils;

// The request-level code 0 must win over entry 0's 5.
const char kTopZero[] = R"(<ClientSetup><errorInfo errorCode="0" errorMessage="done"/>
  <clientComposition><errorInfo errorCode="5" errorMessage="entry failed"/></clientComposition></ClientSetup>)";
// A request-level block without a code.
const char kTopWithoutCode[] = R"(<ClientSetup><errorInfo errorMessage="top"/>
  <clientComposition><errorInfo errorCode="5" errorMessage="entry failed"/></clientComposition></ClientSetup>)";
// No request-level block; entry 0 has a code and no text; entry 1 a text.
const char kEntryOnly[] = R"(<ClientSetup>
  <clientComposition><errorInfo errorCode="7"/></clientComposition>
  <clientComposition><errorInfo errorCode="4294967295" errorMessage="second"/></clientComposition></ClientSetup>)";
const char kWide[] = R"(<ClientSetup><errorInfo errorCode="4294967296" errorMessage="wide"/></ClientSetup>)";
// Only entry 1 has a code: the response readers never look there.
const char kSecondOnly[] = R"(<ClientSetup><clientComposition/>
  <clientComposition><errorInfo errorCode="9"/></clientComposition></ClientSetup>)";

using S = std::string;
using U = unsigned long;

const auto kCode = Reads<>(ON(GetResponseErrorCode));
const auto kInfo = Reads<U, S>(ON(GetResponseInfo));

const ReaderRow kRows[] = {
    {"ErrorCodeRequestLevelZeroWins", kTopZero, kCode, "0", ""},
    {"InfoRequestLevelZeroWins", kTopZero, kInfo, "0", "0 | done"},
    {"ErrorCodeSkipsBlockWithoutCode", kTopWithoutCode, kCode, "5", ""},
    {"InfoBlockWithoutCodeHidesEntry0", kTopWithoutCode, kInfo, "-1", "untouched | untouched"},
    {"InfoEntry0WithoutTextIsEmpty", kEntryOnly, kInfo, "0", "7 | (empty)"},
    {"StatusWithoutTextLeavesText", kEntryOnly, Reads<U, S>(AT(GetClientStatus, 0)), "0", "7 | untouched"},
    {"StatusWhole64BitsOfIndex", kEntryOnly, Reads<U, S>(AT(GetClientStatus, 1)), "0", "4294967295 | second"},
    {"StatusIndexEqualToCount", kEntryOnly, Reads<U, S>(AT(GetClientStatus, 2)), "-1", "untouched | untouched"},
    {"StatusEntryWithoutBlock", kSecondOnly, Reads<U, S>(AT(GetClientStatus, 0)), "-1", "untouched | untouched"},
    {"PushJobStatusIsClientStatus", kEntryOnly, Reads<U, S>(OF(GetPushJobStatus, 1)), "0", "4294967295 | second"},
    {"PushJobStatusOfIndex", kEntryOnly, Reads<U, S>(AT(GetPushJobStatus, 0)), "0", "7 | untouched"},
    {"ErrorCodeLow32Bits", kWide, kCode, "0", ""},
    {"InfoWhole64Bits", kWide, kInfo, "0", "4294967296 | wide"},
    {"ErrorCodeNeverReadsEntry1", kSecondOnly, kCode, "-1", ""},
    {"InfoNeverReadsEntry1", kSecondOnly, kInfo, "-1", "untouched | untouched"},
    {"ErrorCodeNullRequest", nullptr, kCode, "-1", ""},
};

INSTANTIATE_TEST_SUITE_P(Response, ReaderTable, ::testing::ValuesIn(kRows), RowName);

TEST(ClearSIMError, ResetsPresentCodesOfRequestAndEntry0Only) {
  auto request = Parse(R"(<ClientSetup><errorInfo errorCode="3" errorMessage="top"/>
    <clientComposition><errorInfo errorCode="5" errorMessage="a"/></clientComposition>
    <clientComposition><errorInfo errorCode="6" errorMessage="b"/></clientComposition></ClientSetup>)");
  ASSERT_EQ(ClearSIMError(request.get()), 0);
  EXPECT_EQ(Xml(*request),
            "<ClientSetup><clientComposition><errorInfo errorCode=\"0\" errorMessage=\"a\"/></clientComposition>"
            "<clientComposition><errorInfo errorCode=\"6\" errorMessage=\"b\"/></clientComposition>"
            "<errorInfo errorCode=\"0\" errorMessage=\"top\"/></ClientSetup>");
}

TEST(ClearSIMError, CreatesNothing) {
  const char* requests[] = {
      "<ClientSetup/>",
      "<ClientSetup><errorInfo errorMessage=\"top\"/><clientComposition><errorInfo/></clientComposition></ClientSetup>",
      ("<ClientSetup><clientComposition/><clientComposition><errorInfo errorCode=\"1\"/></clientComposition>"
       "</ClientSetup>"),
  };
  for (const char* xml : requests) {
    auto request = Parse(xml);
    const std::string before = Xml(*request);
    EXPECT_EQ(ClearSIMError(request.get()), 0) << xml;
    EXPECT_EQ(Xml(*request), before);
  }
  EXPECT_EQ(ClearSIMError(nullptr), -1);
}

}  // namespace
}  // namespace xutest
