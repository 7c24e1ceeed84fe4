// Helpers of the message library tests: serialization to a string, a deep
// comparison that walks the schema, and a filler that sets every field.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "ZuInstallMessages.h"

namespace msgtest {

inline EncodingFlags Flags() { return EncodingFlags{true, false, false, 0, 0, -1, false, false, true, false, 1}; }

// Returns the compact XML of `m`, or "error N" when the encoder refuses it.
inline std::string Xml(const CNMessageBase& m) {
  XMLEncoder encoder(Flags(), nullptr);
  std::string xml;
  int rc = encoder.serialize(&m, xml, false);
  return rc == 0 ? xml : "error " + std::to_string(rc);
}

inline ::testing::AssertionResult Load(CNMessageBase& m, const std::string& xml) {
  if (m.unserialize(xml) == 0) return ::testing::AssertionSuccess();
  const zumsg::ParseError& e = CNMessageBase::LastParseError();
  return ::testing::AssertionFailure() << e.line << ":" << e.column << ": " << e.reason;
}

inline std::string Path(const CNMessageBase& m, unsigned field) {
  return std::string(m.schema().name) + "." + m.schema().fields[field].name;
}

// Compares two trees field by field, including null children and empty lists.
inline ::testing::AssertionResult DeepEqual(const CNMessageBase& a, const CNMessageBase& b) {
  if (&a.schema() != &b.schema()) {
    return ::testing::AssertionFailure() << a.schema().name << " vs " << b.schema().name;
  }
  const zumsg::ClassInfo& info = a.schema();
  auto& ma = const_cast<CNMessageBase&>(a);
  auto& mb = const_cast<CNMessageBase&>(b);
  for (unsigned i = 0; i < info.fieldCount; ++i) {
    if (a.isSet(i) != b.isSet(i)) return ::testing::AssertionFailure() << Path(a, i) << " presence differs";
    if (!a.isSet(i)) continue;
    const zumsg::FieldInfo& f = info.fields[i];
    switch (f.kind) {
      case zumsg::FieldKind::Integer:
      case zumsg::FieldKind::Boolean:
      case zumsg::FieldKind::Enum:
        if (a.getint64(i) != b.getint64(i)) {
          return ::testing::AssertionFailure() << Path(a, i) << ": " << a.getint64(i) << " vs " << b.getint64(i);
        }
        break;
      case zumsg::FieldKind::String:
        if (a.getstring(i) != b.getstring(i)) {
          return ::testing::AssertionFailure() << Path(a, i) << ": '" << a.getstring(i) << "' vs '" << b.getstring(i) << "'";
        }
        break;
      case zumsg::FieldKind::Password: {
        pstring* pa = *ma.getpstringobject(i);
        pstring* pb = *mb.getpstringobject(i);
        if ((pa == nullptr) != (pb == nullptr) ||
            (pa != nullptr && (pa->str() != pb->str() || pa->encryptType() != pb->encryptType()))) {
          return ::testing::AssertionFailure() << Path(a, i) << " password differs";
        }
        break;
      }
      case zumsg::FieldKind::Object: {
        CNMessageBase** ca = ma.getObjectAccessor(true, false, i, f.child->classNumber);
        CNMessageBase** cb = mb.getObjectAccessor(true, false, i, f.child->classNumber);
        if ((ca == nullptr) != (cb == nullptr)) return ::testing::AssertionFailure() << Path(a, i) << " null child on one side";
        if (ca != nullptr) {
          auto r = DeepEqual(**ca, **cb);
          if (!r) return r << " in " << Path(a, i);
        }
        break;
      }
      case zumsg::FieldKind::List: {
        void* la = *ma.getlistobject(i, false);
        void* lb = *mb.getlistobject(i, false);
        std::size_t n = f.child->listSize(la);
        if (n != f.child->listSize(lb)) return ::testing::AssertionFailure() << Path(a, i) << " list sizes differ";
        for (std::size_t k = 0; k < n; ++k) {
          auto r = DeepEqual(*f.child->listAt(la, k), *f.child->listAt(lb, k));
          if (!r) return r << " in " << Path(a, i) << "[" << k << "]";
        }
        break;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// A text that exercises every escape and multi-byte UTF-8, distinct per field.
inline std::string Text(const CNMessageBase& m, unsigned field) {
  return Path(m, field) + " \"q\" 'a' & <t> \t\n\r caf\xC3\xA9 \xF0\x9D\x84\x9E";
}

// Sets every field of `m` to a distinctive value; lists get two entries, children are filled too.
inline void FillAll(CNMessageBase& m) {
  const zumsg::ClassInfo& info = m.schema();
  for (unsigned i = 0; i < info.fieldCount; ++i) {
    const zumsg::FieldInfo& f = info.fields[i];
    long long distinct = (info.classNumber * 100LL + i) * ((i & 1) ? -1 : 1);
    switch (f.kind) {
      case zumsg::FieldKind::Integer:
        m.setint64(i, i == 0 ? (info.classNumber % 2 ? LLONG_MIN : LLONG_MAX) : distinct);
        break;
      case zumsg::FieldKind::Boolean:
      case zumsg::FieldKind::Enum:
        m.setint64(i, distinct);
        break;
      case zumsg::FieldKind::String:
        m.setstring(i, Text(m, i));
        break;
      case zumsg::FieldKind::Password:
        m.setpstringobject(i, bstring("V8:" + Text(m, i)), Annotation::PASSWORD_ENCRYPT_DEFAULT);
        break;
      case zumsg::FieldKind::Object:
        FillAll(**m.getObjectAccessor(true, true, i, f.child->classNumber));
        break;
      case zumsg::FieldKind::List: {
        void* list = *m.getlistobject(i, true);
        FillAll(*f.child->listAppend(list));
        FillAll(*f.child->listAppend(list));
        break;
      }
    }
  }
}

}  // namespace msgtest
