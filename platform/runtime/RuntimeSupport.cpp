#include "RuntimeSupport.h"

#include "ZUInstallDirectory.h"

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

constexpr mode_t kLogFileMode = 0640;

bool OwnedByUsOrRoot(const struct stat& st) { return st.st_uid == ::geteuid() || st.st_uid == 0; }

bool WritableByOthers(const struct stat& st) { return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

// Makes an open log file ours to append to: a regular file with one link, of
// the effective user or root. Group and other bits beyond `mode` (an older
// version's 0644, a umask of 002) are taken away when the file is ours; a
// file others could write may already be held open by them, so it is refused.
bool TakeLogFile(int fd, mode_t mode) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || !OwnedByUsOrRoot(st)) return false;
  if ((st.st_mode & 07777 & ~mode) == 0) return true;
  if ((st.st_mode & S_IWOTH) != 0 || st.st_uid != ::geteuid()) return !WritableByOthers(st);
  return ::fchmod(fd, st.st_mode & mode) == 0;
}

// An entry written in part: cut it off while nothing follows it, else end
// its line, so the next entry starts on a line of its own. With the disk
// full only the cut can succeed.
void EndPartialEntry(int fd, std::size_t written) {
  const off_t end = ::lseek(fd, 0, SEEK_CUR);
  struct stat st;
  if (end >= static_cast<off_t>(written) && ::fstat(fd, &st) == 0 && st.st_size == end &&
      ::ftruncate(fd, end - static_cast<off_t>(written)) == 0) {
    return;
  }
  ssize_t ended;
  do {
    ended = ::write(fd, "\n", 1);
  } while (ended < 0 && errno == EINTR);
}

bool Whole(int fd, ssize_t written, std::size_t size) {
  if (written >= 0 && static_cast<std::size_t>(written) == size) return true;
  if (written > 0) EndPartialEntry(fd, static_cast<std::size_t>(written));
  return false;
}

}  // namespace

int OpenLogDirectory(const std::string& path) { return zufiles::OpenDirectory(path, zufiles::kCreateMissing); }

int OpenAppend(const std::string& directory, const std::string& name) {
  const int dirFd = OpenLogDirectory(directory);
  if (dirFd < 0) return -1;
  // O_NONBLOCK keeps a FIFO planted at the path from blocking the open; it
  // does nothing to a regular file.
  int fd;
  do {
    fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                  kLogFileMode);
  } while (fd < 0 && errno == EINTR);
  ::close(dirFd);
  if (fd >= 0 && !TakeLogFile(fd, kLogFileMode)) {
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
  return Whole(fd, written, size);
}

bool WriteOnce(int fd, const struct iovec* pieces, int count) {
  std::size_t size = 0;
  for (int i = 0; i < count; ++i) size += pieces[i].iov_len;
  ssize_t written;
  do {
    written = ::writev(fd, pieces, count);
  } while (written < 0 && errno == EINTR);
  return Whole(fd, written, size);
}

}  // namespace zu_runtime
