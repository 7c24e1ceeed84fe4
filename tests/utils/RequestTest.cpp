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

// Runs a wrapper with `input` and an error buffer of 80 '#'. Shows its output:
// "untouched" when the caller's pointer was left alone, a cipher text as its
// form and plain text, anything else as it is. The array is released with delete[].
std::string Call(Wrapper wrapper, const char* input, int& result, std::string& error) {
  static char sentinel;
  char* output = &sentinel;
  char buffer[81] = {};
  std::memset(buffer, '#', 80);
  result = wrapper(input, &output, buffer);
  error = std::strchr(buffer, '#') == buffer ? "" : std::string(buffer);
  EXPECT_TRUE(error.size() <= 75 && buffer[error.empty() ? 0 : error.size() + 1] == '#') << "wrote past its text";
  if (output == &sentinel) return "untouched";
  std::string shown = output;
  delete[] output;
  if (shown.rfind("V3:", 0) == 0 || shown.rfind("V8:", 0) == 0) {
    int decrypted;
    std::string ignored;
    shown = shown.substr(0, 3) + Call(ZUDecryptPassword, shown.c_str(), decrypted, ignored);
  }
  return shown;
}

std::string Encrypted(Wrapper wrapper, const std::string& plain) {
  char* output = nullptr;
  EXPECT_EQ(wrapper(plain.c_str(), &output, nullptr), 0);
  const std::unique_ptr<char[]> text(output);
  return text != nullptr ? text.get() : "";
}

TEST(PasswordWrappers, ResultErrorTextAndOutput) {
  const std::string v3 = Encrypted(ZUEncryptPassword, "pw"), v8 = Encrypted(ZUEncryptPassword_V8, "pw");
  // Forged texts have the right shape: the size query passes, the second call fails.
  std::string forgedV3 = v3, forgedV8 = v8;
  forgedV3[5] = forgedV3[5] == 'A' ? 'B' : 'A';
  forgedV8[5] = forgedV8[5] == 'A' ? 'B' : 'A';
  const std::string longPlain(700, 'p');
  const char* lengthError = "An invalid length of encrypted string is passed to decrypt. Decrypt failed.";
  const char* encryptLength = "Failed to encrypt password to get length, error 22";
  const char* decryptLength = "Failed to decrypt password to get length, error 22";
  const struct { const char* name; Wrapper wrapper; std::string input; int result; std::string error, output; } rows[] = {
      {"EncryptV3", ZUEncryptPassword, "s3cret pass", 0, "", "V3:s3cret pass"},
      {"EncryptV8", ZUEncryptPassword_V8, longPlain, 0, "", "V8:" + longPlain},
      {"ConvertToV3", ZUPasswordConvert_V8ToV3, v8, 0, "", "V3:pw"},
      {"ConvertToV8", ZUPasswordConvert_V3ToV8, v3, 0, "", "V8:pw"},
      {"Decrypt", ZUDecryptPassword, v3, 0, "", "pw"},
      {"ConvertToV3OfV3", ZUPasswordConvert_V8ToV3, v3, -1, encryptLength, "untouched"},
      {"ConvertToV8OfV8", ZUPasswordConvert_V3ToV8, "V8:" + v3.substr(3), -1, encryptLength, "untouched"},
      {"DecryptPlainText", ZUDecryptPassword, "plain text", -1, decryptLength, "untouched"},
      // 2048 characters reach the cipher, 2049 and none do not.
      {"DecryptEmpty", ZUDecryptPassword, "", -1, lengthError, "untouched"},
      {"Decrypt2048", ZUDecryptPassword, "V3:" + std::string(2045, 'A'), -1, decryptLength, "untouched"},
      {"Decrypt2049", ZUDecryptPassword, "V3:" + std::string(2046, 'A'), -1, lengthError, "untouched"},
      // Refused in the second call: the zero-filled array is already the caller's.
      {"DecryptForged", ZUDecryptPassword, forgedV3, -1, "Failed to decrypt password, error 22", ""},
      {"ConvertToV3Forged", ZUPasswordConvert_V8ToV3, forgedV8, -1, "Failed to encrypt password, error 22", ""},
      {"ConvertToV8Forged", ZUPasswordConvert_V3ToV8, forgedV3, -1, "Failed to encrypt password, error 22", ""},
  };
  for (const auto& row : rows) {
    int result = 0;
    std::string error;
    EXPECT_EQ(Call(row.wrapper, row.input.c_str(), result, error), row.output) << row.name;
    EXPECT_EQ(result, row.result) << row.name;
    EXPECT_EQ(error, row.error) << row.name;
  }
  for (Wrapper wrapper : {ZUEncryptPassword, ZUEncryptPassword_V8, ZUPasswordConvert_V8ToV3, ZUPasswordConvert_V3ToV8,
                          ZUDecryptPassword}) {
    int result = 0;
    std::string error;
    const std::string shown = Call(wrapper, nullptr, result, error);
    EXPECT_EQ(shown + " " + std::to_string(result) + " " + error, "untouched -1 Invalid arguments passed.");
    EXPECT_EQ(wrapper(v3.c_str(), nullptr, nullptr), -1);
  }
}

// The one-call forms offer the cipher 1023 characters and return its error number.
TEST(PasswordWrappers, UtilEncryptAndDecrypt) {
  const std::string fits(737, 'x');  // encrypts to exactly 1023 characters
  const struct { int (*call)(const char*, std::string&); std::string input; int result; std::string output; } rows[] = {
      {UtilEncrypt, fits + "x", 34, "untouched"},
      {UtilDecrypt, Encrypted(ZUEncryptPassword_V8, std::string(1023, 'y')), 0, std::string(1023, 'y')},
      {UtilDecrypt, Encrypted(ZUEncryptPassword, std::string(1024, 'y')), 34, "untouched"},
      {UtilDecrypt, "V3:bad", 22, "untouched"},
  };
  for (const auto& row : rows) {
    std::string output = "untouched";
    EXPECT_EQ(row.call(row.input.c_str(), output), row.result) << row.input.substr(0, 20);
    EXPECT_EQ(output, row.output) << row.input.substr(0, 20);
  }
  std::string output = "untouched", plain;
  ASSERT_EQ(UtilEncrypt(fits.c_str(), output), 0);
  EXPECT_EQ(output.size(), 1023u);
  ASSERT_EQ(UtilDecrypt(output.c_str(), plain), 0);
  EXPECT_EQ(plain, fits);
  EXPECT_EQ(UtilEncrypt(nullptr, output), -1);
  EXPECT_EQ(UtilDecrypt(nullptr, output), -1);
}

std::string ClientEntry(const std::string& password) {
  return "<clientComposition><clientInfo><client" + (password.empty() ? "" : " clientPassword=\"" + password + "\"") +
         "><clientEntity clientName=\"c\"/></client></clientInfo></clientComposition>";
}

// Each entry's password, "-" for none, converted ones decrypted.
std::string Passwords(ClientSetup& request) {
  std::string shown;
  for (ClientsComposition& entry : zumsg::listCreate<ClientSetup::clientComposition>(request)) {
    std::string password = "-", error;
    int result = 0;
    XmlUtils::GetClientPassword(&entry, password);
    shown += (password.rfind("V3:", 0) == 0 ? "V3:" + Call(ZUDecryptPassword, password.c_str(), result, error) : password) + " ";
  }
  return shown;
}

// Converts each client password in order, skips entries without one and stops at the first refusal.
TEST(ReEncryptInputRequestNetPwdV8ToV3, ConvertsUntilTheFirstRefusal) {
  const std::string one = Encrypted(ZUEncryptPassword_V8, "one"), three = Encrypted(ZUEncryptPassword_V8, "three");
  const struct { std::string entries; int result; std::string error, after; } cases[] = {
      {ClientEntry(one) + ClientEntry("") + "<clientComposition/><clientComposition><clientInfo/></clientComposition>", 0,
       "untouched", "V3:one - - - "},
      {ClientEntry(one) + ClientEntry(Encrypted(ZUEncryptPassword, "two")) + ClientEntry(three), -22,
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
