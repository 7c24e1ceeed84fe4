#include "RuntimeSupport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "ZUInstallAppend.h"
#include "ZUInstallDirectory.h"

namespace zu_runtime {

namespace {

constexpr mode_t kLogFileMode = 0640;

}  // namespace

int OpenLogDirectory(const std::string& path) { return zufiles::OpenDirectory(path, zufiles::kCreateMissing); }

int OpenAppend(const std::string& directory, const std::string& name) {
  const int dirFd = OpenLogDirectory(directory);
  if (dirFd < 0) return -1;
  const int fd = zufiles::OpenLocked(dirFd, name.c_str(), kLogFileMode);
  ::close(dirFd);
  // Held open between entries, so locked for each append alone.
  if (fd >= 0) ::flock(fd, LOCK_UN);
  return fd;
}

bool WriteOnce(int fd, const char* data, std::size_t size) {
  const struct iovec piece = {const_cast<char*>(data), size};
  return zufiles::Append(fd, &piece, 1);
}

bool WriteOnce(int fd, const struct iovec* pieces, int count) { return zufiles::Append(fd, pieces, count); }

}  // namespace zu_runtime
