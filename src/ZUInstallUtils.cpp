#include "ZUInstallUtils.h"

#include <cstdio>
#include <memory>

namespace {

// A request file larger than this is refused rather than read without end
// (a device such as /dev/zero never reaches end of file).
constexpr std::size_t kMaxRequestFileBytes = std::size_t{256} << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Appends the file's lines joined with nothing between them: every line feed
// dropped, everything else (carriage returns, blanks) kept. False on a read
// error or an oversized file, which end reading as end of file would.
bool ReadJoinedLines(std::FILE* file, std::string& text) {
  char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    const char* begin = chunk;
    const char* end = chunk + got;
    for (const char* p = begin; p != end; ++p) {
      if (*p == '\n') {
        text.append(begin, p);
        begin = p + 1;
      }
    }
    text.append(begin, end);
    if (text.size() > kMaxRequestFileBytes) return false;
  }
  return !std::ferror(file);
}

}  // namespace

int ConvertStringToClientSetup(std::string xml, ZUInstallManager::ClientSetup* request, std::string& error) {
  if (request == nullptr) {
    error = "Invalid input given.";
    return -1;
  }
  if (CNMessageBase::Initialize() != 0) {
    error = "Failed to initialize XML.";
    return -1;
  }
  if (request->unserialize(xml) != 0) {
    error = "Failed to unserialize XML";
    return -1;
  }
  return 0;
}

int PopulateClientSetupFromXmlFile(ZUInstallManager::ClientSetup* request, std::string& path, std::string& error) {
  // Opened before the arguments are tested, as callers have always seen it.
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
  if (request == nullptr) {
    error = "Invalid arguments";
    return -1;
  }
  if (!file) {
    error = "Failed to open file " + path;
    return -1;
  }
  std::string text;
  const bool complete = ReadJoinedLines(file.get(), text);
  file.reset();
  (void)CNMessageBase::Initialize();
  if (!complete || request->unserialize(text) != 0) {
    error = "Failed to unserialize XML blob from the input file.";
    return -1;
  }
  return 0;
}

long long GetSIMErrorCodeFromXML(ZUInstallManager::ClientSetup* request) {
  using ZUInstallManager::ClientSetup;
  using ZUInstallManager::ErrorInfo;
  if (request == nullptr || !request->isSet(ClientSetup::errorInfo)) return -1;
  const ErrorInfo* info = zumsg::object<ClientSetup::errorInfo>(*request);
  if (info == nullptr || !info->isSet(ErrorInfo::errorCode)) return -1;
  return info->getint64(ErrorInfo::errorCode);
}

int FreeMessageObject(ZUInstallManager::ClientSetup* request) {
  delete request;
  return 0;
}

bool IsFocusExist(const char*) { return true; }
bool IsMarliskLessInstall(const char*) { return false; }
bool isDebugLogLevelSet(int) { return false; }
