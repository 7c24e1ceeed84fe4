// Feeds untrusted text to the password services. The selector byte picks:
// decrypting arbitrary text (a failure carries one of the fixed error texts,
// at most 75 characters, and the one-call form agrees); encrypting arbitrary
// plaintext in both forms and converting between them (every path decrypts
// back to the plaintext); or tampering with a valid encrypted text (it either
// fails or still gives the original plaintext, never anything else).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"

namespace {

constexpr std::size_t kErrorRoom = 1024;
constexpr std::size_t kLongestError = 75;
constexpr char kSecret[] = "fuzz-secret \xC3\xA9 42";
constexpr const char* kErrorTexts[] = {
    "Invalid arguments passed.",
    "An invalid length of encrypted string is passed to decrypt. Decrypt failed.",
    "Failed to decrypt password to get length, error ",
    "Failed to decrypt password, error ",
    "Failed to encrypt password to get length, error ",
    "Failed to encrypt password, error ",
};

struct Call {
  int result = 0;
  char* output = nullptr;
  char error[kErrorRoom];
  Call() {
    std::memset(error, 0x7F, sizeof error);
    error[kErrorRoom - 1] = '\0';
  }
  ~Call() { delete[] output; }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;
};

void RequireFixedError(const Call& call) {
  const std::size_t length = std::strlen(call.error);
  zufuzz::Require(length <= kLongestError, "an error text fits 75 characters", call.error);
  for (const char* text : kErrorTexts) {
    if (std::strncmp(call.error, text, std::strlen(text)) == 0) return;
  }
  zufuzz::Fail("a failure writes one of the fixed error texts", call.error);
}

using Wrapper = int (*)(const char*, char**, char*);

// Runs a two-call wrapper; on success returns the text, on failure checks the error.
bool Run(Wrapper wrapper, const char* input, std::string& result) {
  Call call;
  call.result = wrapper(input, &call.output, call.error);
  zufuzz::Require(call.result == 0 || call.result == -1, "a wrapper answers 0 or -1");
  if (call.result != 0) {
    RequireFixedError(call);
    return false;
  }
  zufuzz::Require(call.output != nullptr, "a successful wrapper hands out its text");
  zufuzz::Require(call.error[0] == 0x7F, "a successful wrapper leaves the error text alone");
  result = call.output;
  return true;
}

std::string MustRun(Wrapper wrapper, const char* input, const char* what) {
  std::string result;
  if (!Run(wrapper, input, result)) zufuzz::Fail(what, input);
  return result;
}

void DecryptArbitrary(const std::string& text) {
  const char* input = text.c_str();
  const std::size_t length = std::strlen(input);
  Call call;
  call.result = ZUDecryptPassword(input, &call.output, call.error);
  zufuzz::Require(call.result == 0 || call.result == -1, "ZUDecryptPassword answers 0 or -1");
  if (length == 0 || length > 2048) {
    zufuzz::Require(call.result == -1 && call.output == nullptr, "a bad length never reaches the cipher");
    zufuzz::Require(std::strcmp(call.error, kErrorTexts[1]) == 0, "a bad length has its own text", call.error);
  } else if (call.result != 0) {
    RequireFixedError(call);
  }
  std::string single = "\x03unset";
  const int singleResult = UtilDecrypt(input, single);
  if (call.result == 0) {
    const std::string plain = call.output;
    zufuzz::Require(singleResult == 0 || plain.size() > 1023, "UtilDecrypt decrypts what ZUDecryptPassword does");
    if (singleResult == 0) zufuzz::Require(single == plain, "both decrypt forms agree");
  } else if (length != 0 && length <= 2048) {
    zufuzz::Require(singleResult != 0 && single == "\x03unset", "UtilDecrypt fails alike and leaves its output");
  }
}

void RoundTrip(const std::string& text) {
  const char* plain = text.c_str();
  const std::string v3 = MustRun(ZUEncryptPassword, plain, "any text encrypts");
  const std::string v8 = MustRun(ZUEncryptPassword_V8, plain, "any text encrypts into V8");
  zufuzz::Require(v3.compare(0, 3, "V3:") == 0 && v8.compare(0, 3, "V8:") == 0, "the forms carry their prefixes");
  std::string back;
  // An encrypted text over 2048 characters is refused by ZUDecryptPassword by design.
  if (v3.size() <= 2048) {
    zufuzz::Require(Run(ZUDecryptPassword, v3.c_str(), back) && back == plain, "V3 decrypts to the plaintext");
  }
  if (v8.size() <= 2048) {
    zufuzz::Require(Run(ZUDecryptPassword, v8.c_str(), back) && back == plain, "V8 decrypts to the plaintext");
  }
  const std::string converted = MustRun(ZUPasswordConvert_V8ToV3, v8.c_str(), "V8 converts to V3");
  const std::string reconverted = MustRun(ZUPasswordConvert_V3ToV8, converted.c_str(), "V3 converts to V8");
  if (reconverted.size() <= 2048) {
    zufuzz::Require(Run(ZUDecryptPassword, reconverted.c_str(), back) && back == plain,
                    "a converted text decrypts to the plaintext");
  }
  zufuzz::Require(!Run(ZUPasswordConvert_V8ToV3, v3.c_str(), back), "V3 is refused as V8");
  zufuzz::Require(!Run(ZUPasswordConvert_V3ToV8, v8.c_str(), back), "V8 is refused as V3");
  std::string single;
  zufuzz::Require(UtilEncrypt(plain, single) == 0 || v3.size() > 1023, "UtilEncrypt encrypts");
}

// Pairs of (position, xor mask) change a valid encrypted text.
void Tamper(const std::uint8_t* data, std::size_t size) {
  static const std::string v3 = MustRun(ZUEncryptPassword, kSecret, "the secret encrypts");
  static const std::string v8 = MustRun(ZUEncryptPassword_V8, kSecret, "the secret encrypts into V8");
  std::string text = (size % 2 == 0) ? v3 : v8;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    if (data[i + 1] == 0) continue;
    text[data[i] % text.size()] = static_cast<char>(text[data[i] % text.size()] ^ data[i + 1]);
  }
  std::string back;
  if (Run(ZUDecryptPassword, text.c_str(), back)) {
    zufuzz::Require(back == kSecret, "a tampered text never decrypts to anything else", text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const zufuzz::Selector s = zufuzz::TakeSelector(data, size);
  switch (s.value % 3) {
    case 0: DecryptArbitrary(zufuzz::Text(s.data, s.size)); break;
    case 1: RoundTrip(zufuzz::Text(s.data, s.size)); break;
    case 2: Tamper(s.data, s.size); break;
  }
  return 0;
}
