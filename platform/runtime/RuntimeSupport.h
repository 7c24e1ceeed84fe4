// File and environment helpers shared by the runtime stand-in's units; not
// exported.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <string>

namespace zu_runtime {

// Returns $ZU_LOG_DIR, or /var/log/zu when it is unset or empty.
std::string LogDirectory();

// Creates the directory and its missing parents (mode 0755); false when a
// component cannot be created or exists but is not a directory.
bool MakeDirectories(const std::string& path);

// Opens a regular file for appending, creating it (mode 0644) and, first, its
// directory; -1 when the path is a symlink, not a regular file, or unusable.
int OpenAppend(const std::string& directory, const std::string& name);

// Writes the bytes with one write(2), retried on EINTR only; false on failure
// or a short write.
bool WriteOnce(int fd, const char* data, std::size_t size);
// The same for pieces gathered into one writev(2), so they stay one entry.
bool WriteOnce(int fd, const struct iovec* pieces, int count);

}  // namespace zu_runtime
