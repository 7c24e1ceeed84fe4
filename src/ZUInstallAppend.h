// Appending to log files that many processes and users share: the pre-install file, the debug logs and
// ConsoleEvents.log. Every writer of these files takes an advisory lock (flock) on the open file for the append
// and its repair, so that a repair only ever touches the writer's own bytes. Internal to the library and the
// runtime stand-in; not exported.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>

namespace zufiles {

// Opens `name` (relative to `dirFd`, which may be AT_FDCWD) for appending, creating it at `mode`, and returns the
// descriptor holding flock(LOCK_EX) on it; -1 with no lock when it is refused. Taken: a regular file with one link,
// owned by the effective user with no mode bit beyond `mode`, or
// owned by root and writable by neither group nor others. An own file with mode bits beyond `mode` may be held
// open by others (an older version's 0644, a umask of 002 or 0): it is renamed in its directory to
// "<name>.loose-<unix seconds>-<pid>" (never replacing a file), narrowed to `mode` with its content kept and
// marked with the sticky bit (so that loggers that opened it before open the name again), and a fresh file is
// created with O_EXCL. Symbolic links, FIFOs and another user's files are refused. The lock is waited for at most
// about two seconds (anybody who can open a file can lock it); a file taken without it is returned all the same.
int OpenLocked(int dirFd, const char* name, mode_t mode);

// Appends the pieces with one writev(2) while the caller holds the lock. A short write (the disk full) is cut
// back to the size the file had before it, so its piece never stays; when the cut fails, the piece's line is
// ended instead. True when the entry was written whole.
bool AppendLocked(int fd, const struct iovec* pieces, int count);

// The same for a descriptor held open between entries: takes the lock for the append and releases it.
bool Append(int fd, const struct iovec* pieces, int count);

}  // namespace zufiles
