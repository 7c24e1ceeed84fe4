// The schema descriptors of every message class, expanded from
// ZuInstallSchema.def. Everything here is constant-initialised: no code runs
// at load time and the descriptors are usable from other units' static
// initialisers.
#include "ZuInstallMessages.h"

#include <vector>

#include "MessageDetail.h"

namespace {

template <class T>
CNMessageBase* Create() {
  return new T();
}
template <class T>
CNMessageBase* Clone(const CNMessageBase& from) {
  return new T(static_cast<const T&>(from));
}
template <class T>
void* NewList() {
  return new std::vector<T>();
}
template <class T>
void* CloneList(const void* list) {
  return new std::vector<T>(*static_cast<const std::vector<T>*>(list));
}
template <class T>
void DeleteList(void* list) {
  delete static_cast<std::vector<T>*>(list);
}
template <class T>
std::size_t ListSize(const void* list) {
  return static_cast<const std::vector<T>*>(list)->size();
}
template <class T>
CNMessageBase* ListAt(void* list, std::size_t index) {
  return &(*static_cast<std::vector<T>*>(list))[index];
}
template <class T>
CNMessageBase* ListAppend(void* list) {
  return &static_cast<std::vector<T>*>(list)->emplace_back();
}

#define ZU_DETAIL_CHILD_Integer(child) nullptr
#define ZU_DETAIL_CHILD_Boolean(child) nullptr
#define ZU_DETAIL_CHILD_Enum(child) nullptr
#define ZU_DETAIL_CHILD_String(child) nullptr
#define ZU_DETAIL_CHILD_Password(child) nullptr
#define ZU_DETAIL_CHILD_Object(child) &::child::kSchema
#define ZU_DETAIL_CHILD_List(child) &::child::kSchema

#define ZU_DETAIL_FIELD_INFO(cls, field, kind, child) \
  {#field, zumsg::FieldKind::kind, ZU_DETAIL_CHILD_##kind(child), sizeof(#field) - 1},
#define ZU_DETAIL_FIELD_TABLES(ns, cls, no)                                             \
  constexpr zumsg::FieldInfo kFields_##cls[] = {ZU_FIELDS_##cls(ZU_DETAIL_FIELD_INFO)}; \
  constexpr auto kNames_##cls = zumsg::detail::BuildNameTable(kFields_##cls);
ZU_SCHEMA_CLASSES(ZU_DETAIL_FIELD_TABLES)
#undef ZU_DETAIL_FIELD_TABLES
#undef ZU_DETAIL_FIELD_INFO

#define ZU_DETAIL_CLASS_ADDRESS(ns, cls, no) &ns::cls::kSchema,
const zumsg::ClassInfo* const kAllClasses[] = {ZU_SCHEMA_CLASSES(ZU_DETAIL_CLASS_ADDRESS)};
#undef ZU_DETAIL_CLASS_ADDRESS
#undef ZU_DETAIL_CHILD_Integer
#undef ZU_DETAIL_CHILD_Boolean
#undef ZU_DETAIL_CHILD_Enum
#undef ZU_DETAIL_CHILD_String
#undef ZU_DETAIL_CHILD_Password
#undef ZU_DETAIL_CHILD_Object
#undef ZU_DETAIL_CHILD_List

}  // namespace

#define ZU_DETAIL_CLASS_INFO(ns, cls, no)                          \
  const zumsg::ClassInfo ns::cls::kSchema = {#ns "::" #cls,        \
                                             #cls,                 \
                                             no,                   \
                                             kFields_##cls,        \
                                             ns::cls::FieldCount,  \
                                             &Create<ns::cls>,     \
                                             &Clone<ns::cls>,      \
                                             &NewList<ns::cls>,    \
                                             &CloneList<ns::cls>,  \
                                             &DeleteList<ns::cls>, \
                                             &ListSize<ns::cls>,   \
                                             &ListAt<ns::cls>,     \
                                             &ListAppend<ns::cls>, \
                                             sizeof(#cls) - 1,     \
                                             kNames_##cls.data()}; \
  static_assert(sizeof(kFields_##cls) / sizeof(zumsg::FieldInfo) == ns::cls::FieldCount);
ZU_SCHEMA_CLASSES(ZU_DETAIL_CLASS_INFO)
#undef ZU_DETAIL_CLASS_INFO

const zumsg::ClassInfo* const* zumsg::AllClasses(std::size_t& count) {
  count = sizeof kAllClasses / sizeof kAllClasses[0];
  return kAllClasses;
}
