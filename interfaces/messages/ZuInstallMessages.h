// The generated message classes of the install request, expanded from
// ZuInstallSchema.def, with typed access to object and list fields.
#pragma once

#include <vector>

#include "CNMessageBase.h"
#include "ZuInstallSchema.def"

namespace ZUInstallManager {
// Operation of a request or of a client entry; values pass through unchanged.
enum SIMOperationType : int {
  SIM_INSTALL = 0,
  SIM_CHECK_INSTALL_REQUIREMENTS = 1,
  SIM_GET_CONFIGURATION = 2,
  SIM_GET_DEFAULT_XML = 3,
  SIM_CHECK_UNINSTALL_REQUIREMENTS = 5,
  SIM_UNINSTALL_AGENT = 6,
  SIM_UNINSTALL_CLIENT = 7,
  SIM_UNINSTALL_AGENT_FORCED = 8,
  SIM_UNINSTALL_MA = 9,
  SIM_UNINSTALL_CLIENT_FORCED = 10,
  SIM_INSTALL_PUSH = 11,
  SIM_INSTALL_SILENT = 14,
  SIM_GET_SILENT_CLIENT_LIST = 15,
  SIM_SYNC_PACKAGE_INFO = 16,
  SIM_DEACTIVATE_CLIENT = 19,
  SIM_BULK_INSTALL = 20,
  SIM_SYNC_OS_INFO = 21,
  SIM_SEND_JOB_STATUS = 31,
  SIM_UPDATE_SP_VERSION = 33,
  SIM_SEND_ASYNC_INSTALL_RESPONSE = 36,
  SIM_UPDATE_THIRD_PARTY_PATCH_LEVEL = 38,
};

// Kind of shared install location; values pass through unchanged.
enum SILType : int { SIL_NONE = 0, SIL_NETWORK_SHARE = 1, SIL_LOCAL_PATH = 2 };
}  // namespace ZUInstallManager

#define ZU_DETAIL_FORWARD(ns, cls, no) \
  namespace ns {                       \
  class cls;                           \
  }
ZU_SCHEMA_CLASSES(ZU_DETAIL_FORWARD)
#undef ZU_DETAIL_FORWARD

#define ZU_DETAIL_ENUMERATOR(cls, field, kind, child) field,
#define ZU_DETAIL_CLASS(ns, cls, no)                                                          \
  namespace ns {                                                                              \
  class ZU_MSG_API cls final : public CNMessageBase {                                         \
   public:                                                                                    \
    enum Field : zumsg::FieldId { ZU_FIELDS_##cls(ZU_DETAIL_ENUMERATOR) FieldCount };         \
    static_assert(FieldCount <= 32, "presence bits hold 32 fields");                          \
    static constexpr int kClassNumber = no;                                                   \
    static const zumsg::ClassInfo kSchema;                                                    \
    cls() noexcept : CNMessageBase(kSchema, slots_) {}                                        \
    cls(const cls& other) : CNMessageBase(other, slots_) {}                                   \
    cls(cls&& other) noexcept : CNMessageBase(static_cast<CNMessageBase&&>(other), slots_) {} \
    cls& operator=(const cls& other) {                                                        \
      CNMessageBase::assignFrom(other);                                                       \
      return *this;                                                                           \
    }                                                                                         \
    cls& operator=(cls&& other) noexcept {                                                    \
      CNMessageBase::assignFrom(static_cast<CNMessageBase&&>(other));                         \
      return *this;                                                                           \
    }                                                                                         \
    ~cls() override { CNMessageBase::releaseFields(); }                                       \
                                                                                              \
   private:                                                                                   \
    zumsg::Slot slots_[FieldCount];                                                           \
  };                                                                                          \
  }
ZU_SCHEMA_CLASSES(ZU_DETAIL_CLASS)
#undef ZU_DETAIL_CLASS
#undef ZU_DETAIL_ENUMERATOR

// zumsg::Child<Owner::Field, Owner::field>::type names the class an object or
// list field holds.
#define ZU_DETAIL_CHILD_Integer(ns, cls, field, child)
#define ZU_DETAIL_CHILD_Boolean(ns, cls, field, child)
#define ZU_DETAIL_CHILD_Enum(ns, cls, field, child)
#define ZU_DETAIL_CHILD_String(ns, cls, field, child)
#define ZU_DETAIL_CHILD_Password(ns, cls, field, child)
#define ZU_DETAIL_CHILD_Object(ns, cls, field, child) \
  template <>                                         \
  struct Child<ns::cls::Field, ns::cls::field> {      \
    using owner = ns::cls;                            \
    using type = child;                               \
  };
#define ZU_DETAIL_CHILD_List ZU_DETAIL_CHILD_Object
namespace zumsg {
#define ZU_DETAIL_CHILDREN(ns, cls, no) ZU_FIELDS_##cls(ZU_DETAIL_CHILD_ROW_##ns)
#define ZU_DETAIL_CHILD_ROW_ZUInstallManager(cls, field, kind, child) \
  ZU_DETAIL_CHILD_##kind(::ZUInstallManager, cls, field, child)
#define ZU_DETAIL_CHILD_ROW_ZuEntities(cls, field, kind, child) ZU_DETAIL_CHILD_##kind(::ZuEntities, cls, field, child)
#define ZU_DETAIL_CHILD_ROW_App(cls, field, kind, child) ZU_DETAIL_CHILD_##kind(::App, cls, field, child)
#define ZU_DETAIL_CHILD_ROW_ZuSecurity(cls, field, kind, child) ZU_DETAIL_CHILD_##kind(::ZuSecurity, cls, field, child)
ZU_SCHEMA_CLASSES(ZU_DETAIL_CHILDREN)
#undef ZU_DETAIL_CHILDREN
#undef ZU_DETAIL_CHILD_ROW_ZUInstallManager
#undef ZU_DETAIL_CHILD_ROW_ZuEntities
#undef ZU_DETAIL_CHILD_ROW_App
#undef ZU_DETAIL_CHILD_ROW_ZuSecurity
}  // namespace zumsg
#undef ZU_DETAIL_CHILD_Integer
#undef ZU_DETAIL_CHILD_Boolean
#undef ZU_DETAIL_CHILD_Enum
#undef ZU_DETAIL_CHILD_String
#undef ZU_DETAIL_CHILD_Password
#undef ZU_DETAIL_CHILD_Object
#undef ZU_DETAIL_CHILD_List

namespace zumsg {

template <auto F>
using ChildOf = typename Child<decltype(F), F>::type;
template <auto F>
using OwnerOf = typename Child<decltype(F), F>::owner;

// The child held by object field F of `owner`; null when absent or null.
template <auto F>
ChildOf<F>* object(const OwnerOf<F>& owner) {
  auto& m = const_cast<OwnerOf<F>&>(owner);
  CNMessageBase** slot = m.getObjectAccessor(true, false, F, ChildOf<F>::kClassNumber);
  return slot ? static_cast<ChildOf<F>*>(*slot) : nullptr;
}

// The child of object field F, created when absent or null; the field is present afterwards.
template <auto F>
ChildOf<F>& objectCreate(OwnerOf<F>& owner) {
  return *static_cast<ChildOf<F>*>(*owner.getObjectAccessor(true, true, F, ChildOf<F>::kClassNumber));
}

// The vector of list field F of `owner`; null when absent.
template <auto F>
std::vector<ChildOf<F>>* list(const OwnerOf<F>& owner) {
  void** slot = const_cast<OwnerOf<F>&>(owner).getlistobject(F, false);
  return slot ? static_cast<std::vector<ChildOf<F>>*>(*slot) : nullptr;
}

// The vector of list field F, created empty when absent; the field is present afterwards.
template <auto F>
std::vector<ChildOf<F>>& listCreate(OwnerOf<F>& owner) {
  return *static_cast<std::vector<ChildOf<F>>*>(*owner.getlistobject(F, true));
}

}  // namespace zumsg
