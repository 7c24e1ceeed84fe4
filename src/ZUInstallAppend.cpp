#include "ZUInstallAppend.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zufiles {

namespace {

constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
// Each round that does not take a file follows a move by another logger, or a file created meanwhile.
constexpr int kRounds = 8;
// Entries hold the lock for one write. Anybody who can open the file (a group reader of a 0640 log) could hold
// it for ever, so the wait is bounded; then the entry is written all the same, and a short write is cut back only
// when the lock has come free by then.
constexpr long kLockWaitNanoseconds = 2000000000;
constexpr long kLongestPauseNanoseconds = 5000000;

bool Lock(int fd) {
  for (long waited = 0, pause = 20000; ::flock(fd, LOCK_EX | LOCK_NB) != 0; waited += pause) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= kLockWaitNanoseconds) return false;
    const struct timespec interval = {0, pause};
    ::nanosleep(&interval, nullptr);
    if (pause < kLongestPauseNanoseconds) pause *= 2;
  }
  return true;
}

enum class Verdict { kTaken, kLoose, kGone, kRefused };

// What an open log file is to the logger: taken, an own loose file, no longer in the directory, or refused.
Verdict Judge(int fd, mode_t mode, struct stat& held) {
  const uid_t self = ::geteuid();
  if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode) || (held.st_uid != self && held.st_uid != 0)) {
    return Verdict::kRefused;
  }
  if (held.st_nlink != 1) return held.st_nlink == 0 ? Verdict::kGone : Verdict::kRefused;
  if ((held.st_mode & 07777 & ~mode) == 0) return Verdict::kTaken;
  if (held.st_uid == self) return Verdict::kLoose;
  // Root's file, readable by group or others, stays where it is: root chose its mode.
  return (held.st_mode & (S_IWGRP | S_IWOTH)) == 0 ? Verdict::kTaken : Verdict::kRefused;
}

// Renames the loose file open as `fd`, which the lock holds, to "<name>.loose-<seconds>-<pid>" in its directory,
// while the name still names it, and narrows it to `mode`. The sticky bit marks it: a logger that opened it
// before the move finds it loose once it has the lock, and the name naming another file, so it opens the name
// again. 1 when moved, 0 when the name names another file by now, -1 when it cannot be moved.
int MoveAside(int fd, const struct stat& held, int dirFd, const char* name, mode_t mode) {
  const char* slash = std::strrchr(name, '/');
  const char* base = slash != nullptr ? slash + 1 : name;
  char path[PATH_MAX];
  char aside[NAME_MAX + 1];
  const int length = std::snprintf(aside, sizeof aside, "%s.loose-%lld-%d", base,
                                   static_cast<long long>(::time(nullptr)), static_cast<int>(::getpid()));
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof aside) return -1;
  int dir = dirFd;
  if (slash != nullptr) {
    const std::size_t parent = slash == name ? 1 : static_cast<std::size_t>(slash - name);
    if (parent >= sizeof path) return -1;
    std::memcpy(path, name, parent);
    path[parent] = '\0';
    dir = ::openat(dirFd, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return -1;
  }
  struct stat named;
  const bool same = ::fstatat(dir, base, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == held.st_dev &&
                    named.st_ino == held.st_ino;
  const bool moved = same && ::renameat2(dir, base, dir, aside, RENAME_NOREPLACE) == 0;
  if (dir != dirFd) ::close(dir);
  // After the rename, so that the name never stands for a narrowed file others still hold open.
  if (moved) ::fchmod(fd, (held.st_mode & mode) | S_ISVTX);
  return moved ? 1 : same ? -1 : 0;
}

}  // namespace

int OpenLocked(int dirFd, const char* name, mode_t mode) {
  int flags = kOpenFlags;
  for (int round = 0; round < kRounds; ++round) {
    int fd;
    do {
      fd = ::openat(dirFd, name, flags, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == EEXIST && (flags & O_EXCL) != 0) {
      flags = kOpenFlags;  // another logger made the fresh file: check that one
      continue;
    }
    if (fd < 0) return -1;
    flags = kOpenFlags;
    // The lock, then one look at what it holds. Only when another process has the lock is the file looked at
    // before waiting for it, so that a file someone else controls cannot hold the logger.
    bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    struct stat held;
    Verdict verdict = Judge(fd, mode, held);
    if (!locked && verdict != Verdict::kRefused) {
      locked = Lock(fd);
      verdict = Judge(fd, mode, held);
    }
    if (verdict == Verdict::kTaken) return fd;
    const int moved = verdict == Verdict::kLoose && locked ? MoveAside(fd, held, dirFd, name, mode) : -1;
    ::close(fd);
    if (verdict == Verdict::kGone || moved == 0) continue;  // removed or moved meanwhile: open the name again
    if (moved < 0) return -1;
    flags = kOpenFlags | O_EXCL;
  }
  return -1;
}

bool AppendLocked(int fd, const struct iovec* pieces, int count) {
  std::size_t size = 0;
  for (int i = 0; i < count; ++i) size += pieces[i].iov_len;
  ssize_t written;
  do {
    written = ::writev(fd, pieces, count);
  } while (written < 0 && errno == EINTR);
  if (written >= 0 && static_cast<std::size_t>(written) == size) return true;
  if (written > 0) {
    // O_APPEND put the piece at the end, so it ends where the offset now stands and started at the size the file
    // had before. While it is still last, and the lock keeps it so, cutting back to that size touches only it.
    // The lock is asked for again: a writer that waited in vain may have it now.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    struct stat st;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || end < written || ::fstat(fd, &st) != 0 || st.st_size != end ||
        ::ftruncate(fd, end - written) != 0) {
      while (::write(fd, "\n", 1) < 0 && errno == EINTR) {
      }
    }
  }
  return false;
}

bool Append(int fd, const struct iovec* pieces, int count) {
  Lock(fd);
  const bool whole = AppendLocked(fd, pieces, count);
  ::flock(fd, LOCK_UN);
  return whole;
}

}  // namespace zufiles
