#include "RuntimeSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>

namespace zu_runtime {

std::string LogDirectory() {
  const char* dir = std::getenv("ZU_LOG_DIR");
  return (dir != nullptr && *dir != '\0') ? std::string(dir) : std::string("/var/log/zu");
}

namespace {

// As the kernel's own bound on links in one lookup.
constexpr int kMaxLinks = 40;
constexpr mode_t kLogFileMode = 0640;

bool OwnedByUsOrRoot(const struct stat& st) { return st.st_uid == ::geteuid() || st.st_uid == 0; }

bool WritableByOthers(const struct stat& st) { return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

// A directory on the way may be shared only as /tmp is: root's, with the
// sticky bit, so that nobody else can rename or replace what we or root put
// in it. Whatever another user puts there is then refused by its owner.
bool SafeOnTheWay(const struct stat& st) {
  return S_ISDIR(st.st_mode) && OwnedByUsOrRoot(st) &&
         (!WritableByOthers(st) || (st.st_uid == 0 && (st.st_mode & S_ISVTX) != 0));
}

bool SafeLogDirectory(const struct stat& st) {
  return S_ISDIR(st.st_mode) && OwnedByUsOrRoot(st) && !WritableByOthers(st);
}

// O_PATH: a directory we may search but not list (mode 0711) is still walked.
int OpenDirectoryAt(int at, const char* name) {
  int fd;
  do {
    fd = ::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Puts the components of `path` in front of those still to walk; empty
// ones (doubled or trailing slashes) and "." are dropped.
void PushComponents(const std::string& path, std::deque<std::string>& pending) {
  std::deque<std::string> components;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    if (slash > start && path.compare(start, slash - start, ".") != 0) {
      components.emplace_back(path, start, slash - start);
    }
    start = slash + 1;
  }
  pending.insert(pending.begin(), components.begin(), components.end());
}

bool Checked(int fd, bool (*safe)(const struct stat&)) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && safe(st);
}

// Reopens the walk at the root, or at the working directory.
int Restart(bool absolute) {
  const int fd = ::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0 && !Checked(fd, SafeOnTheWay)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

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

int OpenLogDirectory(const std::string& path) {
  if (path.empty()) return -1;
  int fd = -1;
  try {
    std::deque<std::string> pending;
    PushComponents(path, pending);
    fd = Restart(path[0] == '/');
    int links = 0;
    bool refused = false;
    while (fd >= 0 && !refused && !pending.empty()) {
      const std::string name = std::move(pending.front());
      pending.pop_front();
      int next = OpenDirectoryAt(fd, name.c_str());
      if (next < 0 && errno == ENOENT) {
        refused = ::mkdirat(fd, name.c_str(), 0750) != 0 && errno != EEXIST;
        if (!refused) next = OpenDirectoryAt(fd, name.c_str());
      }
      if (!refused && next < 0 && (errno == ELOOP || errno == ENOTDIR)) {
        // Followed by hand, and only when the link is ours or root's: the
        // directory it stands in is safe, so nobody else can swap it.
        struct stat st;
        char target[PATH_MAX];
        ssize_t length = -1;
        if (++links <= kMaxLinks && ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode) &&
            OwnedByUsOrRoot(st)) {
          length = ::readlinkat(fd, name.c_str(), target, sizeof target);
        }
        refused = length <= 0 || static_cast<std::size_t>(length) >= sizeof target;
        if (refused) continue;
        const std::string resolved(target, static_cast<std::size_t>(length));
        PushComponents(resolved, pending);
        if (resolved[0] == '/') {
          ::close(fd);
          fd = Restart(true);
        }
        continue;
      }
      refused = next < 0;
      if (refused) continue;
      ::close(fd);
      fd = next;
      refused = !Checked(fd, SafeOnTheWay);
    }
    if (fd >= 0 && !refused && Checked(fd, SafeLogDirectory)) return fd;
  } catch (...) {
    // Out of memory on the way: refused like the rest.
  }
  if (fd >= 0) ::close(fd);
  return -1;
}

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
