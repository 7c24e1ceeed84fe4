// Masks untrusted text. With the logger's four keys: no byte of a value that
// follows a key survives (every value reads as exactly eight asterisks), and
// masking masked text changes nothing. With a key and count taken from the
// input: the result equals a plain one-pass model of the rule (a value runs
// from just after the key to the next double quote, kept, or to the end).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ZUInstallLog.h"

namespace {

constexpr const char* kLoggerKeys[] = {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\""};
constexpr unsigned long kLoggerCount = 8;

std::string Model(const std::string& text, const std::string& key, std::size_t count) {
  if (key.empty()) return text;
  std::string out;
  std::size_t done = 0;
  for (std::size_t match = text.find(key); match != std::string::npos;) {
    const std::size_t valueStart = match + key.size();
    out.append(text, done, valueStart - done).append(count, '*');
    const std::size_t quote = text.find('"', valueStart);
    if (quote == std::string::npos) return out;
    done = quote;
    match = text.find(key, quote + 1);
  }
  return out.append(text, done, std::string::npos);
}

void MaskAsLogger(std::string& text) {
  for (const char* key : kLoggerKeys) MaskInformation(text, key, kLoggerCount);
}

// Every occurrence of every key is followed by exactly eight asterisks and
// then a quote or the end of the text.
void RequireNoValueSurvives(const std::string& masked) {
  for (const char* key : kLoggerKeys) {
    const std::string k = key;
    for (std::size_t match = masked.find(k); match != std::string::npos; match = masked.find(k, match + 1)) {
      const std::size_t value = match + k.size();
      const std::size_t end = masked.find('"', value);
      const std::size_t length = (end == std::string::npos ? masked.size() : end) - value;
      zufuzz::Require(length == kLoggerCount && masked.compare(value, length, std::string(kLoggerCount, '*')) == 0,
                      "no byte of a masked value survives", k + " in: " + masked);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text = zufuzz::Text(data, size);
  std::string expected = text;
  for (const char* key : kLoggerKeys) expected = Model(expected, key, kLoggerCount);
  MaskAsLogger(text);
  zufuzz::Require(text == expected, "the logger's masking follows the rule", expected);
  RequireNoValueSurvives(text);
  std::string again = text;
  MaskAsLogger(again);
  zufuzz::Require(again == text, "masking masked text changes nothing");

  // Selector byte: key length in the low four bits, count in the high four
  // (0 to 30, even); the key is the next bytes, the text the rest.
  const zufuzz::Selector s = zufuzz::TakeSelector(data, size);
  const std::size_t keyLength = s.value & 0x0F;
  if (s.size < keyLength) return 0;
  const std::string key(reinterpret_cast<const char*>(s.data), keyLength);
  const std::size_t count = (s.value >> 4) * 2;
  std::string subject(reinterpret_cast<const char*>(s.data) + keyLength, s.size - keyLength);
  const std::string model = Model(subject, key, count);
  MaskInformation(subject, key, count);
  zufuzz::Require(subject == model, "masking follows the rule for any key and count", "key: " + key);
  return 0;
}
