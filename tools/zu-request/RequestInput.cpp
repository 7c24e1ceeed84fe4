// Reading requests for the subcommands, and the tool's error lines.
#include "Commands.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "ZUInstallUtils.h"

namespace zutool {

namespace {

// The request loader's text when the parser refused the document; only then
// does the parser's position belong to this file.
constexpr char kUnserializeFailed[] = "Failed to unserialize XML";

// Appends everything readable from `fd`; sets errno and returns false on a
// read error, or with EFBIG past the cap (checked before appending, so an
// endless input costs at most the cap in memory).
bool ReadAll(int fd, std::string& text, std::size_t cap) {
  char block[65536];
  for (;;) {
    const ssize_t count = ::read(fd, block, sizeof block);
    if (count == 0) return true;
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (static_cast<std::size_t>(count) > cap - text.size()) {
      errno = EFBIG;
      return false;
    }
    text.append(block, static_cast<std::size_t>(count));
  }
}

std::string Reason(int error, std::size_t cap) {
  return error == EFBIG ? "larger than " + std::to_string(cap >> 20) + " MiB" : std::strerror(error);
}

}  // namespace

std::string ShownName(const std::string& path) { return path == "-" ? "<stdin>" : path; }

bool ReadDescriptor(int fd, std::string& text, std::string& reason, std::size_t cap) {
  text.clear();
  if (ReadAll(fd, text, cap)) return true;
  reason = Reason(errno, cap);
  return false;
}

bool ReadInput(const std::string& path, std::string& text, std::string& reason, std::size_t cap) {
  text.clear();
  if (path == "-") return ReadDescriptor(STDIN_FILENO, text, reason, cap);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  const bool complete = ReadDescriptor(fd, text, reason, cap);
  ::close(fd);
  return complete;
}

bool LoadRequest(const std::string& path, ZUInstallManager::ClientSetup& request) {
  const std::string shown = ShownName(path);
  std::string text;
  std::string reason;
  if (!ReadInput(path, text, reason)) {
    Fail(shown + ": cannot read: " + reason);
    return false;
  }
  std::string error;
  if (ConvertStringToClientSetup(std::move(text), &request, error) == 0) return true;
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
