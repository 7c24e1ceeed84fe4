// What the system needs of the message library: the message base class, the
// text value types, the XML encoder and the schema descriptors that the
// generated classes expose. Declarations only; platform/messages implements
// them, and the product's own library can stand in their place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#define ZU_MSG_API __attribute__((visibility("default")))

class CNMessageBase;

namespace Annotation {
enum PasswordEncryptType : int { PASSWORD_ENCRYPT_NONE = 0, PASSWORD_ENCRYPT_DEFAULT = 1 };
}

// A text value of a message.
class ZU_MSG_API bstring {
 public:
  bstring() = default;
  bstring(const char* text, std::size_t length);
  explicit bstring(std::string text);
  bstring(const bstring&) = default;
  bstring(bstring&&) noexcept = default;
  bstring& operator=(const bstring&) = default;
  bstring& operator=(bstring&&) noexcept = default;
  virtual ~bstring();

  // Replaces the text with the first `length` bytes at `text`.
  void assign(const char* text, std::size_t length);
  bool empty() const { return text_.empty(); }
  const std::string& str() const { return text_; }

 protected:
  std::string text_;
};

// A password text; stored as given, with the encryption type it was stored under.
class ZU_MSG_API pstring : public bstring {
 public:
  pstring() = default;
  pstring(const bstring& text, Annotation::PasswordEncryptType type) : bstring(text), type_(type) {}
  Annotation::PasswordEncryptType encryptType() const { return type_; }

 private:
  Annotation::PasswordEncryptType type_ = Annotation::PASSWORD_ENCRYPT_NONE;
};

// Text helpers of the message library.
class ZU_MSG_API FXString {
 public:
  // Returns an unchanged copy.
  static std::string ToString(const std::string& text);
};

namespace zumsg {

using FieldId = unsigned;

enum class FieldKind : std::uint8_t { Integer, Boolean, Enum, String, Password, Object, List };

struct ClassInfo;

struct FieldInfo {
  const char* name;  // XML attribute or element name
  FieldKind kind;
  const ClassInfo* child;  // held class of Object and List fields, else null
  std::uint16_t nameLength;
};

// Size of each class's field-name hash table (open addressing, see nameTable).
constexpr unsigned kNameTableSize = 64;

// Everything the library knows of one generated class, expanded from the schema.
struct ClassInfo {
  const char* qualifiedName;  // "ZUInstallManager::ClientSetup"
  const char* name;           // "ClientSetup": the XML element name of a root
  int classNumber;
  const FieldInfo* fields;
  FieldId fieldCount;
  CNMessageBase* (*create)();
  CNMessageBase* (*clone)(const CNMessageBase&);
  // A list of this class, held by value as std::vector<Class>.
  void* (*newList)();
  void* (*cloneList)(const void* list);
  void (*deleteList)(void* list);
  std::size_t (*listSize)(const void* list);
  CNMessageBase* (*listAt)(void* list, std::size_t index);
  CNMessageBase* (*listAppend)(void* list);  // appends an empty entry
  std::uint16_t nameLength;
  // Field names hashed into kNameTableSize entries of field index + 1 (0: empty),
  // built at compile time so the XML reader finds a field without comparing names.
  const std::uint8_t* nameTable;
};

// One field's storage; its meaning depends on the field's kind. Only the slots
// of present fields hold anything.
union Slot {
  long long integer;      // Integer, Boolean, Enum
  char* text;             // String: a heap block of a size_t length, the bytes, NUL
  pstring* password;      // Password
  CNMessageBase* object;  // Object, owned; may be null
  void* pointer;          // List: std::vector<Child>*, owned
};

// Position and reason of the calling thread's last failed unserialize.
struct ParseError {
  unsigned long line = 0;    // from 1; 0 when not positional
  unsigned long column = 0;  // from 1
  std::string reason;
};

// Every class of the schema, in table order.
ZU_MSG_API const ClassInfo* const* AllClasses(std::size_t& count);

// The child class trait for Object and List fields, specialised per field.
template <class FieldEnum, FieldEnum F>
struct Child;

}  // namespace zumsg

// Base of every generated message class. Fields are addressed by the class's
// Field enumerators and found by index; a field is present or absent.
class ZU_MSG_API CNMessageBase {
 public:
  virtual ~CNMessageBase();

  const zumsg::ClassInfo& schema() const { return *info_; }

  // True when the field is present.
  bool isSet(zumsg::FieldId field) const { return (present_ >> field) & 1u; }
  // Returns the value of an integer, boolean or enumeration field; 0 when absent.
  long long getint64(zumsg::FieldId field) const;
  // Returns a copy of a string or password field; empty when absent. Throws
  // std::bad_alloc when the copy cannot be made.
  std::string getstring(zumsg::FieldId field) const;
  // Returns a view of a string or password field, valid until the field changes; empty when absent.
  // An extension of the stand-in: the system uses it only when built against the stand-in.
  std::string_view getstringview(zumsg::FieldId field) const noexcept;
  // Stores an integer, boolean or enumeration value and makes the field present.
  void setint64(zumsg::FieldId field, long long value);
  // Stores a text and makes the field present; leaves the field unchanged when memory runs out.
  void setstring(zumsg::FieldId field, const std::string& value);
  void setstring(zumsg::FieldId field, const char* value, std::size_t length);

  // Returns the slot holding the child pointer of an object field. With create
  // false: null when the field is absent or holds no child. With create true:
  // a child already there is kept, otherwise a new empty one is placed there;
  // the field is present afterwards (null only when memory runs out).
  // `childClass` must match the schema. The slot owns the child: a caller that
  // replaces it deletes the old one.
  CNMessageBase** getObjectAccessor(bool writable, bool create, zumsg::FieldId field, int childClass);
  // Returns the slot holding a pointer to the std::vector<Child> of a list
  // field; null when absent and create is false. Create true makes the list
  // present (null only when memory runs out).
  void** getlistobject(zumsg::FieldId field, bool create);
  // Returns the slot holding the pstring of a password field; null when absent.
  pstring** getpstringobject(zumsg::FieldId field);
  // Stores a password as given, with its encryption type; leaves the field unchanged when memory runs out.
  void setpstringobject(zumsg::FieldId field, const bstring& text, Annotation::PasswordEncryptType type);
  // Makes the field absent, releasing what it held; does nothing when it is absent.
  void clearField(zumsg::FieldId field);

  void setXmlWriteFlag(bool write) { xmlWrite_ = write; }
  bool xmlWriteFlag() const { return xmlWrite_; }

  // Prepares the library; idempotent and thread-safe. Returns 0 when ready.
  static int Initialize();
  // Replaces this object's content with the XML document, whose root element
  // is named after this object's class. Returns 0 on success; otherwise -1,
  // this object unchanged, and the reason readable from LastParseError().
  int unserialize(const std::string& xml);
  int unserialize(const char* xml, std::size_t length);
  // As unserialize, the document taken a piece at a time as `read` gives it, so
  // only the objects and the piece being parsed are held, never the whole text.
  // `read` fills at most `room` bytes at `buffer` and returns how many it
  // wrote, 0 at the end, or -1 to give up (the reason is then the caller's).
  // An extension of the stand-in: the system uses it only when built against the stand-in.
  using ReadFunction = std::function<std::ptrdiff_t(char* buffer, std::size_t room)>;
  int unserialize(const ReadFunction& read);
  // Returns the calling thread's last unserialize failure; kept through later successes.
  static const zumsg::ParseError& LastParseError();

 protected:
  CNMessageBase(const zumsg::ClassInfo& info, zumsg::Slot* slots) noexcept;
  // Copies deeply; throws std::bad_alloc, leaving nothing allocated, when memory runs out.
  CNMessageBase(const CNMessageBase& other, zumsg::Slot* slots);
  // Takes the other's fields; the other is left empty and usable.
  CNMessageBase(CNMessageBase&& other, zumsg::Slot* slots) noexcept;
  // Copies deeply; throws std::bad_alloc, leaving this object unchanged, when memory runs out.
  void assignFrom(const CNMessageBase& other);
  void assignFrom(CNMessageBase&& other) noexcept;
  // Releases every field; derived destructors call it while their slots live.
  void releaseFields() noexcept;

 private:
  friend struct MessageAccess;
  const zumsg::ClassInfo* info_;
  zumsg::Slot* slots_;
  std::uint32_t present_ = 0;
  bool xmlWrite_ = false;
};

class ZuXMLContextInfo;

// Options of the XML encoder, in declared order.
struct EncodingFlags {
  bool writeAttributes;
  bool prettyPrint;
  bool writeDeclaration;
  int indent;
  int startDepth;
  int maxDepth;  // -1: unbounded
  bool writeDefaults;
  bool writeTypeInfo;
  bool escapeText;
  bool writeNamespaces;
  unsigned long long options;  // bit 0: compact output
};

// Writes a message as XML: compact, no declaration, attributes and children in
// schema order. Of the flags only writeDeclaration is honoured. serialize
// returns 0, or one of these error numbers.
class ZU_MSG_API XMLEncoder {
 public:
  enum Error : int {
    kOutOfMemory = 12,      // the output could not be allocated
    kInvalidArgument = 22,  // null message
    kInvalidUtf8 = 84,      // a text is not valid UTF-8
    kNotXmlChar = 86,       // a text holds a character XML 1.0 cannot carry
  };

  XMLEncoder(const EncodingFlags& flags, ZuXMLContextInfo* context);
  // Replaces `xml` with the message's document, rooted at an element named
  // after its class; an object field holding no child and an empty list write
  // nothing. On failure `xml` is unspecified.
  int serialize(const CNMessageBase* message, std::string& xml, bool withDeclaration);

 private:
  EncodingFlags flags_;
};

namespace ZUInstallManager {
// Registers the install-manager message classes; repeatable.
ZU_MSG_API void RegisterSubsystem();
}  // namespace ZUInstallManager
