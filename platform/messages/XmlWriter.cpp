// XMLEncoder::serialize: one pass over the tree into one buffer, copying runs
// of text that need no escaping in one go.
#include "CNMessageBase.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>

#include "MessageDetail.h"

namespace {

using zumsg::ClassInfo;
using zumsg::FieldInfo;
using zumsg::FieldKind;

// Byte classes of attribute text.
enum ByteClass : unsigned char {
  kPlain,    // copied as is
  kEscape,   // & < > " tab LF CR: written as a reference
  kControl,  // other C0 controls: XML 1.0 cannot carry them
  kLead,     // starts a multi-byte UTF-8 sequence, or is not UTF-8 at all
};

constexpr auto kByteClasses = [] {
  struct Table {
    unsigned char c[256];
  } t{};
  for (int b = 0; b < 0x20; ++b) t.c[b] = kControl;
  for (int b = 0x80; b < 0x100; ++b) t.c[b] = kLead;
  for (unsigned char b : {'&', '<', '>', '"', '\t', '\n', '\r'}) t.c[b] = kEscape;
  return t;
}();

std::string_view EscapeOf(unsigned char b) {
  switch (b) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\t': return "&#9;";
    case '\n': return "&#10;";
    default: return "&#13;";
  }
}

// Checks the UTF-8 sequence at p (at most `left` bytes). Returns its length,
// or 0 with `error` set to the encoder's error number.
std::size_t CheckSequence(const unsigned char* p, std::size_t left, int& error) {
  unsigned char b = p[0];
  std::size_t n;
  unsigned long cp;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    cp = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    cp = b & 0x07;
  } else {
    error = XMLEncoder::kInvalidUtf8;
    return 0;
  }
  if (left < n) {
    error = XMLEncoder::kInvalidUtf8;
    return 0;
  }
  for (std::size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) {
      error = XMLEncoder::kInvalidUtf8;
      return 0;
    }
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
    error = XMLEncoder::kInvalidUtf8;  // overlong or beyond Unicode
    return 0;
  }
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF) {
    error = XMLEncoder::kNotXmlChar;
    return 0;
  }
  return n;
}

// Output buffer: the caller's string, grown geometrically, trimmed at the end.
class Out {
 public:
  // Starts small even in a large reused string: resize zero-fills what it exposes.
  explicit Out(std::string& s) : s_(s) {
    s_.resize(std::max<std::size_t>(256, std::min<std::size_t>(s_.capacity(), 65536)));
  }
  ~Out() { s_.resize(n_); }

  void put(const char* p, std::size_t len) {
    reserve(len);
    std::memcpy(&s_[n_], p, len);
    n_ += len;
  }
  void put(std::string_view v) { put(v.data(), v.size()); }
  void put(char c) {
    reserve(1);
    s_[n_++] = c;
  }
  void putInteger(long long v) {
    reserve(24);
    n_ = static_cast<std::size_t>(std::to_chars(&s_[n_], &s_[n_] + 24, v).ptr - s_.data());
  }

 private:
  void reserve(std::size_t len) {
    if (s_.size() - n_ < len) s_.resize(std::max(s_.size() * 2, n_ + len));
  }

  std::string& s_;
  std::size_t n_ = 0;
};

// Writes text escaped for a double-quoted attribute. Returns 0 or an error number.
int PutEscaped(Out& out, std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  const auto* run = p;
  while (p != end) {
    switch (static_cast<ByteClass>(kByteClasses.c[*p])) {
      case kPlain: ++p; break;
      case kLead: {
        int error = 0;
        std::size_t n = CheckSequence(p, static_cast<std::size_t>(end - p), error);
        if (n == 0) return error;
        p += n;
        break;
      }
      case kEscape:
        out.put(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
        out.put(EscapeOf(*p));
        run = ++p;
        break;
      case kControl: return XMLEncoder::kNotXmlChar;
    }
  }
  out.put(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
  return 0;
}

void PutAttributeName(Out& out, const FieldInfo& f) {
  out.put(' ');
  out.put(f.name, f.nameLength);
  out.put("=\"", 2);
}

int WriteElement(Out& out, const CNMessageBase& m, const char* name, std::size_t nameLength);

// Writes the elements of an object or list field; nothing for a null child or an empty list.
int WriteChildren(Out& out, const FieldInfo& f, const zumsg::Slot& slot) {
  if (f.kind == FieldKind::Object) {
    return slot.object != nullptr ? WriteElement(out, *slot.object, f.name, f.nameLength) : 0;
  }
  if (slot.pointer == nullptr) return 0;
  std::size_t size = f.child->listSize(slot.pointer);
  for (std::size_t i = 0; i < size; ++i) {
    if (int error = WriteElement(out, *f.child->listAt(slot.pointer, i), f.name, f.nameLength)) return error;
  }
  return 0;
}

int WriteElement(Out& out, const CNMessageBase& m, const char* name, std::size_t nameLength) {
  const ClassInfo& info = m.schema();
  const zumsg::Slot* slots = MessageAccess::slots(m);
  const std::uint32_t present = MessageAccess::present(m);
  out.put('<');
  out.put(name, nameLength);
  std::uint32_t children = 0;
  for (std::uint32_t bits = present; bits != 0; bits &= bits - 1) {
    int i = __builtin_ctz(bits);
    const FieldInfo& f = info.fields[i];
    switch (f.kind) {
      case FieldKind::Integer:
      case FieldKind::Boolean:
      case FieldKind::Enum:
        PutAttributeName(out, f);
        out.putInteger(slots[i].integer);
        break;
      case FieldKind::String:
        PutAttributeName(out, f);
        if (int error = PutEscaped(out, zumsg::detail::TextView(slots[i].text))) return error;
        break;
      case FieldKind::Password:
        if (slots[i].password == nullptr) continue;
        PutAttributeName(out, f);
        if (int error = PutEscaped(out, slots[i].password->str())) return error;
        break;
      case FieldKind::Object:
        if (slots[i].object != nullptr) children |= 1u << i;
        continue;
      case FieldKind::List:
        if (slots[i].pointer != nullptr && f.child->listSize(slots[i].pointer) != 0) children |= 1u << i;
        continue;
    }
    out.put('"');
  }
  if (children == 0) {
    out.put("/>", 2);
    return 0;
  }
  out.put('>');
  for (; children != 0; children &= children - 1) {
    int i = __builtin_ctz(children);
    if (int error = WriteChildren(out, info.fields[i], slots[i])) return error;
  }
  out.put("</", 2);
  out.put(name, nameLength);
  out.put('>');
  return 0;
}

}  // namespace

XMLEncoder::XMLEncoder(const EncodingFlags& flags, ZuXMLContextInfo* /*context*/) : flags_(flags) {}

int XMLEncoder::serialize(const CNMessageBase* message, std::string& xml, bool withDeclaration) {
  if (message == nullptr) return kInvalidArgument;
  try {
    Out out(xml);
    if (withDeclaration || flags_.writeDeclaration) out.put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    const ClassInfo& info = message->schema();
    return WriteElement(out, *message, info.name, info.nameLength);
  } catch (...) {
    return kOutOfMemory;
  }
}
