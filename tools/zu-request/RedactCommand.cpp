// zu-request redact: any text (a debug log, the pre-install file, a saved
// request, a support bundle) with every secret masked by the library's own
// text-path masking, every other byte as it was. Read and written in pieces,
// so a log of any size costs the same memory.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "HeldSignals.h"
#include "ZUInstallDirectory.h"
#include "ZUInstallMask.h"

namespace zutool {

namespace {

constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

constexpr char kStopTheWriter[] = "stop the writer, or redact to standard output instead";

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t count = ::write(fd, text.data(), text.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

// One read(2), retried on EINTR.
ssize_t ReadSome(int fd, char* buffer, std::size_t size) {
  ssize_t count;
  do {
    count = ::read(fd, buffer, size);
  } while (count < 0 && errno == EINTR);
  return count;
}

std::string Reason(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

// Masks what is left of `fd` into `sink` piece by piece; false (errno set) on
// a read error, after masking what was read.
template <class Sink>
bool MaskStream(int fd, zumask::StreamMasker& masker, Sink sink, std::uint64_t* bytes = nullptr,
                const volatile std::sig_atomic_t* stop = nullptr) {
  std::vector<char> buffer(kPieceBytes);
  std::string out;
  out.reserve(kPieceBytes + 64);
  for (;;) {
    const ssize_t count = ReadSome(fd, buffer.data(), buffer.size());
    if (count < 0) {
      const int error = errno;
      masker.Finish(out);
      sink(out);
      errno = error;
      return false;
    }
    if (count == 0 || (stop != nullptr && *stop != 0)) break;
    if (bytes != nullptr) *bytes += static_cast<std::uint64_t>(count);
    masker.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(count)), out);
    if (!sink(out)) return false;
    out.clear();
  }
  masker.Finish(out);
  return sink(out);
}

// --check: where each value it would mask starts, never the value.
int CheckOne(const std::string& path) {
  const std::string shown = ShownName(path);
  const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Fail(shown + ": cannot read: " + std::strerror(errno));
  zumask::StreamMasker masker;
  std::vector<zumask::Finding> findings;
  masker.Record(&findings);
  const auto report = [&](const std::string&) {
    for (const zumask::Finding& f : findings) {
      std::cout << shown << ':' << f.line << ':' << f.column << ": secret value of " << f.name << '\n';
    }
    findings.clear();
    return true;
  };
  const bool read = MaskStream(fd, masker, report);
  const int error = errno;
  if (fd != STDIN_FILENO) ::close(fd);
  if (!read) return Fail(shown + ": cannot read: " + std::strerror(error));
  return masker.Masked() != 0 ? kFailed : kOk;
}

int RedactToStdout(const std::string& path) {
  const std::string shown = ShownName(path);
  const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Fail(shown + ": cannot read: " + std::strerror(errno));
  zumask::StreamMasker masker;
  bool written = true;
  const bool read =
      MaskStream(fd, masker, [&written](const std::string& out) { return written = WriteAll(STDOUT_FILENO, out); });
  const int error = errno;
  if (fd != STDIN_FILENO) ::close(fd);
  if (!written) return Fail("cannot write to standard output: " + std::string(std::strerror(error)));
  return read ? kOk : Fail(shown + ": cannot read: " + std::strerror(error));
}

// Set by SIGIO, which the kernel sends when another process opens the leased
// file for writing (or truncates it).
volatile std::sig_atomic_t leaseBroken = 0;
extern "C" void OnLeaseBreak(int) { leaseBroken = 1; }

// A read lease on the file for the lifetime: while it is held, nobody has
// the file open for writing, and whoever opens it so breaks it. Taking one
// fails with EAGAIN while a writer has it open, and with EINVAL on a file
// system that has no leases.
class ReadLease {
 public:
  explicit ReadLease(int fd) : fd_(fd) {
    struct sigaction on {};
    on.sa_handler = OnLeaseBreak;
    sigemptyset(&on.sa_mask);
    ::sigaction(SIGIO, &on, &previous_);
    leaseBroken = 0;
    held_ = ::fcntl(fd_, F_SETLEASE, F_RDLCK) == 0;
    error_ = errno;
  }
  ~ReadLease() {
    Release();
    ::sigaction(SIGIO, &previous_, nullptr);
  }
  ReadLease(const ReadLease&) = delete;
  ReadLease& operator=(const ReadLease&) = delete;

  bool Held() const { return held_; }
  int Error() const { return error_; }
  // Still whole: no writer opened the file since it was taken.
  bool Whole() const { return held_ && leaseBroken == 0 && ::fcntl(fd_, F_GETLEASE) == F_RDLCK; }
  // Lets a writer whose open broke the lease go on at once.
  void Release() {
    if (held_) ::fcntl(fd_, F_SETLEASE, F_UNLCK);
    held_ = false;
  }

 private:
  int fd_;
  bool held_ = false;
  int error_ = 0;
  struct sigaction previous_ {};
};

// A name for the new file beside the original: a dot file no other run picks.
std::string TemporaryName() {
  unsigned char random[8] = {};
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    const auto now = static_cast<unsigned long>(::getpid()) ^ static_cast<unsigned long>(::clock());
    std::memcpy(random, &now, std::min(sizeof now, sizeof random));
  }
  std::string name = ".zu-redact-";
  for (const unsigned char byte : random) name += "0123456789abcdef"[byte & 0xF], name += "ghijklmnopqrstuv"[byte >> 4];
  return name;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Closes a descriptor when it goes out of scope.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Redacts `name` of the directory `dir` in place: the new file is created
// beside it exclusively (given the original's owner and mode before any byte
// is written), written as the original is read, synced and swapped in, all
// relative to `dir`, so no directory swapped on the path since it was opened
// can lead the file elsewhere. Refused, the original as it was, when another
// process has it open for writing or opens it so meanwhile (a read lease
// tells), or when it changed in any other way. Returns why, empty on success.
std::string Replace(int dir, const std::string& name, bool& changed) {
  // A link is not followed: renaming over it would replace the link, not its file. A FIFO must not block the open.
  const Descriptor file{::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
  if (file.fd < 0) return std::string("cannot read: ") + (errno == ELOOP ? "a symbolic link" : std::strerror(errno));
  struct stat original {};
  if (::fstat(file.fd, &original) != 0) return Reason("cannot read");
  if (!S_ISREG(original.st_mode)) return "not a regular file";
  if (original.st_nlink != 1) {
    return "has " + std::to_string(original.st_nlink) +
           " names; replacing one would leave the secrets under the others";
  }
  ReadLease lease(file.fd);
  if (!lease.Held()) {
    if (lease.Error() == EAGAIN) return std::string("another process has it open for writing: ") + kStopTheWriter;
    // No lease (a file system without them, or a file of another user without the right to lease it): nothing
    // would tell a writer, whose entries a replaced file would lose.
    return "cannot tell whether another process writes it (no lease: " + std::string(std::strerror(lease.Error())) +
           "): " + kStopTheWriter;
  }
  const HeldSignals held;
  const std::string temporary = TemporaryName();
  const Descriptor fresh{
      ::openat(dir, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR)};
  if (fresh.fd < 0) return Reason("cannot create a file beside it");
  std::string why;
  zumask::StreamMasker masker;
  std::uint64_t read = 0;
  if (::fchown(fresh.fd, original.st_uid, original.st_gid) != 0) {
    why = Reason("cannot give the new file the same owner");
  } else if (::fchmod(fresh.fd, original.st_mode & 07777) != 0) {
    why = Reason("cannot give the new file the same mode");
  } else if (!MaskStream(
                 file.fd, masker, [&fresh](const std::string& out) { return WriteAll(fresh.fd, out); }, &read,
                 &leaseBroken)) {
    why = Reason("cannot write");  // a read error lands here too, with its own errno
  } else if (masker.Masked() != 0 && ::fsync(fresh.fd) != 0) {
    why = Reason("cannot write");
  }
  // What was read must still be the whole file, and the name still the file read.
  struct stat now {
  }, named{};
  if (why.empty() && !lease.Whole()) {
    why = std::string("another process opened it for writing meanwhile: ") + kStopTheWriter;
  } else if (why.empty() &&
             (::fstat(file.fd, &now) != 0 || static_cast<std::uint64_t>(now.st_size) != read ||
              now.st_mtim.tv_sec != original.st_mtim.tv_sec || now.st_mtim.tv_nsec != original.st_mtim.tv_nsec)) {
    why = std::string("changed while it was redacted; left as it is: ") + kStopTheWriter;
  } else if (why.empty() &&
             (::fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(named, original))) {
    why = "replaced by another file while it was redacted; left alone";
  }
  changed = why.empty() && masker.Masked() != 0;
  if (!changed) {
    ::unlinkat(dir, temporary.c_str(), 0);
    return why;  // nothing to mask: the file stays as it is, inode and times included
  }
  // Swapped rather than renamed over, so that a writer whose open broke the lease in between finds the original
  // back under its name; renamed where the file system cannot swap.
  bool swapped = ::renameat2(dir, temporary.c_str(), dir, name.c_str(), RENAME_EXCHANGE) == 0;
  if (!swapped && errno != EINVAL && errno != ENOSYS) why = Reason("cannot replace");
  if (why.empty() && !swapped && ::renameat(dir, temporary.c_str(), dir, name.c_str()) != 0) {
    why = Reason("cannot replace");
  }
  if (swapped && !lease.Whole()) {
    if (::renameat2(dir, temporary.c_str(), dir, name.c_str(), RENAME_EXCHANGE) != 0) {
      return "another process opened it for writing as it was replaced; its entries since are in " + temporary;
    }
    why = std::string("another process opened it for writing meanwhile: ") + kStopTheWriter;
  }
  if (swapped || !why.empty()) ::unlinkat(dir, temporary.c_str(), 0);
  if (why.empty()) {
    const Descriptor sync{::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (sync.fd >= 0) ::fsync(sync.fd);  // the rename itself on disk; the file is whole either way
  }
  changed = why.empty();
  return why;
}

// Redacts one file in place; returns its exit status.
int RedactInPlace(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return Fail(path + ": not a regular file");
  // Walked as the logger walks its directory, and used through this one descriptor from then on.
  const Descriptor dir{zufiles::OpenDirectory(directory, zufiles::kLastMayBeShared)};
  if (dir.fd < 0) {
    return Fail(path + ": cannot use its directory: missing, or a directory or link on the way that another " +
                "user can change");
  }
  bool changed = false;
  const std::string why = Replace(dir.fd, name, changed);
  return why.empty() ? kOk : Fail(path + ": " + why);
}

}  // namespace

int Redact(const Args& args) {
  Parsed parsed;
  if (const std::optional<int> exit = ParseOptions("redact", args, {{"in-place", false}, {"check", false}}, parsed)) {
    return *exit;
  }
  if (parsed.operands.empty()) return UsageError("redact: missing FILE");
  const bool inPlace = parsed.options.count("in-place") != 0;
  const bool check = parsed.options.count("check") != 0;
  if (inPlace && check) return UsageError("redact: --in-place and --check exclude each other");
  if (std::count(parsed.operands.begin(), parsed.operands.end(), "-") > 1) {
    return UsageError("redact: standard input cannot be read twice");
  }
  for (const std::string& path : parsed.operands) {
    if (inPlace && path == "-") return UsageError("redact: --in-place cannot replace standard input");
  }
  // A full disk or a file size limit is a write error to report, not a death
  // that leaves a temporary file behind; a closed pipe the same.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  int status = kOk;
  for (const std::string& path : parsed.operands) {
    status = std::max(status, check ? CheckOne(path) : inPlace ? RedactInPlace(path) : RedactToStdout(path));
  }
  std::cout.flush();
  return std::cout ? status : Fail("cannot write to standard output");
}

}  // namespace zutool
