// What the fuzz targets share: stopping on a broken property with a reason,
// and loading and writing a request the way callers of the library do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ZUInstallUtils.h"

namespace zufuzz {

// Reports a broken property and aborts, which libFuzzer records as a crash.
[[noreturn]] inline void Fail(const char* property, const std::string& detail = std::string()) {
  std::fprintf(stderr, "property broken: %s\n%s\n", property, detail.c_str());
  std::abort();
}

inline void Require(bool holds, const char* property, const std::string& detail = std::string()) {
  if (!holds) Fail(property, detail);
}

inline std::string Text(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// Serializes as the logger does; returns the encoder's error number.
inline int Serialize(const CNMessageBase& message, std::string& xml) {
  const EncodingFlags flags{true, false, false, 0, 0, -1, false, false, true, false, 1};
  XMLEncoder encoder(flags, nullptr);
  return encoder.serialize(&message, xml, false);
}

// Serializes a message that must be writable.
inline std::string MustSerialize(const CNMessageBase& message, const char* property) {
  std::string xml;
  const int error = Serialize(message, xml);
  Require(error == 0, property, "encoder error " + std::to_string(error));
  return xml;
}

// Splits fuzzer bytes into a one-byte selector and the rest.
struct Selector {
  unsigned value = 0;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

inline Selector TakeSelector(const std::uint8_t* data, std::size_t size) {
  Selector s;
  if (size == 0) return s;
  s.value = data[0];
  s.data = data + 1;
  s.size = size - 1;
  return s;
}

}  // namespace zufuzz
