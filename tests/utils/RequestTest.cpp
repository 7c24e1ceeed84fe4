// Requests loaded from texts and files, their error code, and the password
// services: the two-call wrappers, the one-call forms and the request-level
// conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "common/TestSupport.h"
#include "ZUInstallUtils.h"
#include "ZUInstallXmlUtils.h"

namespace {

using ZUInstallManager::ClientSetup;
using ZUInstallManager::ClientsComposition;
using Wrapper = int (*)(const char*, char**, char*);

void Load(const std::string& xml, ClientSetup& request) {
  std::string error;
  ASSERT_EQ(ConvertStringToClientSetup(xml, &request, error), 0) << error << "\n" << xml;
}

TEST(RequestLoading, EachFailureHasItsTextAndSuccessLeavesTheErrorAlone) {
  zutest::ScratchDir dir;
  ClientSetup request;
  std::string error = "kept";
  std::string path = dir.write("good.xml", "<ClientSetup jobId=\"9\"/>\n");
  Load(R"(<ClientSetup jobId="42"><errorInfo errorMessage="first"/></ClientSetup>)", request);
  ASSERT_EQ(PopulateClientSetupFromXmlFile(&request, path, error), 0);
  EXPECT_EQ(error, "kept");
  EXPECT_EQ(request.getint64(ClientSetup::jobId), 9);
  EXPECT_FALSE(request.isSet(ClientSetup::errorInfo)) << "a load replaces the whole content";
  ASSERT_EQ(ConvertStringToClientSetup(R"(<ClientSetup jobId="1234"/>)", &request, error), 0);
  EXPECT_EQ(error, "kept");
  EXPECT_EQ(request.getint64(ClientSetup::jobId), 1234);

  EXPECT_EQ(ConvertStringToClientSetup("<ClientSetup/>", nullptr, error), -1);
  EXPECT_EQ(error, "Invalid input given.");
  EXPECT_EQ(ConvertStringToClientSetup("<ClientSetup jobId=\"7\"", &request, error), -1);
  EXPECT_EQ(error, "Failed to unserialize XML");
  EXPECT_EQ(PopulateClientSetupFromXmlFile(nullptr, path, error), -1);
  EXPECT_EQ(error, "Invalid arguments");
  path = dir.write("bad.xml", "<Other/>");
  EXPECT_EQ(PopulateClientSetupFromXmlFile(&request, path, error), -1);
  EXPECT_EQ(error, "Failed to unserialize XML blob from the input file.");
}

TEST(RequestLoading, FileLinesAreJoinedWithoutSeparators) {
  zutest::ScratchDir dir;
  const std::pair<const char*, const char*> cases[] = {  // content, errorMessage (null: refused)
      {"<ClientSetup>\n<errorInfo errorMessage=\"disk\nfull\"/>\n</ClientSetup>\n", "diskfull"},
      // The carriage return stays in the text; XML reads it as a blank.
      {"<ClientSetup>\r\n<errorInfo errorMessage=\"disk\r\nfull\"/>\r\n</ClientSetup>", "disk full"},
      {"<ClientSetup\njobId=\"5\"/>", nullptr},
  };
  for (const auto& [content, message] : cases) {
    ClientSetup request;
    std::string error, path = dir.write("request.xml", content);
    EXPECT_EQ(PopulateClientSetupFromXmlFile(&request, path, error), message != nullptr ? 0 : -1) << content;
    if (message != nullptr) {
      EXPECT_EQ(zumsg::object<ClientSetup::errorInfo>(request)->getstring(ZUInstallManager::ErrorInfo::errorMessage), message);
    }
  }
}

TEST(RequestLoading, ErrorCodeIsTheRequestLevelOneWhenPresent) {
  const std::pair<const char*, long long> cases[] = {
      {"<ClientSetup><errorInfo errorMessage=\"x\"/></ClientSetup>", -1},
      {"<ClientSetup><errorInfo errorCode=\"0\"/></ClientSetup>", 0},
      {"<ClientSetup><errorInfo errorCode=\"-9223372036854775808\"/></ClientSetup>", INT64_MIN},
      {"<ClientSetup><clientComposition><errorInfo errorCode=\"5\"/></clientComposition></ClientSetup>", -1},
  };
  for (const auto& [xml, code] : cases) {
    auto* request = new ClientSetup;
    Load(xml, *request);
    EXPECT_EQ(GetSIMErrorCodeFromXML(request), code) << xml;
    EXPECT_EQ(FreeMessageObject(request), 0);
  }
  EXPECT_EQ(GetSIMErrorCodeFromXML(nullptr), -1);
  EXPECT_EQ(FreeMessageObject(nullptr), 0);
}

// The output of a call expected to succeed; the array is released with delete[].
std::string Output(Wrapper wrapper, const std::string& input) {
  char* output = nullptr;
  EXPECT_EQ(wrapper(input.c_str(), &output, nullptr), 0) << input;
  const std::unique_ptr<char[]> owned(output);
  return output != nullptr ? output : "";
}

// Runs a wrapper with an error buffer of 80 '#' and shows "RESULT ERROR -> OUTPUT"; the output is
// "untouched" when the caller's pointer was left alone, a cipher text shows as its form and plain text.
std::string Call(Wrapper wrapper, const char* input) {
  static char sentinel;
  char* output = &sentinel;
  char error[81] = {};
  std::memset(error, '#', 80);
  const int result = wrapper(input, &output, error);
  const std::size_t length = error[0] == '#' ? 0 : std::strlen(error);
  EXPECT_TRUE(length <= 75 && error[length == 0 ? 0 : length + 1] == '#') << "wrote past its text";
  const std::string shown = std::to_string(result) + " " + std::string(error, length) + " -> ";
  if (output == &sentinel) return shown + "untouched";
  const std::unique_ptr<char[]> owned(output);
  const std::string text = output;
  const bool cipher = text.rfind("V3:", 0) == 0 || text.rfind("V8:", 0) == 0;
  return shown + (cipher ? text.substr(0, 3) + Output(ZUDecryptPassword, text) : text);
}

TEST(PasswordWrappers, ResultErrorTextAndOutput) {
  const std::string v3 = Output(ZUEncryptPassword, "pw"), v8 = Output(ZUEncryptPassword_V8, "pw");
  // Forged texts have the right shape: the size query passes, the second call fails.
  std::string forgedV3 = v3, forgedV8 = v8;
  forgedV3[5] = forgedV3[5] == 'A' ? 'B' : 'A';
  forgedV8[5] = forgedV8[5] == 'A' ? 'B' : 'A';
  const std::string lengthError = "-1 An invalid length of encrypted string is passed to decrypt. Decrypt failed. -> ";
  const std::string encryptLength = "-1 Failed to encrypt password to get length, error 22 -> untouched";
  const std::string decryptLength = "-1 Failed to decrypt password to get length, error 22 -> untouched";
  const struct { const char* name; Wrapper wrapper; std::string input, shown; } rows[] = {
      {"EncryptV3", ZUEncryptPassword, "s3cret pass", "0  -> V3:s3cret pass"},
      {"EncryptV8", ZUEncryptPassword_V8, std::string(700, 'p'), "0  -> V8:" + std::string(700, 'p')},
      {"ConvertToV3", ZUPasswordConvert_V8ToV3, v8, "0  -> V3:pw"},
      {"ConvertToV8", ZUPasswordConvert_V3ToV8, v3, "0  -> V8:pw"},
      {"Decrypt", ZUDecryptPassword, v3, "0  -> pw"},
      {"ConvertToV3OfV3", ZUPasswordConvert_V8ToV3, v3, encryptLength},
      {"ConvertToV8OfV8", ZUPasswordConvert_V3ToV8, "V8:" + v3.substr(3), encryptLength},
      {"DecryptPlainText", ZUDecryptPassword, "plain text", decryptLength},
      // 2048 characters reach the cipher, 2049 and none do not.
      {"DecryptEmpty", ZUDecryptPassword, "", lengthError + "untouched"},
      {"Decrypt2048", ZUDecryptPassword, "V3:" + std::string(2045, 'A'), decryptLength},
      {"Decrypt2049", ZUDecryptPassword, "V3:" + std::string(2046, 'A'), lengthError + "untouched"},
      // Refused in the second call: the zero-filled array is already the caller's.
      {"DecryptForged", ZUDecryptPassword, forgedV3, "-1 Failed to decrypt password, error 22 -> "},
      {"ConvertToV3Forged", ZUPasswordConvert_V8ToV3, forgedV8, "-1 Failed to encrypt password, error 22 -> "},
      {"ConvertToV8Forged", ZUPasswordConvert_V3ToV8, forgedV3, "-1 Failed to encrypt password, error 22 -> "},
  };
  for (const auto& row : rows) EXPECT_EQ(Call(row.wrapper, row.input.c_str()), row.shown) << row.name;
  for (Wrapper wrapper : {ZUEncryptPassword, ZUEncryptPassword_V8, ZUPasswordConvert_V8ToV3, ZUPasswordConvert_V3ToV8,
                          ZUDecryptPassword}) {
    EXPECT_EQ(Call(wrapper, nullptr), "-1 Invalid arguments passed. -> untouched");
    EXPECT_EQ(wrapper(v3.c_str(), nullptr, nullptr), -1);
  }
}

// The one-call forms offer the cipher 1023 characters and return its error number.
TEST(PasswordWrappers, UtilEncryptAndDecrypt) {
  const std::string fits(737, 'x');  // encrypts to exactly 1023 characters
  std::string cipher = "untouched";
  ASSERT_EQ(UtilEncrypt(fits.c_str(), cipher), 0);
  EXPECT_EQ(cipher.size(), 1023u);
  const struct { int (*call)(const char*, std::string&); std::string input; int result; std::string output; } rows[] = {
      {UtilDecrypt, cipher, 0, fits}, {UtilEncrypt, fits + "x", 34, "untouched"},
      {UtilDecrypt, Output(ZUEncryptPassword, std::string(1024, 'y')), 34, "untouched"},
      {UtilDecrypt, "V3:bad", 22, "untouched"}, {UtilEncrypt, "", -1, "untouched"}, {UtilDecrypt, "", -1, "untouched"}};
  for (const auto& row : rows) {
    std::string output = "untouched";
    EXPECT_EQ(row.call(row.input.empty() ? nullptr : row.input.c_str(), output), row.result) << row.input.substr(0, 9);
    EXPECT_EQ(output, row.output) << row.input.substr(0, 20);
  }
}

std::string ClientEntry(const std::string& password) {
  return "<clientComposition><clientInfo><client" + (password.empty() ? "" : " clientPassword=\"" + password + "\"") +
         "><clientEntity clientName=\"c\"/></client></clientInfo></clientComposition>";
}

// Each entry's password, "-" for none, converted ones decrypted.
std::string Passwords(ClientSetup& request) {
  std::string shown;
  for (ClientsComposition& entry : zumsg::listCreate<ClientSetup::clientComposition>(request)) {
    std::string password = "-";
    XmlUtils::GetClientPassword(&entry, password);
    shown += (password.rfind("V3:", 0) == 0 ? "V3:" + Output(ZUDecryptPassword, password) : password) + " ";
  }
  return shown;
}

// Converts each client password in order, skips entries without one and stops at the first refusal.
TEST(ReEncryptInputRequestNetPwdV8ToV3, ConvertsUntilTheFirstRefusal) {
  const std::string one = Output(ZUEncryptPassword_V8, "one"), three = Output(ZUEncryptPassword_V8, "three");
  const struct { std::string entries; int result; std::string error, after; } cases[] = {
      {ClientEntry(one) + ClientEntry("") + "<clientComposition/><clientComposition><clientInfo/></clientComposition>", 0,
       "untouched", "V3:one - - - "},
      {ClientEntry(one) + ClientEntry(Output(ZUEncryptPassword, "two")) + ClientEntry(three), -22,
       "Failed to encrypt password to get length, error 22", "V3:one V3:two " + three + " "}};
  for (const auto& c : cases) {
    ClientSetup request;
    Load("<ClientSetup>" + c.entries + "</ClientSetup>", request);
    ClientSetup* pointer = &request;
    std::string error = "untouched";
    EXPECT_EQ(ReEncryptInputRequestNetPwdV8ToV3(pointer, error), c.result);
    EXPECT_EQ(pointer, &request);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(Passwords(request), c.after);
  }
  ClientSetup request;
  ClientSetup* pointer = &request;
  std::string error;
  Load("<ClientSetup><clientComposition><clientInfo/></clientComposition></ClientSetup>", request);
  // A present client field holding no object, which XML cannot say.
  auto* info = zumsg::object<ClientsComposition::clientInfo>(zumsg::list<ClientSetup::clientComposition>(request)->at(0));
  CNMessageBase** slot = info->getObjectAccessor(true, true, App::ClientInfo::client, App::Client::kClassNumber);
  delete *slot;
  *slot = nullptr;
  EXPECT_EQ(ReEncryptInputRequestNetPwdV8ToV3(pointer, error), 0);
  pointer = nullptr;
  EXPECT_EQ(ReEncryptInputRequestNetPwdV8ToV3(pointer, error), -22);
  EXPECT_EQ(error, "Invalid arguments passed.");
}

}  // namespace
