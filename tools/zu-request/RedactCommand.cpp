// zu-request redact: any text (a debug log, the pre-install file, a saved
// request, a support bundle) with every secret masked by the library's own
// text-path masking, every other byte as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "Commands.h"
#include "ZUInstallMask.h"

namespace zutool {

namespace {

// A value may run to the end of the text, so each file is masked whole; a
// log larger than this is refused rather than read without end.
constexpr std::size_t kMaxTextBytes = std::size_t{1} << 30;

// Signals that would end the process between creating the temporary file and
// renaming it; held back until the file is renamed or removed.
constexpr int kHeldSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF};

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t count = ::write(fd, text.data(), text.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

std::string Reason(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

// Blocks kHeldSignals for its lifetime.
class HeldSignals {
 public:
  HeldSignals() {
    sigset_t held;
    sigemptyset(&held);
    for (const int number : kHeldSignals) sigaddset(&held, number);
    ::sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~HeldSignals() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

 private:
  sigset_t previous_;
};

// Replaces the file `path` that `original` describes with `text`: a new file
// in the same directory (created exclusively, given the original's owner and
// mode before any byte is written), synced and renamed over the original, so
// that readers see the old file or the new one, never a part of either.
// Returns why it failed, empty on success; on failure the original is as it
// was and the new file is gone.
std::string Replace(const std::string& path, const struct stat& original, std::string_view text) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::string temporary = directory + "/.zu-redact-XXXXXX";
  const HeldSignals held;
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return Reason("cannot create a file beside it");
  std::string why;
  if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
    why = Reason("cannot give the new file the same owner");
  } else if (::fchmod(fd, original.st_mode & 07777) != 0) {
    why = Reason("cannot give the new file the same mode");
  } else if (!WriteAll(fd, text)) {
    why = Reason("cannot write");
  } else if (::fsync(fd) != 0) {
    why = Reason("cannot write");
  }
  if (::close(fd) != 0 && why.empty()) why = Reason("cannot write");
  // The name must still be the file that was read: a file swapped in since keeps its bytes.
  struct stat now {};
  if (why.empty() &&
      (::lstat(path.c_str(), &now) != 0 || now.st_dev != original.st_dev || now.st_ino != original.st_ino)) {
    why = "replaced by another file while it was redacted; left alone";
  }
  if (why.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) why = Reason("cannot replace");
  if (!why.empty()) {
    ::unlink(temporary.c_str());
    return why;
  }
  const int parent = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent >= 0) {
    ::fsync(parent);  // the rename itself on disk; the file is whole either way
    ::close(parent);
  }
  return "";
}

// Redacts one file in place; returns its exit status.
int RedactInPlace(const std::string& path) {
  // A link is not followed: renaming over it would replace the link, not its file. A FIFO must not block the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return Fail(path + ": cannot read: " + (errno == ELOOP ? "a symbolic link" : std::strerror(errno)));
  }
  struct stat original {};
  std::string text, reason;
  const bool read = ::fstat(fd, &original) == 0 && S_ISREG(original.st_mode) && original.st_nlink == 1 &&
                    ReadDescriptor(fd, text, reason, kMaxTextBytes);
  const int readError = errno;
  ::close(fd);
  if (!read) {
    if (!reason.empty()) return Fail(path + ": cannot read: " + reason);
    if (!S_ISREG(original.st_mode)) return Fail(path + ": not a regular file");
    if (original.st_nlink != 1) {
      return Fail(path + ": has " + std::to_string(original.st_nlink) +
                  " names; replacing one would leave the secrets under the others");
    }
    return Fail(path + ": cannot read: " + std::strerror(readError));
  }
  const std::string masked = zumask::MaskText(text);
  if (masked == text) return kOk;  // nothing to mask: the file stays as it is, inode and times included
  const std::string why = Replace(path, original, masked);
  return why.empty() ? kOk : Fail(path + ": " + why);
}

}  // namespace

int Redact(const Args& args) {
  Parsed parsed;
  if (const std::optional<int> exit = ParseOptions("redact", args, {{"in-place", false}}, parsed)) return *exit;
  if (parsed.operands.empty()) return UsageError("redact: missing FILE");
  const bool inPlace = parsed.options.count("in-place") != 0;
  for (const std::string& path : parsed.operands) {
    if (inPlace && path == "-") return UsageError("redact: --in-place cannot replace standard input");
  }
  // A full disk or a file size limit is a write error to report, not a death
  // that leaves a temporary file behind.
  std::signal(SIGXFSZ, SIG_IGN);
  int status = kOk;
  for (const std::string& path : parsed.operands) {
    if (inPlace) {
      status = std::max(status, RedactInPlace(path));
      continue;
    }
    std::string text, reason;
    if (!ReadInput(path, text, reason, kMaxTextBytes)) {
      status = Fail(ShownName(path) + ": cannot read: " + reason);
      continue;
    }
    std::cout << zumask::MaskText(text);
  }
  std::cout.flush();
  return std::cout ? status : Fail("cannot write to standard output");
}

}  // namespace zutool
