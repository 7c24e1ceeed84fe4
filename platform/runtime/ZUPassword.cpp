#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ZuRuntime.h"

namespace {

enum class Form { kV3, kV8 };

// Built-in keys of the stand-in cipher. They only have to differ per form and
// stay fixed, so texts written by one build are read by the next.
constexpr unsigned char kKeyV3[32] = {0xb6, 0x07, 0xb9, 0x86, 0x7c, 0xa4, 0xff, 0x3d, 0xa8, 0xd9, 0xed,
                                      0x65, 0x1a, 0xa6, 0x04, 0xfd, 0xcf, 0xe2, 0xdc, 0x73, 0x09, 0x7f,
                                      0x35, 0x2d, 0x23, 0x0e, 0xac, 0x32, 0xcc, 0x72, 0x2c, 0x17};
constexpr unsigned char kKeyV8[32] = {0x46, 0x6e, 0xf4, 0x3e, 0xd6, 0x7e, 0x5b, 0xdd, 0x07, 0x29, 0xab,
                                      0x9b, 0x24, 0xf9, 0x59, 0xd9, 0xf0, 0xd6, 0xde, 0x21, 0xac, 0x06,
                                      0xb1, 0x80, 0x93, 0x8f, 0x52, 0x06, 0x84, 0xcb, 0xe9, 0xe2};

constexpr std::size_t kPrefixLength = 3;  // "V3:" or "V8:"
constexpr std::size_t kNonceLength = 12;
constexpr std::size_t kTagLength = 16;
constexpr std::size_t kOverhead = kNonceLength + kTagLength;
// EVP takes int lengths; the payload and its base64 must stay below INT_MAX.
constexpr std::size_t kMaxPlainLength = (INT_MAX / 4) * 3 - kOverhead - 8;

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

const char* PrefixOf(Form form) { return form == Form::kV3 ? "V3:" : "V8:"; }
const unsigned char* KeyOf(Form form) { return form == Form::kV3 ? kKeyV3 : kKeyV8; }

// Plaintext bytes, wiped when they go out of scope. The allocation never
// moves, so no stale copy is left behind.
class SecretBytes {
 public:
  explicit SecretBytes(std::size_t size) : bytes_(new unsigned char[size + 1]), capacity_(size + 1), size_(size) {}
  ~SecretBytes() { OPENSSL_cleanse(bytes_.get(), capacity_); }
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  unsigned char* data() { return bytes_.get(); }
  std::size_t size() const { return size_; }
  void truncate(std::size_t size) { size_ = size < size_ ? size : size_; }

 private:
  std::unique_ptr<unsigned char[]> bytes_;
  std::size_t capacity_;
  std::size_t size_;
};

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

std::size_t EncryptedLength(std::size_t plainLength) { return kPrefixLength + 4 * ((plainLength + kOverhead + 2) / 3); }

void AppendBase64(std::string& out, const unsigned char* data, std::size_t size) {
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    unsigned value = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out += kBase64[value >> 18];
    out += kBase64[(value >> 12) & 0x3F];
    out += kBase64[(value >> 6) & 0x3F];
    out += kBase64[value & 0x3F];
  }
  if (size - i == 1) {
    unsigned value = data[i] << 16;
    out += kBase64[value >> 18];
    out += kBase64[(value >> 12) & 0x3F];
    out += "==";
  } else if (size - i == 2) {
    unsigned value = (data[i] << 16) | (data[i + 1] << 8);
    out += kBase64[value >> 18];
    out += kBase64[(value >> 12) & 0x3F];
    out += kBase64[(value >> 6) & 0x3F];
    out += '=';
  }
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Decodes canonical padded base64 only: no blanks, no line breaks, and zero
// unused bits, so every change to a text changes its payload or is refused.
bool DecodeBase64(const char* text, std::size_t length, std::vector<unsigned char>& out) {
  if (length % 4 != 0) return false;
  out.clear();
  out.reserve(length / 4 * 3);
  for (std::size_t i = 0; i < length; i += 4) {
    bool last = i + 4 == length;
    int padding = 0;
    if (last && text[i + 3] == '=') padding = text[i + 2] == '=' ? 2 : 1;
    int v[4];
    for (int k = 0; k < 4 - padding; ++k) {
      v[k] = Base64Value(text[i + k]);
      if (v[k] < 0) return false;
    }
    for (int k = 4 - padding; k < 4; ++k) v[k] = 0;
    unsigned value = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    if (padding == 2 && (value & 0xFFFF) != 0) return false;
    if (padding == 1 && (value & 0xFF) != 0) return false;
    out.push_back(static_cast<unsigned char>(value >> 16));
    if (padding < 2) out.push_back(static_cast<unsigned char>(value >> 8));
    if (padding < 1) out.push_back(static_cast<unsigned char>(value));
  }
  return true;
}

// Encrypts into "Vn:" + base64(nonce || ciphertext || tag).
unsigned long Encrypt(Form form, const unsigned char* plain, std::size_t plainLength, std::string& out) {
  if (plainLength > kMaxPlainLength) return ZUPassword::kBadInput;
  std::vector<unsigned char> payload(plainLength + kOverhead);
  unsigned char* nonce = payload.data();
  unsigned char* cipherText = nonce + kNonceLength;
  unsigned char* tag = cipherText + plainLength;
  if (RAND_bytes(nonce, static_cast<int>(kNonceLength)) != 1) return ZUPassword::kCrypto;

  CipherContext context(EVP_CIPHER_CTX_new());
  int written = 0;
  int finalWritten = 0;
  if (!context || EVP_EncryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(kNonceLength), nullptr) != 1 ||
      EVP_EncryptInit_ex(context.get(), nullptr, nullptr, KeyOf(form), nonce) != 1) {
    return ZUPassword::kCrypto;
  }
  if (plainLength > 0 &&
      EVP_EncryptUpdate(context.get(), cipherText, &written, plain, static_cast<int>(plainLength)) != 1) {
    return ZUPassword::kCrypto;
  }
  if (EVP_EncryptFinal_ex(context.get(), cipherText + written, &finalWritten) != 1 ||
      static_cast<std::size_t>(written) + static_cast<std::size_t>(finalWritten) != plainLength ||
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, static_cast<int>(kTagLength), tag) != 1) {
    return ZUPassword::kCrypto;
  }
  out.clear();
  out.reserve(EncryptedLength(plainLength));
  out += PrefixOf(form);
  AppendBase64(out, payload.data(), payload.size());
  return 0;
}

// Takes a text of an accepted form apart into its key and payload; refuses
// anything that is not "Vn:" + canonical base64 of at least nonce and tag.
unsigned long ParseText(const char* text, bool acceptV3, bool acceptV8, Form& form,
                        std::vector<unsigned char>& payload) {
  if (std::strncmp(text, "V3:", kPrefixLength) == 0 && acceptV3) {
    form = Form::kV3;
  } else if (std::strncmp(text, "V8:", kPrefixLength) == 0 && acceptV8) {
    form = Form::kV8;
  } else {
    return ZUPassword::kBadInput;
  }
  const char* encoded = text + kPrefixLength;
  std::size_t encodedLength = std::strlen(encoded);
  if (encodedLength > static_cast<std::size_t>(INT_MAX)) return ZUPassword::kBadInput;
  if (!DecodeBase64(encoded, encodedLength, payload) || payload.size() < kOverhead) {
    return ZUPassword::kBadInput;
  }
  return 0;
}

// Decrypts a parsed payload into `plain`; a failed tag is bad input.
unsigned long Decrypt(Form form, std::vector<unsigned char>& payload, std::unique_ptr<SecretBytes>& plain) {
  const unsigned char* nonce = payload.data();
  const unsigned char* cipherText = nonce + kNonceLength;
  std::size_t cipherLength = payload.size() - kOverhead;
  unsigned char* tag = payload.data() + kNonceLength + cipherLength;

  plain.reset(new SecretBytes(cipherLength));
  CipherContext context(EVP_CIPHER_CTX_new());
  int written = 0;
  int finalWritten = 0;
  if (!context || EVP_DecryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(kNonceLength), nullptr) != 1 ||
      EVP_DecryptInit_ex(context.get(), nullptr, nullptr, KeyOf(form), nonce) != 1) {
    return ZUPassword::kCrypto;
  }
  if (cipherLength > 0 &&
      EVP_DecryptUpdate(context.get(), plain->data(), &written, cipherText, static_cast<int>(cipherLength)) != 1) {
    return ZUPassword::kCrypto;
  }
  if (EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, static_cast<int>(kTagLength), tag) != 1) {
    return ZUPassword::kCrypto;
  }
  if (EVP_DecryptFinal_ex(context.get(), plain->data() + written, &finalWritten) != 1) {
    return ZUPassword::kBadInput;  // tag mismatch: tampered, truncated or the wrong key
  }
  plain->truncate(static_cast<std::size_t>(written) + static_cast<std::size_t>(finalWritten));
  // Callers read the result as a C string: an embedded NUL would lose the rest.
  if (std::memchr(plain->data(), '\0', plain->size()) != nullptr) return ZUPassword::kBadInput;
  return 0;
}

unsigned long CheckArguments(const char* input, const char* output, const unsigned long* length) {
  if (input == nullptr || length == nullptr) return ZUPassword::kBadInput;
  if (output == nullptr && *length != 0) return ZUPassword::kBadInput;
  return 0;
}

// Hands a result over under the length protocol.
unsigned long Deliver(const void* result, std::size_t resultLength, char* output, unsigned long* length) {
  if (output == nullptr) {
    *length = resultLength;
    return 0;
  }
  if (resultLength > *length) return ZUPassword::kNoRoom;
  std::memcpy(output, result, resultLength);
  output[resultLength] = '\0';
  *length = resultLength;
  return 0;
}

unsigned long EncryptText(Form form, const char* input, char* output, unsigned long* length) {
  if (unsigned long error = CheckArguments(input, output, length)) return error;
  std::size_t plainLength = std::strlen(input);
  if (plainLength > kMaxPlainLength) return ZUPassword::kBadInput;
  std::size_t resultLength = EncryptedLength(plainLength);
  // The length follows from the input's: a size query needs no encryption.
  if (output == nullptr) return Deliver(nullptr, resultLength, nullptr, length);
  if (resultLength > *length) return ZUPassword::kNoRoom;
  std::string text;
  if (unsigned long error = Encrypt(form, reinterpret_cast<const unsigned char*>(input), plainLength, text)) {
    return error;
  }
  return Deliver(text.data(), text.size(), output, length);
}

// A size query answers from the text's shape alone: the plaintext is as long as
// the payload less nonce and tag. Only the call with room decrypts and checks
// the tag, so a forged text passes the query and fails the call.
unsigned long DecryptText(const char* input, char* output, unsigned long* length) {
  if (unsigned long error = CheckArguments(input, output, length)) return error;
  Form form;
  std::vector<unsigned char> payload;
  if (unsigned long error = ParseText(input, true, true, form, payload)) return error;
  if (output == nullptr) return Deliver(nullptr, payload.size() - kOverhead, nullptr, length);
  std::unique_ptr<SecretBytes> plain;
  if (unsigned long error = Decrypt(form, payload, plain)) return error;
  return Deliver(plain->data(), plain->size(), output, length);
}

unsigned long ConvertText(Form from, Form to, const char* input, char* output, unsigned long* length) {
  if (unsigned long error = CheckArguments(input, output, length)) return error;
  Form form;
  std::vector<unsigned char> payload;
  if (unsigned long error = ParseText(input, from == Form::kV3, from == Form::kV8, form, payload)) {
    return error;
  }
  std::size_t resultLength = EncryptedLength(payload.size() - kOverhead);
  if (output == nullptr) return Deliver(nullptr, resultLength, nullptr, length);
  if (resultLength > *length) return ZUPassword::kNoRoom;
  std::unique_ptr<SecretBytes> plain;
  if (unsigned long error = Decrypt(form, payload, plain)) return error;
  std::string text;
  if (unsigned long error = Encrypt(to, plain->data(), plain->size(), text)) return error;
  return Deliver(text.data(), text.size(), output, length);
}

// Runs one operation inside the library's exception boundary.
template <typename Operation>
unsigned long Guarded(Operation operation) {
  try {
    return operation();
  } catch (...) {
    return ZUPassword::kCrypto;  // out of memory: the crypto step could not run
  }
}

}  // namespace

ZUPassword::ZUPassword(int /*options*/) {}

ZUPassword::~ZUPassword() = default;

int ZUPassword::encrypt(const char* input, char* output, unsigned long* length) {
  unsigned long error = Guarded([&] { return EncryptText(Form::kV3, input, output, length); });
  return error != 0 ? fail(error) : 1;
}

int ZUPassword::encryptV8(const char* input, char* output, unsigned long* length) {
  unsigned long error = Guarded([&] { return EncryptText(Form::kV8, input, output, length); });
  return error != 0 ? fail(error) : 1;
}

int ZUPassword::decrypt(const char* input, char* output, unsigned long* length) {
  unsigned long error = Guarded([&] { return DecryptText(input, output, length); });
  return error != 0 ? fail(error) : 1;
}

int ZUPassword::ConvertToV3(const char* input, char* output, unsigned long* length) {
  unsigned long error = Guarded([&] { return ConvertText(Form::kV8, Form::kV3, input, output, length); });
  return error != 0 ? fail(error) : 1;
}

int ZUPassword::ConvertToV8(const char* input, char* output, unsigned long* length) {
  unsigned long error = Guarded([&] { return ConvertText(Form::kV3, Form::kV8, input, output, length); });
  return error != 0 ? fail(error) : 1;
}
