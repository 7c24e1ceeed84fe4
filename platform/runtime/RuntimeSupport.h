// File and environment helpers shared by the runtime stand-in's units; not
// exported.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <string>

namespace zu_runtime {

// Returns $ZU_LOG_DIR, or /var/log/zu when it is unset or empty.
std::string LogDirectory();

// Opens the log directory (an O_PATH descriptor for openat), walking it a
// component at a time from / (or the working directory) and creating missing
// ones (mode 0750), so that what is checked is what is used. Each directory
// on the way must belong to the effective user or root and be writable by
// neither group nor others, unless it is root's and sticky (/tmp); the log
// directory itself without that exception. Symbolic links are followed only
// when they belong to the effective user or root, at most 40 of them; -1
// otherwise.
int OpenLogDirectory(const std::string& path);

// Opens a file of the log directory for appending, creating it (mode 0640);
// -1 when the directory does not count, or the file is a symlink, not a
// regular file, has more than one link or belongs to another user (root
// aside). An own file with more mode bits than 0640 is narrowed to them,
// unless others can write it: then, as a root's file that group or others
// can write, it is refused.
int OpenAppend(const std::string& directory, const std::string& name);

// Writes the bytes with one write(2), retried on EINTR only; false on failure
// or a short write, whose piece is then cut off again (or, when another entry
// follows already, ended with a line feed).
bool WriteOnce(int fd, const char* data, std::size_t size);
// The same for pieces gathered into one writev(2), so they stay one entry.
bool WriteOnce(int fd, const struct iovec* pieces, int count);

}  // namespace zu_runtime
