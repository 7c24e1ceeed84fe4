// unserialize: expat events go straight into a fresh object tree (no DOM),
// which replaces the target's content only when the whole document was good.
#include "CNMessageBase.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "MessageDetail.h"

namespace {

using zumsg::ClassInfo;
using zumsg::FieldInfo;
using zumsg::FieldKind;

constexpr int kMaxDepth = 64;
// Longest piece of an offending value quoted in a reason.
constexpr std::size_t kQuoteLimit = 40;
// XML_Parse takes an int length; longer texts go in pieces.
constexpr std::size_t kMaxPiece = INT_MAX / 2;
// The least a piecewise read asks for at a time.
constexpr std::size_t kMinRead = std::size_t{64} << 10;

thread_local zumsg::ParseError tLastError;

struct Frame {
  CNMessageBase* object;
  const ClassInfo* info;
};

struct Reader {
  XML_Parser parser;
  const ClassInfo* rootInfo;
  CNMessageBase* root;
  Frame frames[kMaxDepth];
  int depth = 0;  // open elements, skipped ones included
  int top = -1;   // frame of the innermost element that maps to an object
  int skip = 0;   // open elements of an unknown subtree
  bool failed = false;
  zumsg::ParseError error;
};

// Records the first failure at the parser's current position and stops it.
void Fail(Reader& r, std::string reason) noexcept {
  if (r.failed) return;
  r.failed = true;
  r.error.line = XML_GetCurrentLineNumber(r.parser);
  r.error.column = XML_GetCurrentColumnNumber(r.parser) + 1;
  r.error.reason = std::move(reason);
  XML_StopParser(r.parser, XML_FALSE);
}

// Quotes at most kQuoteLimit bytes of an untrusted value, never cutting a
// UTF-8 sequence; controls become '?' so the reason stays on one line.
std::string Quote(const char* text) {
  std::size_t length = std::strlen(text);
  std::size_t cut = length;
  if (length > kQuoteLimit) {
    cut = kQuoteLimit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  }
  std::string quoted = "'";
  quoted.append(text, cut);
  for (std::size_t i = 1; i < quoted.size(); ++i) {
    if (static_cast<unsigned char>(quoted[i]) < 0x20) quoted[i] = '?';
  }
  if (cut < length) quoted += "...";
  quoted += '\'';
  return quoted;
}

// Parses a decimal integer with an optional sign that fits 64 bits; booleans also take true/false.
bool ParseInteger(const char* text, bool boolean, long long& value) {
  if (boolean) {
    if (std::strcmp(text, "true") == 0) {
      value = 1;
      return true;
    }
    if (std::strcmp(text, "false") == 0) {
      value = 0;
      return true;
    }
  }
  const char* p = text;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (*p == '\0') return false;
  const unsigned long long limit = negative ? 9223372036854775808ull : 9223372036854775807ull;
  unsigned long long magnitude = 0;
  for (; *p != '\0'; ++p) {
    unsigned digit = static_cast<unsigned char>(*p) - '0';
    if (digit > 9 || magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  value = negative ? static_cast<long long>(0ull - magnitude) : static_cast<long long>(magnitude);
  return true;
}

int Lookup(const ClassInfo& info, const char* name) noexcept {
  std::uint32_t hash = zumsg::detail::kNameHashSeed;
  const char* p = name;
  for (; *p != '\0'; ++p) hash = zumsg::detail::NameHashStep(hash, static_cast<unsigned char>(*p));
  return zumsg::detail::FindField(info, name, static_cast<std::size_t>(p - name), hash);
}

// Stores the attributes that name scalar fields; others are skipped as unknown.
void SetAttributes(Reader& r, const Frame& frame, const XML_Char** attributes) {
  zumsg::Slot* slots = MessageAccess::slots(*frame.object);
  std::uint32_t& present = MessageAccess::present(*frame.object);
  for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
    int field = Lookup(*frame.info, a[0]);
    if (field < 0) continue;
    const FieldInfo& f = frame.info->fields[field];
    zumsg::Slot& slot = slots[field];
    const std::uint32_t bit = 1u << field;
    switch (f.kind) {
      case FieldKind::Integer:
      case FieldKind::Boolean:
      case FieldKind::Enum: {
        long long value;
        if (!ParseInteger(a[1], f.kind == FieldKind::Boolean, value)) {
          Fail(r, "bad integer " + Quote(a[1]) + " in attribute '" + f.name + "'");
          return;
        }
        slot.integer = value;
        break;
      }
      case FieldKind::String: {
        char* text = zumsg::detail::NewText(a[1], std::strlen(a[1]));
        if (present & bit) zumsg::detail::FreeText(slot.text);
        slot.text = text;
        break;
      }
      case FieldKind::Password: {
        auto* password = new pstring(bstring(a[1], std::strlen(a[1])), Annotation::PASSWORD_ENCRYPT_DEFAULT);
        if (present & bit) delete slot.password;
        slot.password = password;
        break;
      }
      case FieldKind::Object:
      case FieldKind::List: continue;
    }
    present |= bit;
  }
}

void OpenChild(Reader& r, const XML_Char* name, const XML_Char** attributes) {
  const Frame& parent = r.frames[r.top];
  int field = Lookup(*parent.info, name);
  const FieldInfo* f = field < 0 ? nullptr : &parent.info->fields[field];
  if (f == nullptr || (f->kind != FieldKind::Object && f->kind != FieldKind::List)) {
    r.skip = 1;
    return;
  }
  zumsg::Slot& slot = MessageAccess::slots(*parent.object)[field];
  std::uint32_t& present = MessageAccess::present(*parent.object);
  const std::uint32_t bit = 1u << field;
  CNMessageBase* child;
  if (f->kind == FieldKind::Object) {
    // The parent is fresh, so a present object field means this element came before.
    if (present & bit) {
      Fail(r, std::string("second '") + f->name + "' element in '" + parent.info->name + "'");
      return;
    }
    child = f->child->create();
    slot.object = child;
    present |= bit;
  } else {
    if ((present & bit) == 0) {
      slot.pointer = f->child->newList();
      present |= bit;
    }
    child = f->child->listAppend(slot.pointer);
  }
  r.frames[++r.top] = Frame{child, f->child};
  SetAttributes(r, r.frames[r.top], attributes);
}

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  Reader& r = *static_cast<Reader*>(data);
  if (r.failed) return;
  try {
    if (r.depth == kMaxDepth) {
      Fail(r, "nesting deeper than " + std::to_string(kMaxDepth));
      return;
    }
    ++r.depth;
    if (r.skip > 0) {
      ++r.skip;
    } else if (r.top >= 0) {
      OpenChild(r, name, attributes);
    } else if (std::strcmp(name, r.rootInfo->name) == 0) {
      r.frames[r.top = 0] = Frame{r.root, r.rootInfo};
      SetAttributes(r, r.frames[0], attributes);
    } else {
      Fail(r, "unexpected root element " + Quote(name));
    }
  } catch (...) {
    Fail(r, "out of memory");
  }
}

void XMLCALL OnEnd(void* data, const XML_Char* /*name*/) {
  Reader& r = *static_cast<Reader*>(data);
  if (r.failed) return;
  --r.depth;
  if (r.skip > 0) {
    --r.skip;
  } else {
    --r.top;
  }
}

void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  Fail(*static_cast<Reader*>(data), "DOCTYPE is not allowed");
}

struct ParserFree {
  void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

void SetLastError(unsigned long line, unsigned long column, std::string reason) noexcept {
  tLastError.line = line;
  tLastError.column = column;
  tLastError.reason = std::move(reason);
}

// Sets the reader up to build into `root`, a fresh object of the target's
// class; null when the parser cannot be had.
std::unique_ptr<XML_ParserStruct, ParserFree> Begin(Reader& r, CNMessageBase& root) {
  std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
  if (!parser) {
    SetLastError(0, 0, "out of memory");
    return parser;
  }
  r.parser = parser.get();
  r.rootInfo = &root.schema();
  r.root = &root;
  XML_SetUserData(r.parser, &r);
  XML_SetElementHandler(r.parser, OnStart, OnEnd);
  XML_SetStartDoctypeDeclHandler(r.parser, OnDoctype);
  return parser;
}

// Ends a parse whose last call returned `status`: on success the fresh tree
// replaces the target's content, otherwise the reason is recorded.
int End(Reader& r, XML_Status status, CNMessageBase& target, CNMessageBase& fresh) {
  if (status != XML_STATUS_OK || r.failed) {
    if (r.failed) {
      tLastError = std::move(r.error);
    } else {
      SetLastError(XML_GetCurrentLineNumber(r.parser), XML_GetCurrentColumnNumber(r.parser) + 1,
                   XML_ErrorString(XML_GetErrorCode(r.parser)));
    }
    return -1;
  }
  zumsg::Slot* mine = MessageAccess::slots(target);
  zumsg::Slot* theirs = MessageAccess::slots(fresh);
  std::swap_ranges(mine, mine + target.schema().fieldCount, theirs);
  std::swap(MessageAccess::present(target), MessageAccess::present(fresh));
  return 0;
}

// Parses into a fresh tree of the target's class; swaps it in on success.
int Unserialize(CNMessageBase& target, const char* xml, std::size_t length) {
  std::unique_ptr<CNMessageBase> fresh(target.schema().create());
  Reader r;
  const auto parser = Begin(r, *fresh);
  if (!parser) return -1;
  XML_Status status;
  for (;;) {
    std::size_t piece = std::min(length, kMaxPiece);
    bool last = piece == length;
    status = XML_Parse(r.parser, xml, static_cast<int>(piece), last ? XML_TRUE : XML_FALSE);
    if (status != XML_STATUS_OK || last) break;
    xml += piece;
    length -= piece;
  }
  return End(r, status, target, *fresh);
}

// As above, reading straight into the parser's buffer: no copy of the text.
int Unserialize(CNMessageBase& target, const CNMessageBase::ReadFunction& read) {
  std::unique_ptr<CNMessageBase> fresh(target.schema().create());
  Reader r;
  const auto parser = Begin(r, *fresh);
  if (!parser) return -1;
  std::size_t room = kMinRead;
  XML_Index fed = 0;
  for (;;) {
    void* buffer = XML_GetBuffer(r.parser, static_cast<int>(room));
    if (buffer == nullptr) {
      SetLastError(0, 0, "out of memory");
      return -1;
    }
    const std::ptrdiff_t got = read(static_cast<char*>(buffer), room);
    if (got < 0 || static_cast<std::size_t>(got) > room) {
      SetLastError(0, 0, "input not read");
      return -1;
    }
    const XML_Status status = XML_ParseBuffer(r.parser, static_cast<int>(got), got == 0 ? XML_TRUE : XML_FALSE);
    if (status != XML_STATUS_OK || r.failed || got == 0) return End(r, status, target, *fresh);
    fed += got;
    // The parser scans an unfinished token again from its start at every
    // piece; reading at least what is pending keeps a long token linear.
    const XML_Index at = XML_GetCurrentByteIndex(r.parser);
    if (at >= 0) room = std::clamp(static_cast<std::size_t>(fed - at), kMinRead, kMaxPiece);
  }
}

}  // namespace

int CNMessageBase::unserialize(const std::string& xml) { return unserialize(xml.data(), xml.size()); }

int CNMessageBase::unserialize(const char* xml, std::size_t length) {
  try {
    return Unserialize(*this, xml, length);
  } catch (...) {
    SetLastError(0, 0, "out of memory");
    return -1;
  }
}

int CNMessageBase::unserialize(const ReadFunction& read) {
  try {
    return Unserialize(*this, read);
  } catch (...) {
    SetLastError(0, 0, "out of memory");
    return -1;
  }
}

const zumsg::ParseError& CNMessageBase::LastParseError() { return tLastError; }
