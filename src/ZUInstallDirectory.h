// Opening a directory by a path that others may try to steer, shared by the runtime's logger and zu-request.
// Internal: nothing here is exported.
#pragma once

#include <string>

namespace zufiles {

// How OpenDirectory treats what it finds.
enum WalkFlags : unsigned {
  kCreateMissing = 1u << 0,    // creates missing directories (mode 0750) instead of refusing the path
  kLastMayBeShared = 1u << 1,  // the directory itself may be shared as /tmp is, as those on the way may
};

// Opens a directory (an O_PATH descriptor for the *at calls), walking it a component at a time from / (or the
// working directory), so that what is checked is what is used and every later step can be made relative to
// it. Each directory on the way must belong to the effective user or root and be writable by neither group nor
// others, unless it is root's and sticky (/tmp); the directory itself without that exception, unless
// kLastMayBeShared. Symbolic links are followed only when they belong to the effective user or root, at most 40
// of them. -1 when refused or not found.
int OpenDirectory(const std::string& path, unsigned flags);

}  // namespace zufiles
