// Helpers of the message library tests: serialization to a string, loading
// with the reason on failure, and a filler that sets every field.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "ZuInstallMessages.h"

namespace msgtest {

inline EncodingFlags Flags() { return EncodingFlags{true, false, false, 0, 0, -1, false, false, true, false, 1}; }

// Returns the compact XML of `m`, or "error N" when the encoder refuses it.
inline std::string Xml(const CNMessageBase& m) {
  std::string xml;
  const int rc = XMLEncoder(Flags(), nullptr).serialize(&m, xml, false);
  return rc == 0 ? xml : "error " + std::to_string(rc);
}

inline ::testing::AssertionResult Load(CNMessageBase& m, const std::string& xml) {
  if (m.unserialize(xml) == 0) return ::testing::AssertionSuccess();
  const zumsg::ParseError& e = CNMessageBase::LastParseError();
  return ::testing::AssertionFailure() << e.line << ":" << e.column << ": " << e.reason;
}

// Sets every field of `m` to a distinctive value, texts with every escape and
// multi-byte UTF-8; lists get two entries, children are filled too.
inline void FillAll(CNMessageBase& m) {
  const zumsg::ClassInfo& info = m.schema();
  for (unsigned i = 0; i < info.fieldCount; ++i) {
    const zumsg::FieldInfo& f = info.fields[i];
    const std::string text = std::string(info.name) + "." + f.name + " \"q\" 'a' & <t> \t\n\r caf\xC3\xA9 \xF0\x9D\x84\x9E";
    switch (f.kind) {
      case zumsg::FieldKind::Integer: m.setint64(i, i == 0 ? (info.classNumber % 2 ? LLONG_MIN : LLONG_MAX) : (info.classNumber * 100LL + i) * -1); break;
      case zumsg::FieldKind::Boolean:
      case zumsg::FieldKind::Enum: m.setint64(i, info.classNumber * 100LL + i); break;
      case zumsg::FieldKind::String: m.setstring(i, text); break;
      case zumsg::FieldKind::Password: m.setpstringobject(i, bstring("V8:" + text), Annotation::PASSWORD_ENCRYPT_DEFAULT); break;
      case zumsg::FieldKind::Object: FillAll(**m.getObjectAccessor(true, true, i, f.child->classNumber)); break;
      case zumsg::FieldKind::List: FillAll(*f.child->listAppend(*m.getlistobject(i, true))), FillAll(*f.child->listAppend(*m.getlistobject(i, true))); break;
    }
  }
}

}  // namespace msgtest
