// The password cipher: both forms and their conversions, the length protocol,
// and refusal of anything but canonical texts under the right key.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "ZuRuntime.h"

namespace {

using Operation = int (ZUPassword::*)(const char*, char*, unsigned long*);

// Error number as callers see it in the wrappers' texts (34: no room).
constexpr unsigned long kBadInput = 22;

// Written by an earlier build: the built-in keys must not change.
constexpr char kPinnedV3[] = "V3:ZZlrLfECwO4fgg1fvcdm8+iojYWsmZOFr5V7uCb0nasflw==";
constexpr char kPinnedV8[] = "V8:q/MSGgAfZJ/dMz+CelVgGLzEAjnp2iIEvEMrjBZ35gZmwQ==";

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char Flipped(char c, int bits) { return kAlphabet[(std::strchr(kAlphabet, c) - kAlphabet) ^ bits]; }

// Calls as the password wrappers do: a size query, then exactly that room,
// which must agree. Returns the text, or "error N" when the query refuses.
std::string Call(Operation operation, const std::string& input) {
  ZUPassword cipher(0);
  unsigned long length = 0;
  if ((cipher.*operation)(input.c_str(), nullptr, &length) == 0) return "error " + std::to_string(cipher.getLastError());
  std::vector<char> buffer(length + 1, '#');
  unsigned long room = length;
  EXPECT_NE((cipher.*operation)(input.c_str(), buffer.data(), &room), 0) << "refused after the size query, error " << cipher.getLastError();
  EXPECT_TRUE(room == length && buffer[length] == '\0') << room;
  return std::string(buffer.data(), room);
}

TEST(PasswordCipher, RoundTripsAndConvertsBothFormsWithAFreshNonce) {
  std::string longText;
  for (int i = 0; i < 1500; ++i) longText += static_cast<char>('!' + i % 94);
  const struct { Operation encrypt, toOther, toSame; const char *prefix, *otherPrefix; } forms[] = {
      {&ZUPassword::encrypt, &ZUPassword::ConvertToV8, &ZUPassword::ConvertToV3, "V3:", "V8:"},
      {&ZUPassword::encryptV8, &ZUPassword::ConvertToV3, &ZUPassword::ConvertToV8, "V8:", "V3:"},
  };
  for (const auto& form : forms) {
    // UTF-8 of 1 to 4 bytes, markup and controls, and a long text.
    for (const std::string& text : {std::string(), std::string("x"), std::string("p\xc3\xa4sswo\xcc\x88rd \xe2\x82\xac \xf0\x9f\x94\x91"), std::string("<&\"'> \t\r\n\\"), longText}) {
      SCOPED_TRACE(std::string(form.prefix) + " length " + std::to_string(text.size()));
      const std::string encrypted = Call(form.encrypt, text), converted = Call(form.toOther, encrypted);
      EXPECT_EQ(encrypted.substr(0, 3) + converted.substr(0, 3), std::string(form.prefix) + form.otherPrefix) << encrypted << " " << converted;
      // base64 of a 12-byte nonce, the text and a 16-byte tag, padded.
      EXPECT_TRUE(std::regex_match(encrypted.substr(3), std::regex("[A-Za-z0-9+/]*={0,2}")));
      EXPECT_EQ(encrypted.size(), 3 + 4 * ((12 + text.size() + 16 + 2) / 3));
      EXPECT_NE(Call(form.encrypt, text).substr(3, 16), encrypted.substr(3, 16)) << "the nonce repeated";
      EXPECT_EQ(Call(&ZUPassword::decrypt, encrypted) + "|" + Call(&ZUPassword::decrypt, converted) + "|" + Call(form.toSame, encrypted), text + "|" + text + "|error 22");
    }
  }
  for (const char* text : {kPinnedV3, kPinnedV8}) EXPECT_EQ(Call(&ZUPassword::decrypt, text), "pinned") << text;
}

// A refused text is refused by a call with room, which touches neither the
// buffer nor the length; a malformed one by the size query as well, while a
// well-formed forgery passes the query (it reads only the shape).
void ExpectRefused(Operation operation, const std::string& input, bool wellFormed) {
  ZUPassword cipher(0);
  unsigned long length = 0;
  EXPECT_EQ((cipher.*operation)(input.c_str(), nullptr, &length) != 0, wellFormed);
  EXPECT_TRUE(wellFormed || cipher.getLastError() == kBadInput) << cipher.getLastError();
  char buffer[256] = {'#'};
  length = sizeof buffer - 1;
  EXPECT_EQ((cipher.*operation)(input.c_str(), buffer, &length), 0);
  EXPECT_EQ(std::make_tuple(cipher.getLastError(), length, buffer[0]), std::make_tuple(kBadInput, sizeof buffer - 1, '#'));
}

TEST(PasswordCipher, RefusesMalformedTextsAndAnyFlippedBit) {
  const std::string body = Call(&ZUPassword::encrypt, "s").substr(3), v8 = Call(&ZUPassword::encryptV8, "s");  // 29-byte payload: one '='
  ASSERT_EQ(body.substr(body.size() - 2, 1).find('='), std::string::npos);
  // Same payload bits, but unused bits before the padding set: not canonical.
  std::string loose = body, loose2 = kPinnedV3 + 3;  // "...lw==": four unused bits in 'w'
  loose[loose.size() - 2] = Flipped(loose[loose.size() - 2], 1);
  loose2[loose2.size() - 3] = Flipped(loose2[loose2.size() - 3], 1);
  struct Case { std::string text; bool wellFormed; };
  std::vector<Case> cases = {
      {"", false}, {"V3", false}, {"V3:", false}, {"V5:" + body, false}, {"v3:" + body, false}, {body, false},
      {"V3:" + body.substr(0, 8) + " " + body.substr(8), false}, {"V3:" + body + "\n", false},
      {"V3:" + body.substr(0, 8) + "*" + body.substr(9), false}, {"V3:" + body.substr(0, 8) + "-" + body.substr(9), false},
      {"V3:" + body.substr(0, body.size() - 1), false}, {"V3:" + body.substr(0, 6) + "==" + body.substr(8), false},
      {"V3:" + loose, false}, {"V3:" + loose2, false}, {"V3:" + body.substr(0, body.size() - 4), false},
      {"V3:" + std::string(36, 'A'), false},        // 27 bytes: shorter than nonce and tag
      {"V3:" + std::string(38, 'A') + "==", true},  // nonce and tag only
      {"V8:" + body, true}, {"V3:" + v8.substr(3), true},  // the other form's key
  };
  // Every bit of every base64 character, so each payload bit is changed once.
  for (const std::string& text : {"V3:" + body, v8})
    for (std::size_t at = 3; at < text.size() - 2; ++at)
      for (int bit = 0; bit < 6; ++bit) cases.push_back({text.substr(0, at) + Flipped(text[at], 1 << bit) + text.substr(at + 1), true});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ExpectRefused(&ZUPassword::decrypt, c.text, c.wellFormed);
    // ConvertToV8 takes only V3: other texts are refused by their shape.
    ExpectRefused(&ZUPassword::ConvertToV8, c.text, c.wellFormed && c.text.compare(0, 3, "V3:") == 0);
  }
}

TEST(PasswordCipher, RefusesNullArgumentsAStrayLengthAndTooLittleRoom) {
  const std::string plain = "room-check";
  const struct { Operation operation; std::string input; } cases[] = {
      {&ZUPassword::encrypt, plain}, {&ZUPassword::encryptV8, plain}, {&ZUPassword::decrypt, Call(&ZUPassword::encryptV8, plain)},
      {&ZUPassword::ConvertToV3, Call(&ZUPassword::encryptV8, plain)}, {&ZUPassword::ConvertToV8, Call(&ZUPassword::encrypt, plain)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    ZUPassword cipher(0);
    unsigned long needed = 5;  // a null output is a size query only with a length of 0
    // Each refused call gives its error number; a refusal for want of room leaves buffer and length alone.
    const auto refused = [&](const char* input, char* out, unsigned long* length) {
      return (cipher.*c.operation)(input, out, length) == 0 ? std::to_string(cipher.getLastError()) : "accepted";
    };
    EXPECT_EQ(refused(c.input.c_str(), nullptr, &needed) + " " + std::to_string(needed), "22 5");
    needed = 0;
    ASSERT_NE((cipher.*c.operation)(c.input.c_str(), nullptr, &needed), 0);
    std::vector<char> buffer(needed + 8, '#');
    unsigned long room = needed + 8, small = needed - 1;
    EXPECT_EQ(refused(nullptr, buffer.data(), &room) + refused(c.input.c_str(), buffer.data(), nullptr) + refused(c.input.c_str(), buffer.data(), &small), "222234");
    EXPECT_EQ(std::string(buffer.data(), buffer.size()) + std::to_string(small), std::string(buffer.size(), '#') + std::to_string(needed - 1));
    room = needed + 5;  // more room than needed: *length becomes what was written
    ASSERT_NE((cipher.*c.operation)(c.input.c_str(), buffer.data(), &room), 0);
    EXPECT_TRUE(room == needed && buffer[needed] == '\0' && buffer[needed + 1] == '#') << room;
  }
  // An empty plaintext fits no room at all, but a terminator is still written.
  ZUPassword cipher(0);
  char one = '#';
  unsigned long room = 0;
  ASSERT_NE(cipher.decrypt(Call(&ZUPassword::encryptV8, "").c_str(), &one, &room), 0);
  EXPECT_TRUE(room == 0 && one == '\0');
}

}  // namespace
