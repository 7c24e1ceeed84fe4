#include "RuntimeSupport.h"

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

bool MakeDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::string partial;
  partial.reserve(path.size());
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    partial.assign(path, 0, slash);
    pos = slash + 1;
    if (partial.empty() || partial.back() == '/') continue;  // leading or doubled slash
    if (::mkdir(partial.c_str(), 0755) == 0) continue;
    if (errno != EEXIST) return false;
    struct stat st;
    if (::stat(partial.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  }
  return true;
}

int OpenAppend(const std::string& directory, const std::string& name) {
  if (!MakeDirectories(directory)) return -1;
  std::string path = directory;
  if (path.back() != '/') path += '/';
  path += name;
  // O_NONBLOCK keeps a FIFO planted at the path from blocking the open; it
  // does nothing to a regular file.
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
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
  return written >= 0 && static_cast<std::size_t>(written) == size;
}

bool WriteOnce(int fd, const struct iovec* pieces, int count) {
  std::size_t size = 0;
  for (int i = 0; i < count; ++i) size += pieces[i].iov_len;
  ssize_t written;
  do {
    written = ::writev(fd, pieces, count);
  } while (written < 0 && errno == EINTR);
  return written >= 0 && static_cast<std::size_t>(written) == size;
}

}  // namespace zu_runtime
