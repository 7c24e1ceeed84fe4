// Oracles of the masking fuzz target and tests, sharing no rule with the masking code: texts with secret
// tokens planted after the secret names, in every spelling XML allows, amid quotes, apostrophes, angle
// brackets, other names and values never closed; and a walk over every text field of a message, to build the
// copy of a request whose secrets already hold the mask.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "CNMessageBase.h"

namespace zufuzz {

constexpr const char* kSecretNames[] = {"password", "clientPassword", "pAccess", "pExecAccess", "authCode"};

// A text and the tokens planted in it; no other byte of the text is a '~'.
struct Planted {
  std::string text;
  std::vector<std::string> tokens;
};

// Builds a text from `choices`, a piece per byte: mostly surroundings, and a quarter of the time a name (one
// of the five, or `key` when given, which is planted as it is), a value and maybe its closing quote.
inline Planted PlantSecrets(const std::uint8_t* choices, std::size_t size, const char* key = nullptr) {
  static const char* const kPieces[] = {"\"",          "'",       "<",   ">",    "=",        " ",      "\n",
                                        "x",           "note=\"", "a='", "<sp ", "/>",       "&quot;", "password",
                                        "Password=\"", "=\"",     "\t",  "\r\n", "\xc3\xa9", "= "};
  static const char* const kBlanks[] = {"", " ", "\n", "\t\r "};
  Planted p;
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned b = choices[i];
    if ((b & 0xC0) != 0xC0) {
      p.text += b < 0x80 ? kPieces[b % std::size(kPieces)] : std::string(1, static_cast<char>(b));
      continue;
    }
    const unsigned c = i + 1 < size ? choices[++i] : 0;
    const char quote = (c & 1) != 0 ? '\'' : '"';
    if (key != nullptr) {
      p.text += key;
    } else {
      p.text.append((c & 2) != 0 ? "new" : (c & 4) != 0 ? "ns:" : "").append(kSecretNames[b % 5]);
      p.text.append(kBlanks[(b >> 3) & 3]).append("=").append(kBlanks[(c >> 3) & 3]).append(1, quote);
    }
    p.tokens.push_back("~" + std::to_string(p.tokens.size()) + "~");
    p.text += p.tokens.back();
    if ((c & 0x20) != 0) p.text += (key != nullptr ? '"' : quote);
  }
  return p;
}

// Whether any planted token is left in `text`: none may be, whatever the surroundings.
inline bool AnySurvives(const Planted& planted, const std::string& text) {
  for (const std::string& token : planted.tokens) {
    if (text.find(token) != std::string::npos) return true;
  }
  return false;
}

// Calls `visit` on every string and password field of `message` and of the objects below it, set or not.
inline void ForEachText(CNMessageBase& message, const std::function<void(CNMessageBase&, zumsg::FieldId)>& visit) {
  const zumsg::ClassInfo& info = message.schema();
  for (zumsg::FieldId f = 0; f < info.fieldCount; ++f) {
    const zumsg::FieldInfo& field = info.fields[f];
    if (field.kind == zumsg::FieldKind::String || field.kind == zumsg::FieldKind::Password) {
      visit(message, f);
    } else if (field.kind == zumsg::FieldKind::Object) {
      CNMessageBase** child = message.getObjectAccessor(true, false, f, field.child->classNumber);
      if (child != nullptr && *child != nullptr) ForEachText(**child, visit);
    } else if (field.kind == zumsg::FieldKind::List) {
      void** list = message.getlistobject(f, false);
      for (std::size_t i = 0; list != nullptr && i < field.child->listSize(*list); ++i)
        ForEachText(*field.child->listAt(*list, i), visit);
    }
  }
}

// Sets every text field: a secret one to `secret`, any other to the next of `values`.
inline void SetTexts(CNMessageBase& message, const std::vector<std::string>& values, const std::string& secret) {
  std::size_t next = 0;
  ForEachText(message, [&](CNMessageBase& m, zumsg::FieldId f) {
    const bool isSecret = std::find_if(std::begin(kSecretNames), std::end(kSecretNames), [&](const char* name) {
                            return std::strcmp(name, m.schema().fields[f].name) == 0;
                          }) != std::end(kSecretNames);
    const std::string& value = isSecret ? secret : values[next++ % values.size()];
    if (m.schema().fields[f].kind == zumsg::FieldKind::Password) {
      m.setpstringobject(f, bstring(value), Annotation::PASSWORD_ENCRYPT_NONE);
    } else {
      m.setstring(f, value);
    }
  });
}

}  // namespace zufuzz
