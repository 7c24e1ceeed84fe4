#include <string>

#include "ZUInstallUtils.h"
#include "utils/UtilsTestSupport.h"

namespace {

using ZUInstallManager::ClientSetup;
using ZUInstallManager::ErrorInfo;

// Loads `path`, which the loader takes by non-const reference.
int LoadFile(ClientSetup* request, std::string path, std::string& error) {
  return PopulateClientSetupFromXmlFile(request, path, error);
}

// The request-level error message, or "<absent>".
std::string ErrorMessageOf(const ClientSetup& request) {
  const ErrorInfo* info = zumsg::object<ClientSetup::errorInfo>(request);
  if (info == nullptr || !info->isSet(ErrorInfo::errorMessage)) return "<absent>";
  return info->getstring(ErrorInfo::errorMessage);
}

TEST(ConvertStringToClientSetup, ReportsEachFailureWithItsTextAndSuccessLeavesItAlone) {
  std::string error = "before";
  EXPECT_EQ(ConvertStringToClientSetup("<ClientSetup/>", nullptr, error), -1);
  EXPECT_EQ(error, "Invalid input given.");

  ClientSetup request;
  EXPECT_EQ(ConvertStringToClientSetup("<ClientSetup jobId=\"7\"", &request, error), -1);
  EXPECT_EQ(error, "Failed to unserialize XML");

  error = "kept from an earlier call";
  ASSERT_EQ(ConvertStringToClientSetup(R"(<ClientSetup jobId="1234"/>)", &request, error), 0);
  EXPECT_EQ(error, "kept from an earlier call");
  EXPECT_EQ(request.getint64(ClientSetup::jobId), 1234);
}

// Missing, empty, truncated and directory paths are the hostile-input tests' business.
TEST(PopulateClientSetupFromXmlFile, ReportsEachFailureWithItsText) {
  uttest::ScratchDir dir;
  ClientSetup request;
  std::string error;
  EXPECT_EQ(LoadFile(nullptr, (dir.path() / "missing.xml").string(), error), -1);
  EXPECT_EQ(error, "Invalid arguments") << "the target is tested before the open";

  EXPECT_EQ(LoadFile(&request, dir.write("bad.xml", "<Other/>"), error), -1);
  EXPECT_EQ(error, "Failed to unserialize XML blob from the input file.");
}

TEST(PopulateClientSetupFromXmlFile, JoinsLinesWithoutSeparators) {
  uttest::ScratchDir dir;
  struct Case {
    const char* content;
    const char* message;  // the parsed errorMessage; null when the parse must fail
  };
  const Case cases[] = {
      // A line feed inside a value vanishes rather than becoming a blank.
      {"<ClientSetup>\n<errorInfo errorCode=\"3\" errorMessage=\"disk\nfull\"/>\n</ClientSetup>\n", "diskfull"},
      // The carriage return stays in the text; XML reads it as a blank.
      {"<ClientSetup>\r\n<errorInfo errorCode=\"3\" errorMessage=\"disk\r\nfull\"/>\r\n</ClientSetup>", "disk full"},
      // A line break that was the only blank runs the name into the attribute.
      {"<ClientSetup\njobId=\"5\"/>", nullptr},
      // A last line without a line feed still counts.
      {"<ClientSetup>\n<errorInfo errorMessage=\"tail\"/></ClientSetup>", "tail"},
  };
  for (const Case& c : cases) {
    ClientSetup request;
    std::string error;
    const int result = LoadFile(&request, dir.write("request.xml", c.content), error);
    if (c.message == nullptr) {
      EXPECT_EQ(result, -1) << c.content;
    } else {
      ASSERT_EQ(result, 0) << c.content << ": " << error;
      EXPECT_EQ(ErrorMessageOf(request), c.message) << c.content;
    }
  }
}

TEST(PopulateClientSetupFromXmlFile, LoadReplacesTheWholeContentAndLeavesErrorAlone) {
  uttest::ScratchDir dir;
  ClientSetup request;
  uttest::Load(R"(<ClientSetup jobId="42"><errorInfo errorMessage="first"/></ClientSetup>)", request);
  std::string error = "kept";
  ASSERT_EQ(LoadFile(&request, dir.write("good.xml", "<ClientSetup jobId=\"9\"/>\n"), error), 0);
  EXPECT_EQ(error, "kept");
  EXPECT_EQ(request.getint64(ClientSetup::jobId), 9);
  EXPECT_EQ(ErrorMessageOf(request), "<absent>");
}

TEST(GetSIMErrorCodeFromXML, ReadsOnlyAPresentCode) {
  const struct {
    const char* xml;
    long long expected;
  } cases[] = {
      {"<ClientSetup/>", -1},
      {"<ClientSetup><errorInfo/></ClientSetup>", -1},
      {"<ClientSetup><errorInfo errorMessage=\"x\"/></ClientSetup>", -1},
      {"<ClientSetup><errorInfo errorCode=\"0\"/></ClientSetup>", 0},
      {"<ClientSetup><errorInfo errorCode=\"-9223372036854775808\"/></ClientSetup>", INT64_MIN},
      // A code in a client entry is not the request's.
      {"<ClientSetup><clientComposition><errorInfo errorCode=\"5\"/></clientComposition></ClientSetup>", -1},
  };
  for (const auto& c : cases) {
    ClientSetup request;
    uttest::Load(c.xml, request);
    EXPECT_EQ(GetSIMErrorCodeFromXML(&request), c.expected) << c.xml;
  }
  EXPECT_EQ(GetSIMErrorCodeFromXML(nullptr), -1);
}

TEST(FreeMessageObject, AcceptsNullAndOwnedRequests) {
  EXPECT_EQ(FreeMessageObject(nullptr), 0);
  auto* request = new ClientSetup;
  uttest::Load(R"(<ClientSetup><clientComposition/><clientComposition/></ClientSetup>)", *request);
  EXPECT_EQ(FreeMessageObject(request), 0);
}

}  // namespace
