// File and environment helpers shared by the runtime stand-in's units; not
// exported.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <string>

namespace zu_runtime {

// Returns $ZU_LOG_DIR, or /var/log/zu when it is unset or empty.
std::string LogDirectory();

// Opens the log directory for openat, creating it and its missing parents
// (mode 0750). It counts only when it, and every symbolic link on the way,
// belong to the effective user or root, and neither group nor others can
// write it; -1 otherwise.
int OpenLogDirectory(const std::string& path);

// Opens a file of the log directory for appending, creating it (mode 0640);
// -1 when the directory does not count, or the file is a symlink, not a
// regular file, has more than one link, belongs to another user (root
// aside) or can be written by group or others.
int OpenAppend(const std::string& directory, const std::string& name);

// Writes the bytes with one write(2), retried on EINTR only; false on failure
// or a short write.
bool WriteOnce(int fd, const char* data, std::size_t size);
// The same for pieces gathered into one writev(2), so they stay one entry.
bool WriteOnce(int fd, const struct iovec* pieces, int count);

}  // namespace zu_runtime
