#include "CNMessageBase.h"

#include <cassert>
#include <cstring>
#include <new>
#include <utility>

#include "MessageDetail.h"

namespace {

using zumsg::FieldId;
using zumsg::FieldInfo;
using zumsg::FieldKind;
using zumsg::Slot;

constexpr unsigned KindBit(FieldKind kind) { return 1u << static_cast<unsigned>(kind); }
constexpr unsigned kNumberKinds = KindBit(FieldKind::Integer) | KindBit(FieldKind::Boolean) | KindBit(FieldKind::Enum);
constexpr unsigned kTextKinds = KindBit(FieldKind::String) | KindBit(FieldKind::Password);

// Returns the field's descriptor, or null (a programmer error) when the field
// does not exist or is not of one of `kinds`.
const FieldInfo* Describe(const zumsg::ClassInfo& info, FieldId field, unsigned kinds) noexcept {
  assert(field < info.fieldCount && "field identifier of another class");
  if (field >= info.fieldCount) return nullptr;
  const FieldInfo* f = &info.fields[field];
  assert((KindBit(f->kind) & kinds) != 0 && "field used as the wrong kind");
  return (KindBit(f->kind) & kinds) != 0 ? f : nullptr;
}

void ReleaseSlot(const FieldInfo& f, Slot& slot) noexcept {
  switch (f.kind) {
    case FieldKind::Integer:
    case FieldKind::Boolean:
    case FieldKind::Enum: return;
    case FieldKind::String: zumsg::detail::FreeText(slot.text); return;
    case FieldKind::Password: delete slot.password; return;
    case FieldKind::Object: delete slot.object; return;
    case FieldKind::List:
      if (slot.pointer != nullptr) f.child->deleteList(slot.pointer);
      return;
  }
}

// Copies one present slot deeply. Throws std::bad_alloc with nothing allocated.
Slot CopySlot(const FieldInfo& f, const Slot& from) {
  Slot to{};
  switch (f.kind) {
    case FieldKind::Integer:
    case FieldKind::Boolean:
    case FieldKind::Enum: to.integer = from.integer; break;
    case FieldKind::String: {
      std::string_view text = zumsg::detail::TextView(from.text);
      to.text = zumsg::detail::NewText(text.data(), text.size());
      break;
    }
    case FieldKind::Password: to.password = from.password != nullptr ? new pstring(*from.password) : nullptr; break;
    case FieldKind::Object:
      to.object = from.object != nullptr ? from.object->schema().clone(*from.object) : nullptr;
      break;
    case FieldKind::List: to.pointer = from.pointer != nullptr ? f.child->cloneList(from.pointer) : nullptr; break;
  }
  return to;
}

int LowestBit(std::uint32_t bits) { return __builtin_ctz(bits); }

}  // namespace

// ---- text values ------------------------------------------------------------

bstring::bstring(const char* text, std::size_t length) : text_(text, length) {}
bstring::bstring(std::string text) : text_(std::move(text)) {}
bstring::~bstring() = default;

void bstring::assign(const char* text, std::size_t length) { text_.assign(text, length); }

std::string FXString::ToString(const std::string& text) { return text; }

// ---- construction, copy, move -----------------------------------------------

CNMessageBase::CNMessageBase(const zumsg::ClassInfo& info, zumsg::Slot* slots) noexcept : info_(&info), slots_(slots) {}

CNMessageBase::~CNMessageBase() = default;

CNMessageBase::CNMessageBase(const CNMessageBase& other, zumsg::Slot* slots)
    : info_(other.info_), slots_(slots), xmlWrite_(other.xmlWrite_) {
  try {
    for (std::uint32_t bits = other.present_; bits != 0; bits &= bits - 1) {
      int i = LowestBit(bits);
      slots_[i] = CopySlot(info_->fields[i], other.slots_[i]);
      present_ |= 1u << i;
    }
  } catch (...) {
    // The derived destructor will not run for a half-built object.
    releaseFields();
    throw;
  }
}

CNMessageBase::CNMessageBase(CNMessageBase&& other, zumsg::Slot* slots) noexcept
    : info_(other.info_), slots_(slots), present_(other.present_), xmlWrite_(other.xmlWrite_) {
  std::memcpy(static_cast<void*>(slots_), other.slots_, sizeof(Slot) * info_->fieldCount);
  other.present_ = 0;
}

void CNMessageBase::assignFrom(const CNMessageBase& other) {
  if (this == &other) return;
  assert(info_ == other.info_ && "assignment between different classes");
  CNMessageBase* copy = other.info_->clone(other);
  assignFrom(std::move(*copy));
  delete copy;
}

void CNMessageBase::assignFrom(CNMessageBase&& other) noexcept {
  if (this == &other) return;
  assert(info_ == other.info_ && "assignment between different classes");
  releaseFields();
  std::memcpy(static_cast<void*>(slots_), other.slots_, sizeof(Slot) * info_->fieldCount);
  present_ = other.present_;
  xmlWrite_ = other.xmlWrite_;
  other.present_ = 0;
}

void CNMessageBase::releaseFields() noexcept {
  for (std::uint32_t bits = present_; bits != 0; bits &= bits - 1) {
    int i = LowestBit(bits);
    ReleaseSlot(info_->fields[i], slots_[i]);
  }
  present_ = 0;
}

// ---- scalar fields ----------------------------------------------------------

long long CNMessageBase::getint64(zumsg::FieldId field) const {
  if (!isSet(field) || Describe(*info_, field, kNumberKinds) == nullptr) return 0;
  return slots_[field].integer;
}

void CNMessageBase::setint64(zumsg::FieldId field, long long value) {
  if (Describe(*info_, field, kNumberKinds) == nullptr) return;
  slots_[field].integer = value;
  present_ |= 1u << field;
}

std::string_view CNMessageBase::getstringview(zumsg::FieldId field) const noexcept {
  const FieldInfo* f = isSet(field) ? Describe(*info_, field, kTextKinds) : nullptr;
  if (f == nullptr) return {};
  if (f->kind == FieldKind::String) return zumsg::detail::TextView(slots_[field].text);
  const pstring* p = slots_[field].password;
  return p != nullptr ? std::string_view(p->str()) : std::string_view();
}

// A copy that cannot be made throws: answering "" would pass for a stored empty text.
std::string CNMessageBase::getstring(zumsg::FieldId field) const { return std::string(getstringview(field)); }

void CNMessageBase::setstring(zumsg::FieldId field, const std::string& value) {
  setstring(field, value.data(), value.size());
}

void CNMessageBase::setstring(zumsg::FieldId field, const char* value, std::size_t length) {
  const FieldInfo* f = Describe(*info_, field, kTextKinds);
  if (f == nullptr) return;
  if (f->kind == FieldKind::Password) {
    try {
      setpstringobject(field, bstring(value, length), Annotation::PASSWORD_ENCRYPT_DEFAULT);
    } catch (...) {
    }
    return;
  }
  char* text = nullptr;
  try {
    text = zumsg::detail::NewText(value, length);
  } catch (...) {
    return;
  }
  if (isSet(field)) zumsg::detail::FreeText(slots_[field].text);
  slots_[field].text = text;
  present_ |= 1u << field;
}

pstring** CNMessageBase::getpstringobject(zumsg::FieldId field) {
  if (!isSet(field) || Describe(*info_, field, KindBit(FieldKind::Password)) == nullptr) return nullptr;
  return &slots_[field].password;
}

void CNMessageBase::setpstringobject(zumsg::FieldId field, const bstring& text, Annotation::PasswordEncryptType type) {
  if (Describe(*info_, field, KindBit(FieldKind::Password)) == nullptr) return;
  pstring* password = nullptr;
  try {
    password = new pstring(text, type);
  } catch (...) {
    return;
  }
  if (isSet(field)) delete slots_[field].password;
  slots_[field].password = password;
  present_ |= 1u << field;
}

// ---- object and list fields -------------------------------------------------

CNMessageBase** CNMessageBase::getObjectAccessor(bool /*writable*/, bool create, zumsg::FieldId field, int childClass) {
  const FieldInfo* f = Describe(*info_, field, KindBit(FieldKind::Object));
  if (f == nullptr) return nullptr;
  assert(f->child->classNumber == childClass && "child class does not match the schema");
  (void)childClass;
  Slot& slot = slots_[field];
  if (isSet(field) && slot.object != nullptr) return &slot.object;
  if (!create) return nullptr;
  CNMessageBase* child = nullptr;
  try {
    child = f->child->create();
  } catch (...) {
    return nullptr;
  }
  slot.object = child;
  present_ |= 1u << field;
  return &slot.object;
}

void** CNMessageBase::getlistobject(zumsg::FieldId field, bool create) {
  const FieldInfo* f = Describe(*info_, field, KindBit(FieldKind::List));
  if (f == nullptr) return nullptr;
  Slot& slot = slots_[field];
  if (isSet(field)) {
    if (slot.pointer != nullptr || !create) return &slot.pointer;
  } else if (!create) {
    return nullptr;
  }
  void* list = nullptr;
  try {
    list = f->child->newList();
  } catch (...) {
    return nullptr;
  }
  slot.pointer = list;
  present_ |= 1u << field;
  return &slot.pointer;
}

void CNMessageBase::clearField(zumsg::FieldId field) {
  if (!isSet(field) || Describe(*info_, field, ~0u) == nullptr) return;
  ReleaseSlot(info_->fields[field], slots_[field]);
  present_ &= ~(1u << field);
}

// ---- library set-up -----------------------------------------------------------

int CNMessageBase::Initialize() {
  // The descriptors and name tables are constant-initialised: nothing is left
  // to prepare, so any number of threads may call this at any time.
  return 0;
}

void ZUInstallManager::RegisterSubsystem() {
  // The message classes are known statically; registering is a no-op.
}
