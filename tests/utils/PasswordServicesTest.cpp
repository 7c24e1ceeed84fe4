#include <cstring>
#include <memory>
#include <string>

#include "ZUInstallUtils.h"
#include "utils/UtilsTestSupport.h"

namespace {

using ZUInstallManager::ClientSetup;
using ZUInstallManager::ClientsComposition;
using Wrapper = int (*)(const char*, char**, char*);

// Runs a two-call wrapper; the result text, or the error text prefixed with "error: ".
std::string CallWrapper(Wrapper wrapper, const char* input) {
  char* output = nullptr;
  char error[1024] = {};
  const int result = wrapper(input, &output, error);
  std::unique_ptr<char[]> owned(output);
  if (result != 0) return std::string("error: ") + error;
  EXPECT_NE(output, nullptr);
  return output;
}

std::string Encrypt(Wrapper wrapper, const std::string& plain) {
  std::string text = CallWrapper(wrapper, plain.c_str());
  EXPECT_EQ(text.rfind("error: ", 0), std::string::npos) << text;
  return text;
}

// A refused call: its error text, and the output it handed over (null when
// the caller's pointer was left untouched).
struct Refusal {
  std::string error;
  char* output;
};

Refusal Refuse(Wrapper wrapper, const std::string& input) {
  static char sentinel;
  char* output = &sentinel;
  char error[1024] = {};
  EXPECT_EQ(wrapper(input.c_str(), &output, error), -1) << input;
  return {error, output == &sentinel ? nullptr : output};
}

TEST(PasswordWrappers, RoundTripThroughEveryForm) {
  for (const std::string& plain : {std::string(), std::string("s3cret pass"), std::string(700, 'p')}) {
    const std::string v8 = Encrypt(ZUEncryptPassword_V8, plain);
    const std::string converted = Encrypt(ZUPasswordConvert_V8ToV3, v8);
    const std::pair<std::string, const char*> forms[] = {{Encrypt(ZUEncryptPassword, plain), "V3:"},
                                                         {v8, "V8:"},
                                                         {converted, "V3:"},
                                                         {Encrypt(ZUPasswordConvert_V3ToV8, converted), "V8:"}};
    for (const auto& [text, prefix] : forms) {
      EXPECT_EQ(text.substr(0, 3), prefix) << plain.size();
      EXPECT_EQ(CallWrapper(ZUDecryptPassword, text.c_str()), plain);
    }
  }
}

TEST(PasswordWrappers, NullArgumentsRefusedBeforeTheCipher) {
  const Wrapper wrappers[] = {ZUEncryptPassword, ZUEncryptPassword_V8, ZUPasswordConvert_V8ToV3,
                              ZUPasswordConvert_V3ToV8, ZUDecryptPassword};
  for (Wrapper wrapper : wrappers) {
    char sentinel;
    char* output = &sentinel;
    char error[80];
    std::memset(error, '#', sizeof error);
    EXPECT_EQ(wrapper(nullptr, &output, error), -1);
    EXPECT_STREQ(error, "Invalid arguments passed.");
    EXPECT_EQ(error[26], '#') << "nothing written past the text";
    EXPECT_EQ(output, &sentinel);
    EXPECT_EQ(wrapper("V8:AAAA", nullptr, error), -1);
  }
}

TEST(PasswordWrappers, FirstCallRefusalLeavesOutputPointerUntouched) {
  const std::string v3 = Encrypt(ZUEncryptPassword, "pw");
  const char* lengthError = "An invalid length of encrypted string is passed to decrypt. Decrypt failed.";
  const struct {
    Wrapper wrapper;
    std::string input;
    const char* error;
  } cases[] = {
      {ZUPasswordConvert_V8ToV3, v3, "Failed to encrypt password to get length, error 22"},
      {ZUPasswordConvert_V3ToV8, "V8:" + v3.substr(3), "Failed to encrypt password to get length, error 22"},
      {ZUDecryptPassword, "plain text", "Failed to decrypt password to get length, error 22"},
      {ZUDecryptPassword, v3.substr(0, v3.size() - 4), "Failed to decrypt password to get length, error 22"},
      // The decrypt length rule: 2048 characters reach the cipher, 2049 and none do not.
      {ZUDecryptPassword, "", lengthError},
      {ZUDecryptPassword, "V3:" + std::string(2045, 'A'), "Failed to decrypt password to get length, error 22"},
      {ZUDecryptPassword, "V3:" + std::string(2046, 'A'), lengthError},
  };
  for (const auto& c : cases) {
    const Refusal refusal = Refuse(c.wrapper, c.input);
    EXPECT_EQ(refusal.error, c.error) << c.input.size() << " " << c.input.substr(0, 20);
    EXPECT_EQ(refusal.output, nullptr) << c.input.size() << " " << c.input.substr(0, 20);
  }
}

// A forged text has the right shape, so the size query passes and the tag
// check fails in the second call: the buffer is already the caller's.
TEST(PasswordWrappers, SecondCallRefusalHandsOverTheBuffer) {
  auto forge = [](std::string text) {
    text[5] = text[5] == 'A' ? 'B' : 'A';
    return text;
  };
  const std::string v3 = forge(Encrypt(ZUEncryptPassword, "pw"));
  const std::string v8 = forge(Encrypt(ZUEncryptPassword_V8, "pw"));
  const struct {
    Wrapper wrapper;
    std::string input;
    const char* error;
  } cases[] = {
      {ZUDecryptPassword, v3, "Failed to decrypt password, error 22"},
      {ZUPasswordConvert_V8ToV3, v8, "Failed to encrypt password, error 22"},
      {ZUPasswordConvert_V3ToV8, v3, "Failed to encrypt password, error 22"},
  };
  for (const auto& c : cases) {
    const Refusal refusal = Refuse(c.wrapper, c.input);
    std::unique_ptr<char[]> owned(refusal.output);
    EXPECT_EQ(refusal.error, c.error) << c.input;
    ASSERT_NE(refusal.output, nullptr) << c.input;
    EXPECT_EQ(refusal.output[0], '\0') << "handed over zero-filled";
  }
}

TEST(UtilEncrypt, OffersTheCipher1023Characters) {
  // A plain text of 737 characters encrypts to exactly 1023; one more no longer fits.
  std::string output = "untouched";
  ASSERT_EQ(UtilEncrypt(std::string(737, 'x').c_str(), output), 0);
  EXPECT_EQ(output.size(), 1023u);
  std::string decrypted;
  ASSERT_EQ(UtilDecrypt(output.c_str(), decrypted), 0);
  EXPECT_EQ(decrypted, std::string(737, 'x'));

  output = "untouched";
  EXPECT_EQ(UtilEncrypt(std::string(738, 'x').c_str(), output), 34) << "the cipher's no-room number";
  EXPECT_EQ(output, "untouched");
}

TEST(UtilDecrypt, ReturnsCipherErrorNumberAndKeepsOutput) {
  const std::string fits = Encrypt(ZUEncryptPassword_V8, std::string(1023, 'y'));
  const std::string tooLong = Encrypt(ZUEncryptPassword, std::string(1024, 'y'));
  std::string output = "untouched";
  ASSERT_EQ(UtilDecrypt(fits.c_str(), output), 0);
  EXPECT_EQ(output, std::string(1023, 'y'));

  output = "untouched";
  EXPECT_EQ(UtilDecrypt(tooLong.c_str(), output), 34);
  EXPECT_EQ(UtilDecrypt("V3:bad", output), 22);
  EXPECT_EQ(UtilDecrypt(nullptr, output), -1);
  EXPECT_EQ(UtilEncrypt(nullptr, output), -1);
  EXPECT_EQ(output, "untouched");
}

class RequestPasswordConversion : public ::testing::Test {
 protected:
  static std::string ClientEntry(const std::string& attributes) {
    return "<clientComposition><clientInfo><client " + attributes +
           "><clientEntity clientName=\"c\"/></client></clientInfo></clientComposition>";
  }

  App::Client* ClientAt(std::size_t index) {
    auto* entries = zumsg::list<ClientSetup::clientComposition>(request_);
    App::ClientInfo* info = zumsg::object<ClientsComposition::clientInfo>(entries->at(index));
    return zumsg::object<App::ClientInfo::client>(*info);
  }

  std::string PasswordAt(std::size_t index) { return ClientAt(index)->getstring(App::Client::clientPassword); }

  ClientSetup request_;
  std::string error_ = "untouched";
};

TEST_F(RequestPasswordConversion, ConvertsEveryClientPasswordToV3) {
  const std::string first = Encrypt(ZUEncryptPassword_V8, "one");
  const std::string second = Encrypt(ZUEncryptPassword_V8, "two");
  uttest::Load("<ClientSetup>" + ClientEntry("clientPassword=\"" + first + "\"") + ClientEntry("zudPort=\"8400\"") +
                   "<clientComposition/>" + ClientEntry("clientPassword=\"" + second + "\"") + "</ClientSetup>",
               request_);
  ClientSetup* pointer = &request_;
  ASSERT_EQ(ReEncryptInputRequestNetPwdV8ToV3(pointer, error_), 0);
  EXPECT_EQ(pointer, &request_);
  EXPECT_EQ(error_, "untouched");
  EXPECT_EQ(PasswordAt(0).substr(0, 3), "V3:");
  EXPECT_EQ(CallWrapper(ZUDecryptPassword, PasswordAt(0).c_str()), "one");
  EXPECT_FALSE(ClientAt(1)->isSet(App::Client::clientPassword));
  EXPECT_EQ(CallWrapper(ZUDecryptPassword, PasswordAt(3).c_str()), "two");
}

TEST_F(RequestPasswordConversion, StopsAtFirstFailure) {
  const std::string first = Encrypt(ZUEncryptPassword_V8, "one");
  const std::string alreadyV3 = Encrypt(ZUEncryptPassword, "two");
  const std::string third = Encrypt(ZUEncryptPassword_V8, "three");
  uttest::Load("<ClientSetup>" + ClientEntry("clientPassword=\"" + first + "\"") +
                   ClientEntry("clientPassword=\"" + alreadyV3 + "\"") +
                   ClientEntry("clientPassword=\"" + third + "\"") + "</ClientSetup>",
               request_);
  ClientSetup* pointer = &request_;
  EXPECT_EQ(ReEncryptInputRequestNetPwdV8ToV3(pointer, error_), -22);
  EXPECT_EQ(error_, "Failed to encrypt password to get length, error 22");
  EXPECT_EQ(PasswordAt(0).substr(0, 3), "V3:");
  EXPECT_EQ(CallWrapper(ZUDecryptPassword, PasswordAt(0).c_str()), "one");
  EXPECT_EQ(PasswordAt(1), alreadyV3);
  EXPECT_EQ(PasswordAt(2), third);
}

TEST_F(RequestPasswordConversion, RequestsWithoutPasswordsUnchanged) {
  for (const char* xml : {"<ClientSetup/>", "<ClientSetup jobId=\"1\"><clientComposition/></ClientSetup>",
                          "<ClientSetup><clientComposition><clientInfo/></clientComposition></ClientSetup>"}) {
    ClientSetup request;
    uttest::Load(xml, request);
    ClientSetup* pointer = &request;
    EXPECT_EQ(ReEncryptInputRequestNetPwdV8ToV3(pointer, error_), 0) << xml;
  }
  // A present client field holding no object: XML cannot say this.
  uttest::Load("<ClientSetup><clientComposition><clientInfo/></clientComposition></ClientSetup>", request_);
  auto* info = zumsg::object<ClientsComposition::clientInfo>(zumsg::list<ClientSetup::clientComposition>(request_)->at(0));
  CNMessageBase** slot = info->getObjectAccessor(true, true, App::ClientInfo::client, App::Client::kClassNumber);
  ASSERT_NE(slot, nullptr);
  delete *slot;
  *slot = nullptr;
  ASSERT_TRUE(info->isSet(App::ClientInfo::client));
  ClientSetup* pointer = &request_;
  EXPECT_EQ(ReEncryptInputRequestNetPwdV8ToV3(pointer, error_), 0);
  EXPECT_EQ(error_, "untouched");
}

TEST(ReEncryptInputRequestNetPwdV8ToV3, NullRequestGivesInvalidArguments) {
  ClientSetup* request = nullptr;
  std::string error;
  EXPECT_EQ(ReEncryptInputRequestNetPwdV8ToV3(request, error), -22);
  EXPECT_EQ(error, "Invalid arguments passed.");
}

}  // namespace
