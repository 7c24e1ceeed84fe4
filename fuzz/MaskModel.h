// A byte-at-a-time model of the masking rule, the oracle of the masking fuzz
// target and of the logger's tests: a key counts only outside every quoted
// value (a double or single quote opens one that the same quote closes, and a
// "<" ends it); the masked value runs to the next double quote, kept, or "<",
// or the end of the text.
#pragma once

#include <cstddef>
#include <string>

namespace zufuzz {

inline std::string MaskModel(const std::string& text, const std::string& key, std::size_t count) {
  if (key.empty()) return text;
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, key.size(), key) == 0) {
      out.append(key).append(count, '*');
      i += key.size();
      while (i < text.size() && text[i] != '"' && text[i] != '<') ++i;
      if (i < text.size() && text[i] == '"') out += text[i++];
      continue;
    }
    const char c = text[i++];
    out += c;
    if (c != '"' && c != '\'') continue;
    while (i < text.size() && text[i] != c && text[i] != '<') out += text[i++];
    if (i < text.size() && text[i] == c) out += text[i++];
  }
  return out;
}

}  // namespace zufuzz
