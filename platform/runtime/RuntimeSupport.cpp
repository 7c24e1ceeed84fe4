#include "RuntimeSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace zu_runtime {

std::string LogDirectory() {
  const char* dir = std::getenv("ZU_LOG_DIR");
  return (dir != nullptr && *dir != '\0') ? std::string(dir) : std::string("/var/log/zu");
}

namespace {

bool OwnedByUsOrRoot(const struct stat& st) { return st.st_uid == ::geteuid() || st.st_uid == 0; }

bool WritableByOthers(const struct stat& st) { return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

}  // namespace

int OpenLogDirectory(const std::string& path) {
  if (path.empty()) return -1;
  std::string partial;
  partial.reserve(path.size());
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    partial.assign(path, 0, slash);
    pos = slash + 1;
    if (partial.empty() || partial.back() == '/') continue;  // leading or doubled slash
    struct stat st;
    if (::lstat(partial.c_str(), &st) != 0) {
      if (errno != ENOENT) return -1;
      if (::mkdir(partial.c_str(), 0750) != 0 && errno != EEXIST) return -1;
      if (::lstat(partial.c_str(), &st) != 0) return -1;
    }
    // A link another user planted (in /tmp, say) could lead anywhere.
    if (S_ISLNK(st.st_mode) && !OwnedByUsOrRoot(st)) return -1;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  // Checked on what was opened; files are then opened relative to it.
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || !OwnedByUsOrRoot(st) || WritableByOthers(st)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int OpenAppend(const std::string& directory, const std::string& name) {
  const int dirFd = OpenLogDirectory(directory);
  if (dirFd < 0) return -1;
  // O_NONBLOCK keeps a FIFO planted at the path from blocking the open; it
  // does nothing to a regular file.
  int fd;
  do {
    fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0640);
  } while (fd < 0 && errno == EINTR);
  ::close(dirFd);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || !OwnedByUsOrRoot(st) ||
      WritableByOthers(st)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool WriteOnce(int fd, const char* data, std::size_t size) {
  ssize_t written;
  do {
    written = ::write(fd, data, size);
  } while (written < 0 && errno == EINTR);
  return written >= 0 && static_cast<std::size_t>(written) == size;
}

bool WriteOnce(int fd, const struct iovec* pieces, int count) {
  std::size_t size = 0;
  for (int i = 0; i < count; ++i) size += pieces[i].iov_len;
  ssize_t written;
  do {
    written = ::writev(fd, pieces, count);
  } while (written < 0 && errno == EINTR);
  return written >= 0 && static_cast<std::size_t>(written) == size;
}

}  // namespace zu_runtime
