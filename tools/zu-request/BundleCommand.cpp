// zu-request bundle: the debug logs, the console events, the pre-install file and the requests given (with what
// show --json and check --json say of them), a summary and a manifest, every text masked, in one compressed tar
// that is read back and checked for secrets before it is renamed into place.
#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "HeldSignals.h"
#include "ZUInstallMask.h"
#include "ZUInstallUtils.h"

extern char** environ;

namespace zutool {

namespace {

using nlohmann::json;

constexpr char kPreInstallFile[] = "/tmp/ZuInstallMgrPreInstall.log";
constexpr std::size_t kBlock = std::size_t{1} << 16;
constexpr std::uint64_t kWhole = UINT64_MAX;

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};
using Interrupted = HeldSignals::Interrupted;

std::string Reason(const std::string& step, int error = errno) { return step + ": " + std::strerror(error); }

std::string Utc(std::time_t when) {
  char text[32];
  struct tm parts {};
  ::gmtime_r(&when, &parts);
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

// Why a file that is not a regular one is left out.
std::string Kind(mode_t mode) {
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

bool OwnedByUsOrRoot(const struct stat& st) { return st.st_uid == ::geteuid() || st.st_uid == 0; }

// A member name keeps no control character, so a listing cannot be forged line by line.
std::string MemberName(std::string name) {
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
  }
  return name;
}

// The last component of a path that names a file.
std::string Basename(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// TIME as --since takes it: YYYY-MM-DD[ HH:MM[:SS]] local time, @EPOCH, or -N followed by s, m, h or d.
std::optional<std::time_t> ParseSince(const std::string& text, std::time_t now) {
  std::smatch match;
  if (std::regex_match(text, match, std::regex("@([0-9]{1,12})"))) return std::stoll(match[1]);
  if (std::regex_match(text, match, std::regex("-([0-9]{1,9})([smhd])"))) {
    const long long unit = match[2] == "s" ? 1 : match[2] == "m" ? 60 : match[2] == "h" ? 3600 : 86400;
    return now - std::stoll(match[1]) * unit;
  }
  if (!std::regex_match(text, match,
                        std::regex("([0-9]{4})-([0-9]{2})-([0-9]{2})(?:[ T]([0-9]{2}):([0-9]{2})(?::([0-9]{2}))?)?"))) {
    return std::nullopt;
  }
  const auto field = [&](std::size_t index) { return match[index].matched ? std::stoi(match[index]) : 0; };
  struct tm parts {};
  parts.tm_year = field(1) - 1900, parts.tm_mon = field(2) - 1, parts.tm_mday = field(3);
  parts.tm_hour = field(4), parts.tm_min = field(5), parts.tm_sec = field(6), parts.tm_isdst = -1;
  struct tm asked = parts;
  const std::time_t when = std::mktime(&parts);
  // mktime carries 2026-02-30 into March; a date it had to carry is no date.
  if (when == -1 || parts.tm_mday != asked.tm_mday || parts.tm_mon != asked.tm_mon || parts.tm_min != asked.tm_min ||
      asked.tm_hour > 23 || asked.tm_sec > 59) {
    return std::nullopt;
  }
  return when;
}

// SIZE as --max-size takes it: bytes, or K, M or G (1024-based) of them; at least one byte.
std::optional<std::uint64_t> ParseSize(const std::string& text) {
  std::smatch match;
  if (!std::regex_match(text, match, std::regex("([0-9]{1,15})([kKmMgG]?)"))) return std::nullopt;
  const std::uint64_t count = std::stoull(match[1]);
  const std::size_t shift = match[2] == "" ? 0 : std::string("kKmMgG").find(match[2].str()) / 2 * 10 + 10;
  if (count == 0 || count > UINT64_MAX >> shift) return std::nullopt;
  return count << shift;
}

// Files and bytes on one line of standard error, rewritten in place, while it is a terminal.
class Progress {
 public:
  Progress() : on_(::isatty(STDERR_FILENO) == 1) {}
  ~Progress() {
    if (shown_) std::cerr << std::endl;
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Add(std::uint64_t bytes, bool file) {
    bytes_ += bytes;
    files_ += file ? 1 : 0;
    const auto now = std::chrono::steady_clock::now();
    if (!on_ || (!file && now - last_ < std::chrono::milliseconds(100))) return;
    last_ = now;
    shown_ = true;
    std::cerr << "\rzu-request: bundle: " << files_ << " files, " << (bytes_ >> 20) << " MiB read" << std::flush;
  }

 private:
  bool on_;
  bool shown_ = false;
  std::uint64_t files_ = 0, bytes_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

class Sha256 {
 public:
  Sha256() : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
    if (context_ == nullptr || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) {
      throw Failure("cannot start SHA-256");
    }
  }
  void Update(const char* data, std::size_t size) {
    if (EVP_DigestUpdate(context_.get(), data, size) != 1) throw Failure("cannot compute SHA-256");
  }
  std::string Hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context_.get(), digest, &size) != 1) throw Failure("cannot compute SHA-256");
    std::string hex;
    for (unsigned int i = 0; i < size; ++i)
      hex += "0123456789abcdef"[digest[i] >> 4], hex += "0123456789abcdef"[digest[i] & 15];
    return hex;
  }

 private:
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_;
};

// A descriptor closed with its owner.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Creates a new file, mode 0600, under a random name starting with `prefix` in the directory `at`.
int CreateExclusive(int at, const std::string& prefix, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6];
    if (::getrandom(random, sizeof random, 0) != sizeof random) return -1;
    name = prefix;
    for (const unsigned char byte : random) name += "0123456789abcdefghijklmnopqrstuv"[byte & 31];
    const int fd = ::openat(at, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The archive under its temporary name: removed when the bundle is not committed.
class TemporaryArchive {
 public:
  TemporaryArchive(int at, const std::string& shown) : at_(at) {
    fd_ = CreateExclusive(at, ".zu-bundle-", name_);
    if (fd_ < 0) throw Failure(Reason(shown + ": cannot create a file beside it"));
  }
  ~TemporaryArchive() {
    ::close(fd_);
    if (!committed_) ::unlinkat(at_, name_.c_str(), 0);
  }
  TemporaryArchive(const TemporaryArchive&) = delete;
  TemporaryArchive& operator=(const TemporaryArchive&) = delete;

  int fd() const { return fd_; }
  // Renames the synced file to `target` in the same directory.
  void Commit(const std::string& target, const std::string& shown) {
    if (::fsync(fd_) != 0) throw Failure(Reason(shown + ": cannot write"));
    if (::renameat(at_, name_.c_str(), at_, target.c_str()) != 0) throw Failure(Reason(shown + ": cannot rename"));
    committed_ = true;
    ::fsync(at_);  // the rename itself on disk; the archive is whole either way
  }

 private:
  int at_;
  int fd_;
  std::string name_;
  bool committed_ = false;
};

// A child running this executable on a request, its standard output and error into a pipe.
class Child {
 public:
  Child(const std::vector<std::string>& args, const sigset_t& mask) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw Failure(Reason("cannot run zu-request " + args[1]));
    read_ = ends[0];
    std::vector<char*> argv;
    std::vector<std::string> texts = args;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDERR_FILENO);
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigmask(&attributes, &mask);  // the child ends at a signal, as it would if run alone
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    const int error = ::posix_spawn(&pid_, "/proc/self/exe", &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    if (error != 0) {
      pid_ = -1;
      throw Failure(Reason("cannot run zu-request " + args[1], error));
    }
  }
  ~Child() {
    ::close(read_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  int fd() const { return read_; }
  // The exit status, 128 + the signal when killed.
  int Wait() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int read_ = -1;
};

using ArchivePtr = std::unique_ptr<struct archive, int (*)(struct archive*)>;

// Writes the bundle: each text masked into an unnamed spool file beside the archive (a tar member's size comes
// before its bytes), then stored from there, its SHA-256 taken from the bytes stored.
class Writer {
 public:
  Writer(int at, int archiveFd, const std::string& extension, std::string top, const HeldSignals& held)
      : archive_(archive_write_new(), archive_write_free), top_(std::move(top)), held_(held) {
    spool_ = ::openat(at, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (spool_ < 0) {  // a file system without unnamed files: a named one, gone at once
      std::string name;
      spool_ = CreateExclusive(at, ".zu-bundle-spool-", name);
      if (spool_ >= 0) ::unlinkat(at, name.c_str(), 0);
    }
    if (spool_ < 0) throw Failure(Reason("cannot create a spool file beside the archive"));
    struct archive* a = archive_.get();
    const int filter = extension == "xz"    ? archive_write_add_filter_xz(a)
                       : extension == "zst" ? archive_write_add_filter_zstd(a)
                                            : archive_write_add_filter_gzip(a);
    if (filter != ARCHIVE_OK || archive_write_set_format_pax_restricted(a) != ARCHIVE_OK ||
        archive_write_set_bytes_in_last_block(a, 1) != ARCHIVE_OK ||
        archive_write_open_fd(a, archiveFd) != ARCHIVE_OK) {
      Check(ARCHIVE_FATAL);
    }
    Header(top_, AE_IFDIR, 0700, 0, std::time(nullptr));
  }
  ~Writer() { ::close(spool_); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  json& manifest() { return manifest_; }
  std::size_t members() const { return members_; }

  void Skip(const std::string& source, const std::string& reason) {
    manifest_["skipped"].push_back({{"source", source}, {"reason", reason}});
  }

  // Masks up to `limit` bytes read from `fd` into the spool; returns how many were read.
  std::uint64_t Mask(int fd, std::uint64_t limit, zumask::StreamMasker& masker) {
    std::vector<char> block(kBlock);
    std::uint64_t read = 0;
    std::string out;
    while (read < limit) {
      held_.Poll();
      const ssize_t count =
          ::read(fd, block.data(), static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, limit - read)));
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) throw Failure(Reason("cannot read"));
      if (count == 0) break;
      read += static_cast<std::uint64_t>(count);
      progress_.Add(static_cast<std::uint64_t>(count), false);
      masker.Feed(std::string_view(block.data(), static_cast<std::size_t>(count)), out);
      if (out.size() >= kBlock) Spool(out);
    }
    masker.Finish(out);
    Spool(out);
    return read;
  }

  // Stores the spool as `name`: only its last `keep` bytes or less, from a line start, when it holds more.
  void Store(const std::string& name, std::time_t mtime, json entry, std::optional<std::uint64_t> keep = {}) {
    const std::uint64_t from = keep && *keep < spooled_ ? LineStart(spooled_ - *keep) : 0;
    Header(top_ + '/' + name, AE_IFREG, 0600, spooled_ - from, mtime);
    Sha256 sha;
    std::vector<char> block(kBlock);
    for (std::uint64_t at = from; at < spooled_;) {
      held_.Poll();
      const ssize_t count = ::pread(spool_, block.data(), std::min<std::uint64_t>(kBlock, spooled_ - at), at);
      if (count <= 0) throw Failure(Reason("cannot read the spool file", count == 0 ? EIO : errno));
      sha.Update(block.data(), static_cast<std::size_t>(count));
      if (archive_write_data(archive_.get(), block.data(), static_cast<std::size_t>(count)) != count)
        Check(ARCHIVE_FATAL);
      at += static_cast<std::uint64_t>(count);
    }
    entry["member"] = top_ + '/' + name;
    entry["size"] = spooled_ - from;
    entry["mtime"] = Utc(mtime);
    entry["sha256"] = sha.Hex();
    if (from > 0) {
      entry["cut"] = "kept the last " + std::to_string(spooled_ - from) + " of " + std::to_string(spooled_) +
                     " masked bytes, from a line start (--max-size)";
    }
    if (name != "manifest.json") manifest_["files"].push_back(std::move(entry));
    Reset();
    progress_.Add(0, true);
  }

  // Stores a text made here.
  void StoreText(const std::string& name, std::string_view text, json entry) {
    zumask::StreamMasker masker;
    std::string out;
    masker.Feed(text, out);
    masker.Finish(out);
    Spool(out);
    entry["masked"] = masker.Masked();
    Store(name, std::time(nullptr), std::move(entry));
  }

  void Close() { Check(archive_write_close(archive_.get())); }

 private:
  void Check(int result) {
    if (result < ARCHIVE_WARN) {
      const char* why = archive_error_string(archive_.get());
      throw Failure("cannot write the archive: " + std::string(why != nullptr ? why : "unknown error"));
    }
  }

  void Header(const std::string& name, unsigned type, int mode, std::uint64_t size, std::time_t mtime) {
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), type);
    archive_entry_set_perm(entry.get(), mode);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(size));
    archive_entry_set_mtime(entry.get(), mtime, 0);
    archive_entry_set_uid(entry.get(), 0);
    archive_entry_set_gid(entry.get(), 0);
    archive_entry_set_uname(entry.get(), "root");
    archive_entry_set_gname(entry.get(), "root");
    Check(archive_write_header(archive_.get(), entry.get()));
    members_ += 1;
  }

  void Spool(std::string& out) {
    for (std::size_t done = 0; done < out.size();) {
      const ssize_t count = ::write(spool_, out.data() + done, out.size() - done);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) throw Failure(Reason("cannot write the spool file"));
      done += static_cast<std::size_t>(count);
    }
    spooled_ += out.size();
    out.clear();
  }

  void Reset() {
    if (::ftruncate(spool_, 0) != 0 || ::lseek(spool_, 0, SEEK_SET) != 0)
      throw Failure(Reason("cannot reuse the spool"));
    spooled_ = 0;
  }

  // Where the first whole line at or after `from` starts; the end when none does.
  std::uint64_t LineStart(std::uint64_t from) {
    if (from == 0) return 0;
    char block[4096];
    for (std::uint64_t at = from - 1; at < spooled_;) {
      const ssize_t count = ::pread(spool_, block, std::min<std::uint64_t>(sizeof block, spooled_ - at), at);
      if (count <= 0) throw Failure(Reason("cannot read the spool file", count == 0 ? EIO : errno));
      if (const void* feed = std::memchr(block, '\n', static_cast<std::size_t>(count))) {
        return at + static_cast<std::uint64_t>(static_cast<const char*>(feed) - block) + 1;
      }
      at += static_cast<std::uint64_t>(count);
    }
    return spooled_;
  }

  ArchivePtr archive_;
  std::string top_;
  const HeldSignals& held_;
  int spool_ = -1;
  std::uint64_t spooled_ = 0;
  std::size_t members_ = 0;
  json manifest_ = {{"files", json::array()}, {"skipped", json::array()}};
  Progress progress_;
};

struct Limits {
  std::optional<std::time_t> since;
  std::optional<std::uint64_t> maxSize;
};

// Stores the file `name` in the directory `at` as a snapshot: regular files with one name, ours or root's, read up to
// the size they had when opened, without a lock, so that no writer waits; anything else is listed as skipped.
void AddLog(Writer& writer, int at, const std::string& name, const std::string& source, const std::string& member,
            const Limits& limits, uid_t owner) {
  struct stat st {};
  if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return writer.Skip(source, std::strerror(errno));
  // Opening a device can act on it; only what was a regular file a moment ago is opened.
  if (!S_ISREG(st.st_mode)) return writer.Skip(source, Kind(st.st_mode));
  const Descriptor fd(::openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return writer.Skip(source, errno == ELOOP ? "a symbolic link" : std::strerror(errno));
  if (::fstat(fd.get(), &st) != 0) return writer.Skip(source, std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return writer.Skip(source, Kind(st.st_mode));
  if (st.st_nlink != 1) return writer.Skip(source, "has " + std::to_string(st.st_nlink) + " names");
  if (!OwnedByUsOrRoot(st) && st.st_uid != owner) return writer.Skip(source, "owned by another user");
  if (limits.since && st.st_mtime < *limits.since) return writer.Skip(source, "last changed before --since");
  const auto size = static_cast<std::uint64_t>(st.st_size);
  zumask::StreamMasker masker;
  std::uint64_t read = 0;
  try {
    read = writer.Mask(fd.get(), size, masker);
  } catch (const Failure& failure) {
    throw Failure(source + ": " + failure.what());
  }
  json entry = {{"source", source}, {"read", read}, {"masked", masker.Masked()}};
  if (read < size)
    entry["shrank"] = "shrank while read: " + std::to_string(read) + " of " + std::to_string(size) + " bytes";
  // The tail is cut from the masked text: a value opened before the cut is masked as the whole file masks it.
  writer.Store(member, st.st_mtime, std::move(entry), limits.maxSize);
}

// The debug logs and the console events: every *.log in the log directory, and the loggers' files moved aside
// (*.log.loose-*). A directory others may write to is not read, as the logger does not write to it.
void AddLogDirectory(Writer& writer, const Limits& limits) {
  const char* variable = std::getenv("ZU_LOG_DIR");
  const std::string directory = variable != nullptr && *variable != '\0' ? variable : "/var/log/zu";
  const Descriptor at(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  if (at.get() < 0 || ::fstat(at.get(), &st) != 0) return writer.Skip(directory, std::strerror(errno));
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return writer.Skip(directory, "writable by group or others");
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(::fcntl(at.get(), F_DUPFD_CLOEXEC, 0)), ::closedir);
  if (!listing) return writer.Skip(directory, std::strerror(errno));
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string name = entry->d_name;
    const bool log = name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0;
    if (log || name.find(".log.loose-") != std::string::npos) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    AddLog(writer, at.get(), name, directory + '/' + name, "logs/" + MemberName(name), limits, st.st_uid);
  }
}

// A request as it is (masked), and what show --json and check --json say of it, from this same executable run as
// a child so that each command stays its own.
void AddRequest(Writer& writer, const std::string& path, std::size_t index, const HeldSignals& held) {
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) throw Failure(Reason(path + ": cannot read"));
  if (!S_ISREG(st.st_mode)) throw Failure(path + ": cannot read: " + Kind(st.st_mode));
  const std::string member = "requests/" + std::to_string(index) + '-' + MemberName(Basename(path));
  zumask::StreamMasker masker;
  const std::uint64_t read = writer.Mask(fd.get(), static_cast<std::uint64_t>(st.st_size), masker);
  writer.Store(member, st.st_mtime, {{"source", path}, {"read", read}, {"masked", masker.Masked()}});
  for (const std::string command : {"show", "check"}) {
    Child child({"zu-request", command, "--json", "--", path}, held.Previous());
    zumask::StreamMasker output;
    writer.Mask(child.fd(), kWhole, output);
    const int status = child.Wait();
    writer.Store(
        member + '.' + command + ".json", std::time(nullptr),
        {{"source", "zu-request " + command + " --json " + path}, {"status", status}, {"masked", output.Masked()}});
  }
}

// The tool's and the library's versions, the OS release and the ZU_* variables.
std::string Summary(const std::string& host, std::time_t now) {
  std::string text = std::string("zu-request ") + ZU_VERSION + '\n';
  Dl_info library{};
  char resolved[PATH_MAX];
  // The library's version is in the name of the file that is loaded, whatever its link is called.
  if (::dladdr(reinterpret_cast<void*>(&ConvertStringToClientSetup), &library) != 0 && library.dli_fname != nullptr) {
    text += "library: " + Basename(::realpath(library.dli_fname, resolved) != nullptr ? resolved : library.dli_fname);
    text += '\n';
  }
  text += "created: " + Utc(now) + "\nhost: " + host + "\n\n/etc/os-release:\n";
  std::string release, reason;
  text += ReadInput("/etc/os-release", release, reason, kBlock) ? release : "(" + reason + ")\n";
  if (text.back() != '\n') text += '\n';
  text += "\nenvironment:\n";
  std::vector<std::string> variables;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (std::strncmp(*variable, "ZU_", 3) == 0) variables.emplace_back(*variable);
  }
  std::sort(variables.begin(), variables.end());
  for (const std::string& variable : variables) {
    zumask::AppendEscaped(text, variable);  // a value cannot start a line of its own
    text += '\n';
  }
  return text;
}

// Reads the archive back and feeds each member through a fresh masker, as redact --check would: throws on a member
// that masking would still change, and on an archive that does not read back whole.
void Recheck(int fd, std::size_t members, const HeldSignals& held) {
  ArchivePtr reader(archive_read_new(), archive_read_free);
  struct archive* a = reader.get();
  const auto fail = [a]() {
    const char* why = archive_error_string(a);
    return Failure("cannot read the archive back: " + std::string(why != nullptr ? why : "incomplete"));
  };
  if (::lseek(fd, 0, SEEK_SET) != 0) throw Failure(Reason("cannot read the archive back"));
  if (archive_read_support_filter_all(a) != ARCHIVE_OK || archive_read_support_format_tar(a) != ARCHIVE_OK ||
      archive_read_open_fd(a, fd, kBlock) != ARCHIVE_OK) {
    throw fail();
  }
  std::vector<char> block(kBlock);
  std::string out;
  std::size_t seen = 0;
  archive_entry* entry = nullptr;
  int result;
  while ((result = archive_read_next_header(a, &entry)) == ARCHIVE_OK) {
    ++seen;
    zumask::StreamMasker masker;
    for (la_ssize_t count; (count = archive_read_data(a, block.data(), block.size())) != 0; out.clear()) {
      held.Poll();
      if (count < 0) throw fail();
      masker.Feed(std::string_view(block.data(), static_cast<std::size_t>(count)), out);
    }
    masker.Finish(out);
    out.clear();
    if (masker.Masked() > 0) {
      throw Failure(std::string(archive_entry_pathname(entry)) +
                    " would still have a value masked; no archive written");
    }
  }
  if (result != ARCHIVE_EOF || seen != members) throw fail();
}

// The host name as a file name may carry it.
std::string HostName() {
  char text[HOST_NAME_MAX + 1] = {};
  if (::gethostname(text, sizeof text - 1) != 0 || text[0] == '\0') return "localhost";
  std::string host = text;
  for (char& c : host) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
  }
  return host;
}

}  // namespace

int Bundle(const Args& args) {
  Parsed parsed;
  if (const std::optional<int> exit =
          ParseOptions("bundle", args, {{"output", true, 'o'}, {"since", true}, {"max-size", true}}, parsed)) {
    return *exit;
  }
  const std::time_t now = std::time(nullptr);
  Limits limits;
  if (parsed.options.count("since") != 0 && !(limits.since = ParseSince(parsed.options["since"], now))) {
    return UsageError("bundle: --since: '" + parsed.options["since"] +
                      "' is not a time (YYYY-MM-DD[ HH:MM[:SS]], @EPOCH or -N followed by s, m, h or d)");
  }
  if (parsed.options.count("max-size") != 0 && !(limits.maxSize = ParseSize(parsed.options["max-size"]))) {
    return UsageError("bundle: --max-size: '" + parsed.options["max-size"] + "' is not a size (N, NK, NM or NG)");
  }
  for (const std::string& path : parsed.operands) {
    if (path == "-") return UsageError("bundle: a REQUEST is read three times, so it cannot be standard input");
  }
  const std::string host = HostName();
  std::string target = parsed.options["output"];
  if (target.empty()) {
    char stamp[32];
    struct tm parts {};
    ::localtime_r(&now, &parts);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
    target = "zu-bundle-" + host + '-' + stamp + ".tar.gz";
  }
  const std::size_t slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::smatch match;
  if (!std::regex_match(name, match, std::regex("(.*[^.].*)\\.tar\\.(gz|xz|zst)"))) {
    return UsageError("bundle: -o: '" + target + "' does not end in .tar.gz, .tar.xz or .tar.zst");
  }
  // A full disk or a file size limit is a write error to report, not a death that leaves a temporary file behind.
  std::signal(SIGXFSZ, SIG_IGN);
  const Descriptor at(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (at.get() < 0) return Fail(Reason("bundle: " + target + ": cannot open its directory"));
  try {
    const HeldSignals held;  // released last: the temporary archive is gone before a held signal is let through
    TemporaryArchive archive(at.get(), target);
    std::size_t members = 0;
    {
      Writer writer(at.get(), archive.fd(), match[2], MemberName(match[1]), held);
      AddLogDirectory(writer, limits);
      AddLog(writer, AT_FDCWD, kPreInstallFile, kPreInstallFile, "preinstall/ZuInstallMgrPreInstall.log", limits,
             ::geteuid());
      for (std::size_t index = 0; index < parsed.operands.size(); ++index) {
        AddRequest(writer, parsed.operands[index], index + 1, held);
      }
      writer.StoreText("summary.txt", Summary(host, now), {{"source", "summary"}});
      json& manifest = writer.manifest();
      manifest["bundle"] = MemberName(match[1]);
      manifest["created"] = Utc(now);
      manifest["tool"] = std::string("zu-request ") + ZU_VERSION;
      writer.StoreText("manifest.json", manifest.dump(2) + '\n', {});
      writer.Close();
      members = writer.members();
    }
    Recheck(archive.fd(), members, held);
    archive.Commit(name, target);
  } catch (const Interrupted&) {
    // The archive is gone and the signal let through by now; this is reached only when it is ignored.
    return Fail("bundle: interrupted; no archive written");
  } catch (const Failure& failure) {
    return Fail(std::string("bundle: ") + failure.what());
  }
  std::cout << target << '\n';
  std::cout.flush();
  return std::cout ? kOk : Fail("cannot write to standard output");
}

}  // namespace zutool
