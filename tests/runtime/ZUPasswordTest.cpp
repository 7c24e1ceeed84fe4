#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "ZuRuntime.h"

namespace {

using Operation = int (ZUPassword::*)(const char*, char*, unsigned long*);

// The error numbers callers see in the wrappers' texts.
constexpr unsigned long kBadInput = 22;
constexpr unsigned long kNoRoom = 34;

// Written by an earlier build: the built-in keys must not change.
constexpr char kPinnedV3[] = "V3:ZZlrLfECwO4fgg1fvcdm8+iojYWsmZOFr5V7uCb0nasflw==";
constexpr char kPinnedV8[] = "V8:q/MSGgAfZJ/dMz+CelVgGLzEAjnp2iIEvEMrjBZ35gZmwQ==";

struct Result {
  bool ok = false;
  unsigned long error = 0;
  std::string text;
};

// Calls the operation the way the password wrappers do: a size query, then a
// buffer of exactly that room. Fails the test when the two disagree.
Result Call(Operation operation, const char* input) {
  Result result;
  ZUPassword cipher(0);
  unsigned long length = 0;
  if ((cipher.*operation)(input, nullptr, &length) == 0) {
    result.error = cipher.getLastError();
    return result;
  }
  std::vector<char> buffer(length + 1, '#');
  unsigned long room = length;
  if ((cipher.*operation)(input, buffer.data(), &room) == 0) {
    result.error = cipher.getLastError();
    ADD_FAILURE() << "size query accepted what the call refused, error " << result.error;
    return result;
  }
  EXPECT_EQ(room, length) << "written length differs from the size query";
  EXPECT_EQ(buffer[length], '\0');
  EXPECT_EQ(std::strlen(buffer.data()), length);
  result.ok = true;
  result.text.assign(buffer.data(), room);
  return result;
}

std::string Encrypt(Operation operation, const std::string& plain) {
  Result result = Call(operation, plain.c_str());
  EXPECT_TRUE(result.ok) << "error " << result.error;
  return result.text;
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Sextet(char c) { return static_cast<int>(std::strchr(kAlphabet, c) - kAlphabet); }

std::size_t PayloadSize(const std::string& text) {
  std::string body = text.substr(3);
  return body.size() / 4 * 3 - static_cast<std::size_t>(std::count(body.begin(), body.end(), '='));
}

TEST(PasswordCipher, RoundTripsAndConvertsBothFormsWithAFreshNonce) {
  std::string longText;
  for (int i = 0; i < 1500; ++i) longText += static_cast<char>('!' + i % 94);
  const std::string texts[] = {
      "",
      "x",
      "correct horse battery staple",
      "p\xc3\xa4sswo\xcc\x88rd \xe2\x82\xac \xf0\x9f\x94\x91",  // UTF-8, 1 to 4 bytes
      "<&\"'> \t\r\n\\",
      longText,
  };
  const struct {
    Operation encrypt, toOther, toSame;
    const char *prefix, *otherPrefix;
  } forms[] = {
      {&ZUPassword::encrypt, &ZUPassword::ConvertToV8, &ZUPassword::ConvertToV3, "V3:", "V8:"},
      {&ZUPassword::encryptV8, &ZUPassword::ConvertToV3, &ZUPassword::ConvertToV8, "V8:", "V3:"},
  };
  for (const auto& form : forms) {
    for (const std::string& text : texts) {
      SCOPED_TRACE(std::string(form.prefix) + " length " + std::to_string(text.size()));
      std::string encrypted = Encrypt(form.encrypt, text);
      EXPECT_EQ(encrypted.compare(0, 3, form.prefix), 0) << encrypted;
      EXPECT_TRUE(std::regex_match(encrypted.substr(3), std::regex("[A-Za-z0-9+/]*={0,2}")));
      EXPECT_EQ(PayloadSize(encrypted), 12 + text.size() + 16);  // nonce, text, tag
      // The 12-byte nonce is exactly the first 16 base64 characters.
      EXPECT_NE(Encrypt(form.encrypt, text).substr(3, 16), encrypted.substr(3, 16));
      Result decrypted = Call(&ZUPassword::decrypt, encrypted.c_str());
      ASSERT_TRUE(decrypted.ok) << "error " << decrypted.error;
      EXPECT_EQ(decrypted.text, text);

      Result converted = Call(form.toOther, encrypted.c_str());
      ASSERT_TRUE(converted.ok) << "error " << converted.error;
      EXPECT_EQ(converted.text.compare(0, 3, form.otherPrefix), 0) << converted.text;
      EXPECT_EQ(Call(&ZUPassword::decrypt, converted.text.c_str()).text, text);
      Result sameForm = Call(form.toSame, encrypted.c_str());
      EXPECT_FALSE(sameForm.ok);
      EXPECT_EQ(sameForm.error, kBadInput);
    }
  }
}

// A refused text is refused by a call with room, which touches neither the
// buffer nor the length; a malformed one by the size query as well, while a
// well-formed forgery passes the query (it reads only the shape).
void ExpectRefused(Operation operation, const char* input, unsigned long error,
                   bool wellFormed = false) {
  ZUPassword cipher(0);
  unsigned long length = 0;
  if (wellFormed) {
    EXPECT_NE((cipher.*operation)(input, nullptr, &length), 0);
  } else {
    EXPECT_EQ((cipher.*operation)(input, nullptr, &length), 0);
    EXPECT_EQ(cipher.getLastError(), error);
    EXPECT_EQ(length, 0u);
  }

  char buffer[4096];
  std::memset(buffer, '#', sizeof buffer);
  length = sizeof buffer - 1;
  ZUPassword other(0);
  EXPECT_EQ((other.*operation)(input, buffer, &length), 0);
  EXPECT_EQ(other.getLastError(), error);
  EXPECT_EQ(length, sizeof buffer - 1);
  EXPECT_EQ(buffer[0], '#');
}

TEST(PasswordCipher, RefusesMalformedTexts) {
  const std::string v3 = Encrypt(&ZUPassword::encrypt, "s");  // 29-byte payload: one '='
  const std::string v8 = Encrypt(&ZUPassword::encryptV8, "s");
  const std::string body = v3.substr(3);
  ASSERT_EQ(body.back(), '=');
  ASSERT_NE(body[body.size() - 2], '=');

  // Same payload bits, but unused bits before the padding set: not canonical.
  std::string loose = body;
  char& last = loose[loose.size() - 2];
  ASSERT_EQ(Sextet(last) & 3, 0);
  last = kAlphabet[Sextet(last) | 1];
  std::string loose2 = kPinnedV3 + 3;  // "...lw==": four unused bits in 'w'
  loose2[loose2.size() - 3] = 'x';

  const struct Case {
    const char* what;
    std::string text;
    bool wellFormed = false;
  } cases[] = {
      {"empty", ""},
      {"prefix only", "V3"},
      {"no payload", "V3:"},
      {"unknown form", "V5:" + body},
      {"lower-case form", "v3:" + body},
      {"no prefix", body},
      {"blank inside", "V3:" + body.substr(0, 8) + " " + body.substr(8)},
      {"line feed after", "V3:" + body + "\n"},
      {"foreign character", "V3:" + body.substr(0, 8) + "*" + body.substr(9)},
      {"url-safe alphabet", "V3:" + body.substr(0, 8) + "-" + body.substr(9)},
      {"length not a multiple of 4", "V3:" + body.substr(0, body.size() - 1)},
      {"padding in the middle", "V3:" + body.substr(0, 6) + "==" + body.substr(8)},
      {"unused bits set before '='", "V3:" + loose},
      {"unused bits set before '=='", "V3:" + loose2},
      {"cut by one block", "V3:" + body.substr(0, body.size() - 4)},
      {"shorter than nonce and tag", "V3:" + std::string(36, 'A')},  // 27 bytes
      {"nonce and tag only", "V3:" + std::string(38, 'A') + "==", true},  // 28 bytes
      {"other form's key", "V8:" + body, true},
      {"V8 relabelled V3", "V3:" + v8.substr(3), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectRefused(&ZUPassword::decrypt, c.text.c_str(), kBadInput, c.wellFormed);
    // ConvertToV8 takes only V3: a relabelled V3 text is refused by its shape.
    const bool convertible = c.wellFormed && c.text.compare(0, 3, "V3:") == 0;
    ExpectRefused(&ZUPassword::ConvertToV8, c.text.c_str(), kBadInput, convertible);
  }
}

// Flips every bit of every base64 character, so each payload bit and each
// unused padding bit is changed once.
TEST(PasswordCipher, DetectsAnyFlippedBitOfThePayload) {
  for (Operation operation : {&ZUPassword::encrypt, &ZUPassword::encryptV8}) {
    const std::string text = Encrypt(operation, "hunter2");
    for (std::size_t at = 3; at < text.size() && text[at] != '='; ++at) {
      for (int bit = 0; bit < 6; ++bit) {
        std::string forged = text;
        forged[at] = kAlphabet[Sextet(text[at]) ^ (1 << bit)];
        ZUPassword cipher(0);
        char buffer[64];
        unsigned long length = sizeof buffer - 1;
        ASSERT_EQ(cipher.decrypt(forged.c_str(), buffer, &length), 0)
            << "character " << at << " bit " << bit;
        EXPECT_EQ(cipher.getLastError(), kBadInput);
      }
    }
  }
}

TEST(PasswordCipher, RefusesNullArgumentsAStrayLengthAndTooLittleRoom) {
  const std::string plain = "room-check";
  const std::string v3 = Encrypt(&ZUPassword::encrypt, plain);
  const std::string v8 = Encrypt(&ZUPassword::encryptV8, plain);
  const struct {
    const char* name;
    Operation operation;
    std::string input;
  } cases[] = {
      {"encrypt", &ZUPassword::encrypt, plain},      {"encryptV8", &ZUPassword::encryptV8, plain},
      {"decrypt", &ZUPassword::decrypt, v8},         {"ConvertToV3", &ZUPassword::ConvertToV3, v8},
      {"ConvertToV8", &ZUPassword::ConvertToV8, v3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ZUPassword cipher(0);
    unsigned long needed = 5;  // a null output is a size query only with a length of 0
    EXPECT_EQ((cipher.*c.operation)(c.input.c_str(), nullptr, &needed), 0);
    EXPECT_EQ(cipher.getLastError(), kBadInput);
    EXPECT_EQ(needed, 5u);
    needed = 0;
    ASSERT_NE((cipher.*c.operation)(c.input.c_str(), nullptr, &needed), 0);
    ASSERT_GT(needed, 0u);

    std::vector<char> buffer(needed + 8, '#');
    unsigned long room = needed + 8;
    EXPECT_EQ((cipher.*c.operation)(nullptr, buffer.data(), &room), 0);
    EXPECT_EQ(cipher.getLastError(), kBadInput);
    EXPECT_EQ((cipher.*c.operation)(c.input.c_str(), buffer.data(), nullptr), 0);
    EXPECT_EQ(cipher.getLastError(), kBadInput);
    room = needed - 1;
    EXPECT_EQ((cipher.*c.operation)(c.input.c_str(), buffer.data(), &room), 0);
    EXPECT_EQ(cipher.getLastError(), kNoRoom);
    EXPECT_EQ(room, needed - 1);
    EXPECT_EQ(std::string(buffer.data(), buffer.size()), std::string(buffer.size(), '#'));

    room = needed + 5;  // more room than needed: *length becomes what was written
    ASSERT_NE((cipher.*c.operation)(c.input.c_str(), buffer.data(), &room), 0);
    EXPECT_EQ(room, needed);
    EXPECT_EQ(buffer[needed], '\0');
    EXPECT_EQ(buffer[needed + 1], '#');
  }

  // An empty plaintext fits no room at all, but a terminator is still written.
  std::string empty = Encrypt(&ZUPassword::encryptV8, "");
  ZUPassword cipher(0);
  char one = '#';
  unsigned long room = 0;
  ASSERT_NE(cipher.decrypt(empty.c_str(), &one, &room), 0);
  EXPECT_EQ(room, 0u);
  EXPECT_EQ(one, '\0');
}

TEST(PasswordCipher, ReadsTextsOfAnEarlierBuild) {
  for (const char* text : {kPinnedV3, kPinnedV8}) EXPECT_EQ(Call(&ZUPassword::decrypt, text).text, "pinned") << text;
}

}  // namespace
