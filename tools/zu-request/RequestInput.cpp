// Reading requests for the subcommands, and the tool's error lines.
#include "Commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "ZUInstallUtils.h"

namespace zutool {

namespace {

// The request loader's text when the parser refused the document; only then
// does the parser's position belong to this file.
constexpr char kUnserializeFailed[] = "Failed to unserialize XML";
// Reads asked of the system at most at a time.
constexpr std::size_t kMaxRead = std::size_t{1} << 20;

// EFBIG when `fd` is a regular file holding more than `cap` bytes past its offset.
int SizeError(int fd, std::size_t cap) {
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return 0;
  const off_t offset = std::max<off_t>(::lseek(fd, 0, SEEK_CUR), 0);
  return status.st_size > offset && static_cast<unsigned long long>(status.st_size - offset) > cap ? EFBIG : 0;
}

}  // namespace

Input::Input(const std::string& path, std::size_t cap)
    : fd_(path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC)), owned_(path != "-"), cap_(cap) {
  error_ = fd_ < 0 ? errno : SizeError(fd_, cap_);
}

Input::Input(int fd, std::size_t cap) : fd_(fd), owned_(false), cap_(cap), error_(SizeError(fd, cap)) {}

Input::~Input() {
  if (owned_ && fd_ >= 0) ::close(fd_);
}

std::ptrdiff_t Input::Read(char* buffer, std::size_t room) {
  if (error_ != 0) return -1;
  std::size_t got = 0;
  while (got < room) {
    const ssize_t count = ::read(fd_, buffer + got, std::min(room - got, kMaxRead));
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return -1;
    }
    got += static_cast<std::size_t>(count);
    // Counted as it comes, so an endless input is refused with nothing kept.
    if (got > cap_ - total_) {
      error_ = EFBIG;
      return -1;
    }
  }
  total_ += got;
  return static_cast<std::ptrdiff_t>(got);
}

std::string Input::reason() const {
  return error_ == EFBIG ? "larger than " + std::to_string(cap_ >> 20) + " MiB" : std::strerror(error_);
}

std::string ShownName(const std::string& path) { return path == "-" ? "<stdin>" : path; }

namespace {

bool ReadWhole(Input& input, std::string& text, std::string& reason) {
  text.clear();
  char block[65536];
  for (;;) {
    const std::ptrdiff_t count = input.Read(block, sizeof block);
    if (count == 0) return true;
    if (count < 0) {
      reason = input.reason();
      return false;
    }
    text.append(block, static_cast<std::size_t>(count));
  }
}

}  // namespace

bool ReadDescriptor(int fd, std::string& text, std::string& reason, std::size_t cap) {
  Input input(fd, cap);
  return ReadWhole(input, text, reason);
}

bool ReadInput(const std::string& path, std::string& text, std::string& reason, std::size_t cap) {
  Input input(path, cap);
  return ReadWhole(input, text, reason);
}

bool LoadRequest(const std::string& path, ZUInstallManager::ClientSetup& request) {
  const std::string shown = ShownName(path);
  Input input(path);
#ifdef ZU_MESSAGES_STREAM
  // The stand-in parses as it reads: memory follows the document, not the cap.
  (void)CNMessageBase::Initialize();
  const std::string error = kUnserializeFailed;
  if (request.unserialize([&](char* buffer, std::size_t room) { return input.Read(buffer, room); }) == 0) return true;
  if (input.failed()) {
    Fail(shown + ": cannot read: " + input.reason());
    return false;
  }
#else
  std::string text;
  std::string reason;
  if (!ReadWhole(input, text, reason)) {
    Fail(shown + ": cannot read: " + reason);
    return false;
  }
  std::string error;
  if (ConvertStringToClientSetup(std::move(text), &request, error) == 0) return true;
#endif
  std::string line = shown + ':';
  // The parser keeps its last failure through later successes, so its
  // position is only this file's when the parser itself refused it.
  if (error == kUnserializeFailed) {
    const zumsg::ParseError& why = CNMessageBase::LastParseError();
    if (why.line != 0) line += std::to_string(why.line) + ':' + std::to_string(why.column) + ':';
    line += ' ' + error;
    if (!why.reason.empty()) line += ": " + why.reason;
  } else {
    line += ' ' + error;
  }
  Fail(line);
  return false;
}

int Fail(const std::string& message, int status) {
  std::cerr << "zu-request: " << message << '\n';
  return status;
}

int UsageError(const std::string& message) {
  std::cerr << "zu-request: " << message << "\nTry 'zu-request --help'.\n";
  return kUsage;
}

}  // namespace zutool
