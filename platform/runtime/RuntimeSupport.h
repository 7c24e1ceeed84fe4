// File and environment helpers shared by the runtime stand-in's units; not
// exported.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <string>

#include "LogPaths.h"

namespace zu_runtime {

// Opens the log directory (an O_PATH descriptor for openat), walking it a
// component at a time from / (or the working directory) and creating missing
// ones (mode 0750), so that what is checked is what is used. Each directory
// on the way must belong to the effective user or root and be writable by
// neither group nor others, unless it is root's and sticky (/tmp); the log
// directory itself without that exception. Symbolic links are followed only
// when they belong to the effective user or root, at most 40 of them; -1
// otherwise.
int OpenLogDirectory(const std::string& path);

// Opens a file of the log directory for appending, creating it (mode 0640),
// as zufiles::OpenLocked does (the lock released again); -1 when the
// directory does not count, or the file is a symlink, not a regular file, has
// more than one link or belongs to another user (root aside), or is root's
// and writable by group or others. An own file with more mode bits than 0640
// is moved aside to "<name>.loose-<unix seconds>-<pid>", narrowed (with the
// sticky bit as its mark), and a fresh file created.
int OpenAppend(const std::string& directory, const std::string& name);

// Appends the bytes with one write(2) under the file's lock; false on failure
// or a short write, whose piece is then cut off again (or, should the cut
// fail, ended with a line feed).
bool WriteOnce(int fd, const char* data, std::size_t size);
// The same for pieces gathered into one writev(2), so they stay one entry.
bool WriteOnce(int fd, const struct iovec* pieces, int count);

}  // namespace zu_runtime
