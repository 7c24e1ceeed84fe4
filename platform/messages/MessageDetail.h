// Internals shared by the message library's units: raw slot access, the text
// blocks held by string slots and the field-name hash.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>

#include "CNMessageBase.h"

// The library's own view of a message's storage.
struct MessageAccess {
  static zumsg::Slot* slots(CNMessageBase& m) { return m.slots_; }
  static const zumsg::Slot* slots(const CNMessageBase& m) { return m.slots_; }
  static std::uint32_t& present(CNMessageBase& m) { return m.present_; }
  static std::uint32_t present(const CNMessageBase& m) { return m.present_; }
};

namespace zumsg::detail {

// Copies n bytes into a new block: a size_t length, the bytes, a NUL. Throws std::bad_alloc.
inline char* NewText(const char* text, std::size_t length) {
  void* block = ::operator new(sizeof(std::size_t) + length + 1);
  char* p = static_cast<char*>(block);
  std::memcpy(p, &length, sizeof length);
  if (length != 0) std::memcpy(p + sizeof length, text, length);
  p[sizeof length + length] = '\0';
  return p;
}

inline void FreeText(char* block) noexcept { ::operator delete(block); }

inline std::string_view TextView(const char* block) noexcept {
  std::size_t length;
  std::memcpy(&length, block, sizeof length);
  return {block + sizeof length, length};
}

// FNV-1a: cheap, and spreads the schema's field names over the table well.
constexpr std::uint32_t NameHashStep(std::uint32_t h, unsigned char c) { return (h ^ c) * 16777619u; }
constexpr std::uint32_t kNameHashSeed = 2166136261u;

constexpr std::uint32_t NameHash(const char* name, std::size_t length) {
  std::uint32_t h = kNameHashSeed;
  for (std::size_t i = 0; i < length; ++i) h = NameHashStep(h, static_cast<unsigned char>(name[i]));
  return h;
}

// Returns the field named `name` (of `length` bytes) or -1.
inline int FindField(const ClassInfo& info, const char* name, std::size_t length, std::uint32_t hash) noexcept {
  for (unsigned i = hash & (kNameTableSize - 1);; i = (i + 1) & (kNameTableSize - 1)) {
    unsigned entry = info.nameTable[i];
    if (entry == 0) return -1;
    const FieldInfo& f = info.fields[entry - 1];
    if (f.nameLength == length && std::memcmp(f.name, name, length) == 0) return static_cast<int>(entry - 1);
  }
}

template <std::size_t N>
constexpr std::array<std::uint8_t, kNameTableSize> BuildNameTable(const FieldInfo (&fields)[N]) {
  static_assert(N < kNameTableSize / 2, "keep the name table at most half full");
  std::array<std::uint8_t, kNameTableSize> table{};
  for (std::size_t f = 0; f < N; ++f) {
    unsigned i = NameHash(fields[f].name, fields[f].nameLength) & (kNameTableSize - 1);
    while (table[i] != 0) i = (i + 1) & (kNameTableSize - 1);
    table[i] = static_cast<std::uint8_t>(f + 1);
  }
  return table;
}

}  // namespace zumsg::detail
