// Oracles of the masking fuzz target and tests, sharing no rule with the masking code: texts with secret
// tokens planted after the secret names, in every spelling XML allows, amid quotes, apostrophes, angle
// brackets, other names and values never closed; and the copy of a request whose secrets hold the mask.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "CNMessageBase.h"

namespace zufuzz {

constexpr const char* kSecretNames[] = {"password", "clientPassword", "pAccess", "pExecAccess", "authCode"};

// Builds a text from `choices`, a piece per byte: mostly surroundings, and a quarter of the time a name (one
// of the five, or `key` when given), its "=" and quote in a spelling XML or the logger's escaping of blanks
// allows (or the quote escaped as JSON escapes it), a secret token "~N~" and maybe its closing quote. A key is
// planted as it is, followed by what it stops short of: blanks, "=" and a quote. No other byte of the text is a
// '~', so a '~' left after masking is a secret that survived.
inline std::string PlantSecrets(const std::uint8_t* choices, std::size_t size, const char* key = nullptr) {
  static const char* const kPieces[] = {"\"",      "'",    "<",        ">",  "=",      " ",        "\n",          "x",
                                        "note=\"", "a='",  "<sp ",     "/>", "&quot;", "password", "Password=\"", "=\"",
                                        "\t",      "\r\n", "\xc3\xa9", "= ", "\\",     "\\n"};
  static const char* const kBlanks[] = {"", " ", "\n", "\t\r ", "\\n", " \\t ", "\\r\\n", "\n\\t"};
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned b = choices[i];
    if ((b & 0xC0) != 0xC0) {
      text += b < 0x80 ? kPieces[b % std::size(kPieces)] : std::string(1, static_cast<char>(b));
      continue;
    }
    const unsigned c = i + 1 < size ? choices[++i] : 0;
    const std::string keyed = key != nullptr ? key : "";
    const char quote = (c & 1) != 0 ? '\'' : '"';
    std::string quoted(1, quote);
    const unsigned before = (b >> 3) & 7, after = ((c >> 3) & 3) | ((c >> 4) & 4);
    if (key == nullptr) {
      text.append((c & 2) != 0 ? "new" : (c & 4) != 0 ? "ns:" : "").append(kSecretNames[b % 5]);
      quoted.insert(0, (c & 0x80) != 0 ? "\\" : "");
      text.append(kBlanks[before]).append("=").append(kBlanks[after]).append(quoted);
    } else if (keyed.back() == '"' || keyed.back() == '\'') {
      text += keyed;
      quoted.assign(1, keyed.back());
    } else {  // raw blanks only: the caller's key is matched in raw text
      text.append(keyed).append(kBlanks[before & 3]).append(keyed.back() == '=' ? "" : "=");
      text.append(kBlanks[after & 3]).append(1, quote);
    }
    text += "~" + std::to_string(i) + "~";
    if ((c & 0x20) != 0) text += quoted;
  }
  return text;
}

// Sets every string and password field of `message` and of the objects below it, set or not: a secret one to
// `secret`, any other to the next of `values` from the `next`th on; returns where the next message goes on.
inline std::size_t SetTexts(CNMessageBase& message, const std::vector<std::string>& values, const std::string& secret,
                            std::size_t next = 0) {
  const zumsg::ClassInfo& info = message.schema();
  for (zumsg::FieldId f = 0; f < info.fieldCount; ++f) {
    const zumsg::FieldInfo& field = info.fields[f];
    if (field.kind == zumsg::FieldKind::Password || field.kind == zumsg::FieldKind::String) {
      const bool isSecret = std::find_if(std::begin(kSecretNames), std::end(kSecretNames), [&](const char* name) {
                              return std::strcmp(name, field.name) == 0;
                            }) != std::end(kSecretNames);
      const std::string& value = isSecret ? secret : values[next++ % values.size()];
      if (field.kind == zumsg::FieldKind::Password) {
        message.setpstringobject(f, bstring(value), Annotation::PASSWORD_ENCRYPT_NONE);
      } else {
        message.setstring(f, value);
      }
    } else if (field.kind == zumsg::FieldKind::Object) {
      CNMessageBase** child = message.getObjectAccessor(true, false, f, field.child->classNumber);
      if (child != nullptr && *child != nullptr) next = SetTexts(**child, values, secret, next);
    } else if (field.kind == zumsg::FieldKind::List) {
      void** list = message.getlistobject(f, false);
      for (std::size_t i = 0; list != nullptr && i < field.child->listSize(*list); ++i)
        next = SetTexts(*field.child->listAt(*list, i), values, secret, next);
    }
  }
  return next;
}

}  // namespace zufuzz
