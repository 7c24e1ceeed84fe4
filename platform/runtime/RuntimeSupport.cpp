#include "RuntimeSupport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>

#include "ZUInstallAppend.h"

namespace zu_runtime {

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
