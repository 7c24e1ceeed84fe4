#include "ZUInstallUtils.h"

#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <memory>
#include <new>

#include "ZUInstallLog.h"
#include "ZuRuntime.h"

namespace {

// ---- Request loading ----

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
  std::size_t total = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    total += got;
    // Tested before appending, and growth held to the cap, so an endless
    // device costs at most the cap in memory.
    if (total > kMaxRequestFileBytes) return false;
    if (text.capacity() - text.size() < got) {
      text.reserve(std::min(kMaxRequestFileBytes, std::max(2 * text.capacity(), text.size() + got)));
    }
    const char* begin = chunk;
    const char* end = chunk + got;
    for (const char* p = begin; p != end; ++p) {
      if (*p == '\n') {
        text.append(begin, p);
        begin = p + 1;
      }
    }
    text.append(begin, end);
  }
  return !std::ferror(file);
}

// Sets a loader's error text and returns its failure result; a text that
// cannot be stored (out of memory) leaves the old one.
int SetError(std::string& error, const char* text) noexcept {
  try {
    error = text;
  } catch (...) {
  }
  return -1;
}

// ---- Package catalogue ----

const std::vector<DbPackageInfo> DBPackages{
    {801, true, false}, {802, true, false}, {804, true, false}, {803, true, true}, {805, true, true},
    {806, true, true},  {807, true, true},  {808, true, true},  {809, true, true}, {810, true, true},
    {811, true, true},  {812, true, true},  {813, true, true},  {814, true, true}, {815, true, true},
    {816, true, true},  {851, true, false}, {852, true, true},  {853, true, true}, {854, true, true},
    {855, true, true},  {856, true, true},  {857, true, true},  {858, true, true}, {859, true, true},
    {860, true, true},  {861, true, true},  {862, true, true},
};

// List orders are the published ones, not sorted.
constexpr int kBasePackages[] = {1, 1002, 1003, 2};
constexpr int kMediaAgentPackages[] = {51, 1301, 2003};
constexpr int kFSPackages[] = {1, 702, 1002, 1101, 2001};
constexpr int kSRMAgentPackages[] = {402, 403, 404, 405, 406, 407, 408, 1123};
constexpr int kDXPackages[] = {20, 21, 801, 851};

template <std::size_t N>
bool Contains(const int (&set)[N], unsigned long id) {
  return std::any_of(std::begin(set), std::end(set),
                     [id](int member) { return static_cast<unsigned long>(member) == id; });
}

// Replaces `ids` with the members' ids in order; out of memory leaves it empty.
template <typename Range, typename IdOf>
void Replace(std::vector<int>& ids, const Range& members, IdOf idOf) noexcept {
  try {
    ids.clear();
    for (const auto& member : members) ids.push_back(idOf(member));
  } catch (...) {
    ids.clear();
  }
}

template <std::size_t N>
void Replace(std::vector<int>& ids, const int (&members)[N]) noexcept {
  Replace(ids, members, [](int id) { return id; });
}

// "(" + each value as `append` writes it (led by its comma) + ")", with the
// first comma dropped; "(" alone and false when there are none. Built apart
// from `text`, which may be one of the values.
template <class Values, class Append>
bool CommaSeparated(const Values& values, std::string& text, Append append) noexcept {
  try {
    std::string list = "(";
    if (values.empty()) {
      text = std::move(list);
      return false;
    }
    for (const auto& value : values) append(list, value);
    list += ')';
    list.erase(1, 1);
    text = std::move(list);
    return true;
  } catch (...) {
    return false;
  }
}

const DbPackageInfo* FindDbPackage(unsigned long id) {
  for (const DbPackageInfo& row : DBPackages) {
    // The id is widened with its sign, as a negative row id would be.
    if (static_cast<unsigned long>(static_cast<long>(row.id)) == id) return &row;
  }
  return nullptr;
}

// ---- Password services ----

using CipherCall = int (ZUPassword::*)(const char*, char*, unsigned long*);

struct CipherTexts {
  const char* lengthFailed;  // takes the cipher's error number
  const char* callFailed;    // takes the cipher's error number
};

constexpr CipherTexts kEncryptTexts{"Failed to encrypt password to get length, error %lu",
                                    "Failed to encrypt password, error %lu"};
constexpr CipherTexts kDecryptTexts{"Failed to decrypt password to get length, error %lu",
                                    "Failed to decrypt password, error %lu"};
constexpr char kInvalidArguments[] = "Invalid arguments passed.";
constexpr char kInvalidDecryptLength[] = "An invalid length of encrypted string is passed to decrypt. Decrypt failed.";
constexpr std::size_t kMaxDecryptInput = 2048;
// Every error text fits: the longest is 75 characters.
constexpr std::size_t kErrorTextRoom = 76;
// The one-call forms offer the cipher 1023 characters in a larger zeroed buffer.
constexpr std::size_t kUtilBufferBytes = 2049;
constexpr unsigned long kUtilRoom = 1023;

void WriteError(char* error, const char* text) {
  if (error != nullptr) std::snprintf(error, kErrorTextRoom, "%s", text);
}

void WriteCipherError(char* error, const char* format, unsigned long number) {
  if (error == nullptr) return;
  std::snprintf(error, kErrorTextRoom, format, number);
}

int TwoCallCipher(CipherCall call, const CipherTexts& texts, const char* input, char** output, char* error) {
  try {
    ZUPassword cipher(0);
    unsigned long length = 0;
    if (input == nullptr || output == nullptr) {
      WriteError(error, kInvalidArguments);
      return -1;
    }
    if ((cipher.*call)(input, nullptr, &length) == 0) {
      WriteCipherError(error, texts.lengthFailed, cipher.getLastError());
      return -1;
    }
    // A length this large cannot be a text; refuse it as an allocation failure.
    if (length >= static_cast<unsigned long>(PTRDIFF_MAX)) return -1;
    char* buffer = new (std::nothrow) char[length + 1];
    if (buffer == nullptr) return -1;
    std::memset(buffer, 0, length + 1);
    // Handed over before the second call, so it is the caller's even if that call fails.
    *output = buffer;
    if ((cipher.*call)(input, buffer, &length) == 0) {
      WriteCipherError(error, texts.callFailed, cipher.getLastError());
      return -1;
    }
    return 0;
  } catch (...) {
    return -1;
  }
}

int OneCallCipher(CipherCall call, const char* input, std::string& output) {
  try {
    ZUPassword cipher(0);
    char buffer[kUtilBufferBytes] = {};
    unsigned long length = kUtilRoom;
    if (input == nullptr) return -1;
    if ((cipher.*call)(input, buffer, &length) != 0) {
      output.assign(buffer);
      return 0;
    }
    const int number = static_cast<int>(cipher.getLastError());
    // A refusal must never read as success.
    return number != 0 ? number : -1;
  } catch (...) {
    return -1;
  }
}

// ---- Text, path and time helpers ----

constexpr std::size_t kPathBufferBytes = 1025;
constexpr int kPathRefused = -777;

// ---- Value conversion ----

constexpr std::size_t kNumberBufferBytes = 24;

template <class T>
void ScanInto(T& value, const std::string& text, const char* format) {
  T parsed{};
  if (std::sscanf(text.c_str(), format, &parsed) == 1) value = parsed;
}

// Formats into the 24-byte buffer the formatter cuts at 23 characters.
template <class T>
void FormatInto(std::string& text, const char* format, T value) {
  char buffer[kNumberBufferBytes] = {};
  (void)StringCbPrintfA(buffer, sizeof buffer, format, value);
  try {
    text.assign(buffer);
  } catch (...) {
    // Out of memory: the text keeps what it held.
  }
}

void AssignFirstCharacter(char& value, const std::string& text) { value = text.empty() ? '\0' : text[0]; }

}  // namespace

// ---- Request loading -------------------------------------------------------

int ConvertStringToClientSetup(std::string xml, ZUInstallManager::ClientSetup* request, std::string& error) {
  if (request == nullptr) return SetError(error, "Invalid input given.");
  if (CNMessageBase::Initialize() != 0) return SetError(error, "Failed to initialize XML.");
  if (request->unserialize(xml) != 0) return SetError(error, "Failed to unserialize XML");
  return 0;
}

int PopulateClientSetupFromXmlFile(ZUInstallManager::ClientSetup* request, std::string& path, std::string& error) {
  constexpr char kUnserializeFailed[] = "Failed to unserialize XML blob from the input file.";
  try {
    // Opened before the arguments are tested, as callers have always seen it.
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
    if (request == nullptr) return SetError(error, "Invalid arguments");
    if (!file) {
      error = "Failed to open file " + path;
      return -1;
    }
    std::string text;
    const bool complete = ReadJoinedLines(file.get(), text);
    file.reset();
    (void)CNMessageBase::Initialize();
    if (!complete || request->unserialize(text) != 0) return SetError(error, kUnserializeFailed);
    return 0;
  } catch (...) {
    // Out of memory while reading: the text could not be handed to the parser.
    return SetError(error, kUnserializeFailed);
  }
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

// ---- Package catalogue -------------------------------------------------------

DbPackageInfo::DbPackageInfo(int id, bool isDbPackage, bool isNonDXDbPackage)
    : id(id), isDbPackage(isDbPackage), isNonDXDbPackage(isNonDXDbPackage) {}

bool IsDBPackage(const unsigned long& id) { return FindDbPackage(id) != nullptr; }

bool IsNonDX_DBPackage(const unsigned long& id) {
  const DbPackageInfo* row = FindDbPackage(id);
  return row != nullptr && row->isNonDXDbPackage;
}

bool IsBasePackage(const unsigned long& id) { return Contains(kBasePackages, id); }
bool IsMediaAgentPackage(const unsigned long& id) { return Contains(kMediaAgentPackages, id); }
bool IsFSPackage(const unsigned long& id) { return Contains(kFSPackages, id); }
bool IsSRMAgentPackage(const unsigned long& id) { return Contains(kSRMAgentPackages, id); }
bool isThirdPartyPackage(int id) { return id >= 6000 && id <= 7000; }

void GetAllDBPackages(std::vector<int>& ids) {
  Replace(ids, DBPackages, [](const DbPackageInfo& row) { return row.id; });
}

void GetAllBasePackages(std::vector<int>& ids) { Replace(ids, kBasePackages); }
void GetAllMediaAgentPackages(std::vector<int>& ids) { Replace(ids, kMediaAgentPackages); }
void GetAllDXPackages(std::vector<int>& ids) { Replace(ids, kDXPackages); }

bool GetCommaSeperatedList(const std::vector<int>& values, std::string& text) {
  // Every value in full, however long: no fixed scratch field to overflow.
  return CommaSeparated(values, text, [](std::string& list, int value) { list += ", " + std::to_string(value); });
}

bool GetCommaSeperatedList(const std::vector<std::string>& values, std::string& text) {
  return CommaSeparated(values, text, [](std::string& list, const std::string& value) {
    list += ",'";
    list += value;
    list += '\'';
  });
}

std::vector<ZUInstallManager::PackageInformation>::iterator GetIterToPackageInVector(
    std::vector<ZUInstallManager::PackageInformation>* list, int id) {
  using ZUInstallManager::PackageInformation;
  assert(list != nullptr && "GetIterToPackageInVector needs a package list");
  return std::find_if(list->begin(), list->end(), [id](const PackageInformation& entry) {
    return entry.isSet(PackageInformation::packageId) &&
           static_cast<int>(entry.getint64(PackageInformation::packageId)) == id;
  });
}

bool FindPackageInVector(std::vector<ZUInstallManager::PackageInformation>* list, int id) {
  return list != nullptr && GetIterToPackageInVector(list, id) != list->end();
}

// ---- Password services -------------------------------------------------------

int ZUEncryptPassword(const char* input, char** output, char* error) {
  return TwoCallCipher(&ZUPassword::encrypt, kEncryptTexts, input, output, error);
}

int ZUEncryptPassword_V8(const char* input, char** output, char* error) {
  return TwoCallCipher(&ZUPassword::encryptV8, kEncryptTexts, input, output, error);
}

int ZUPasswordConvert_V8ToV3(const char* input, char** output, char* error) {
  return TwoCallCipher(&ZUPassword::ConvertToV3, kEncryptTexts, input, output, error);
}

int ZUPasswordConvert_V3ToV8(const char* input, char** output, char* error) {
  return TwoCallCipher(&ZUPassword::ConvertToV8, kEncryptTexts, input, output, error);
}

int ZUDecryptPassword(const char* input, char** output, char* error) {
  // The length is tested before the output pointer, so a bad length names itself.
  if (input != nullptr) {
    const std::size_t length = strnlen(input, kMaxDecryptInput + 1);
    if (length == 0 || length > kMaxDecryptInput) {
      WriteError(error, kInvalidDecryptLength);
      return -1;
    }
  }
  return TwoCallCipher(&ZUPassword::decrypt, kDecryptTexts, input, output, error);
}

int UtilEncrypt(const char* input, std::string& output) { return OneCallCipher(&ZUPassword::encrypt, input, output); }

int UtilDecrypt(const char* input, std::string& output) { return OneCallCipher(&ZUPassword::decrypt, input, output); }

int ReEncryptInputRequestNetPwdV8ToV3(ZUInstallManager::ClientSetup*& request, std::string& error) {
  using App::Client;
  using App::ClientInfo;
  using ZUInstallManager::ClientSetup;
  using ZUInstallManager::ClientsComposition;
  constexpr int kConversionFailed = -22;
  try {
    if (request == nullptr) {
      error = kInvalidArguments;
      return kConversionFailed;
    }
    std::vector<ClientsComposition>* entries = zumsg::list<ClientSetup::clientComposition>(*request);
    if (entries == nullptr) return 0;
    for (ClientsComposition& entry : *entries) {
      if (!entry.isSet(ClientsComposition::clientInfo)) continue;
      ClientInfo* info = zumsg::object<ClientsComposition::clientInfo>(entry);
      if (info == nullptr || !info->isSet(ClientInfo::client)) continue;
      Client* client = zumsg::object<ClientInfo::client>(*info);
      if (client == nullptr || !client->isSet(Client::clientPassword)) continue;

      const std::string password = client->getstring(Client::clientPassword);
      char* converted = nullptr;
      char errorText[1024] = {};
      const int result = ZUPasswordConvert_V8ToV3(password.c_str(), &converted, errorText);
      std::unique_ptr<char[]> owned(converted);
      if (result != 0) {
        error = errorText;
        return kConversionFailed;
      }
      client->setstring(Client::clientPassword, owned.get());
    }
    return 0;
  } catch (...) {
    try {
      error = "Out of memory while converting passwords.";
    } catch (...) {
    }
    return kConversionFailed;
  }
}

// ---- Text, path and time helpers -------------------------------------------

int permFlag = 0755;

bool UtilSplitRelAndBuild(const std::string& input, std::string& build, std::string& release) {
  try {
    if (input.empty()) return false;
    const std::size_t open = input.find('(');
    if (open == std::string::npos) {
      // Assigned through a copy: either output may be the input itself.
      std::string shortened(input, 0, input.size() - 1);
      build.clear();
      release = std::move(shortened);
      return true;
    }
    if (open + 1 == input.size()) return false;
    // Nothing stands before a leading "(", so the build keeps the whole input.
    std::string buildPart(input, open == 0 ? 0 : open - 1);
    std::string releasePart(input, 0, open);
    const std::size_t dot = releasePart.rfind('.');
    if (dot != std::string::npos) releasePart.erase(dot);
    build = std::move(buildPart);
    release = std::move(releasePart);
    return dot != std::string::npos;
  } catch (...) {
    return false;
  }
}

bool UtilSplitOsInformation(std::string input, std::string& out1, std::string& out2, std::string& out3,
                            std::string& out4) {
  static constexpr char kSeparator[] = ":-";
  constexpr std::size_t kSeparatorLength = 2;
  try {
    const std::size_t first = input.find(kSeparator);
    if (first == std::string::npos) return false;
    out3.assign(input, 0, first);
    const std::size_t second = input.find(kSeparator, first + kSeparatorLength);
    if (second == std::string::npos) return false;
    out1.assign(input, first + kSeparatorLength, second - first - kSeparatorLength);
    const std::size_t third = input.find(kSeparator, second + kSeparatorLength);
    if (third == std::string::npos) return false;
    out2.assign(input, second + kSeparatorLength, third - second - kSeparatorLength);
    // The last piece runs to the end, further separators included.
    out4.assign(input, third + kSeparatorLength, std::string::npos);
    return true;
  } catch (...) {
    return false;
  }
}

bool UtilSplitDirAndFile(std::string path, std::string& directory, std::string& file) {
  try {
    std::size_t separator = path.rfind('\\');
    if (separator == std::string::npos) separator = path.rfind('/');
    if (separator == std::string::npos || separator + 1 == path.size()) return false;
    directory.assign(path, 0, separator);
    file.assign(path, separator + 1, std::string::npos);
    return true;
  } catch (...) {
    return false;
  }
}

int getAtTimeForScheds(unsigned long time, int& seconds) {
  seconds = 0;
  const std::time_t when = static_cast<std::time_t>(time);
  std::tm local{};
  if (localtime_r(&when, &local) != nullptr) seconds = local.tm_hour * 3600 + local.tm_min * 60;
  return 0;
}

void SetValueIfNotSet(std::string& target, std::string value) {
  if (target.empty()) target = std::move(value);
}

void SetValueIfNotSet(int& target, int value) {
  if (target == 0) target = value;
}

void SetValueIfNotSet(unsigned long& target, int value) {
  if (target == 0) target = static_cast<unsigned long>(static_cast<long>(value));
}

void SetValueIfNotSet(unsigned char& target, unsigned char value) {
  if (target == 0) target = value;
}

void SetValueIfNotSet(bool& target, bool value) {
  if (!target) target = value;
}

int CreateDirectoryRecursive(const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kPathBufferBytes]());
  if (!buffer) {
    errno = kPathRefused;
    return -1;
  }
  const std::size_t length = strnlen(path, kPathBufferBytes);
  if (length >= kPathBufferBytes) {
    errno = kPathRefused;
    return -1;
  }
  std::memcpy(buffer.get(), path, length);
  char* const copy = buffer.get();
  if (mkdir(copy, static_cast<mode_t>(permFlag)) == 0 || errno == EEXIST) return 0;
  if (errno != ENOENT) return -1;

  char* const slash = std::strrchr(copy, '/');
  if (slash == nullptr) return -1;
  *slash = '\0';
  const int parent = CreateDirectoryRecursive(copy);
  *slash = '/';
  if (parent < 0) return -1;
  // Unlike the first attempt, a directory that now exists counts as a failure.
  return mkdir(copy, static_cast<mode_t>(permFlag)) == 0 ? 0 : -1;
}

bool IsPelluxVersionSupported(int& version) { return version >= 14 && version <= 16; }

unsigned long GetCurrentThreadID() { return static_cast<unsigned long>(pthread_self()); }

// ---- Fixed answers -----------------------------------------------------------

bool IsFocusExist(const char*) { return true; }
bool IsMarliskLessInstall(const char*) { return false; }
bool isDebugLogLevelSet(int) { return false; }

// ---- Value conversion --------------------------------------------------------

namespace ZUInstallManagerConversion {

void BasicConversion::fromString(bool& value, const std::string& text) { value = !text.empty() && text[0] != '0'; }
void BasicConversion::fromString(char& value, const std::string& text) { AssignFirstCharacter(value, text); }
void BasicConversion::fromString(unsigned char& value, const std::string& text) {
  value = text.empty() ? 0 : static_cast<unsigned char>(text[0]);
}
void BasicConversion::fromString(short& value, const std::string& text) { ScanInto(value, text, "%hd"); }
void BasicConversion::fromString(unsigned short& value, const std::string& text) { ScanInto(value, text, "%hu"); }
void BasicConversion::fromString(int& value, const std::string& text) { ScanInto(value, text, "%d"); }
void BasicConversion::fromString(unsigned int& value, const std::string& text) { ScanInto(value, text, "%u"); }
void BasicConversion::fromString(long& value, const std::string& text) { ScanInto(value, text, "%ld"); }
void BasicConversion::fromString(unsigned long& value, const std::string& text) { ScanInto(value, text, "%lu"); }
void BasicConversion::fromString(long long& value, const std::string& text) { ScanInto(value, text, "%lld"); }
void BasicConversion::fromString(unsigned long long& value, const std::string& text) { ScanInto(value, text, "%llu"); }
void BasicConversion::fromString(float& value, const std::string& text) { ScanInto(value, text, "%f"); }
void BasicConversion::fromString(double& value, const std::string& text) { ScanInto(value, text, "%lf"); }

void BasicConversion::fromHexString(unsigned short& value, const std::string& text) { ScanInto(value, text, "%hx"); }
void BasicConversion::fromHexString(unsigned int& value, const std::string& text) { ScanInto(value, text, "%x"); }
void BasicConversion::fromHexString(unsigned long& value, const std::string& text) { ScanInto(value, text, "%lx"); }
void BasicConversion::fromHexString(unsigned long long& value, const std::string& text) {
  ScanInto(value, text, "%llx");
}
void BasicConversion::fromHexString(long long& value, const std::string& text) {
  // "%llx" stores through an unsigned pointer; the pattern is the same 64 bits.
  unsigned long long pattern = static_cast<unsigned long long>(value);
  ScanInto(pattern, text, "%llx");
  value = static_cast<long long>(pattern);
}

void BasicConversion::toString(bool value, std::string& text) {
  text.assign(1, value ? '1' : '0');  // one character: never allocates
}
void BasicConversion::toString(char value, std::string& text) { FormatInto(text, "%c", value); }
void BasicConversion::toString(unsigned char value, std::string& text) { FormatInto(text, "%c", value); }
void BasicConversion::toString(short value, std::string& text) { FormatInto(text, "%hd", value); }
void BasicConversion::toString(unsigned short value, std::string& text) { FormatInto(text, "%hu", value); }
void BasicConversion::toString(int value, std::string& text) { FormatInto(text, "%d", value); }
void BasicConversion::toString(unsigned int value, std::string& text) { FormatInto(text, "%u", value); }
void BasicConversion::toString(long value, std::string& text) { FormatInto(text, "%ld", value); }
void BasicConversion::toString(unsigned long value, std::string& text) { FormatInto(text, "%lu", value); }
void BasicConversion::toString(long long value, std::string& text) { FormatInto(text, "%lld", value); }
void BasicConversion::toString(unsigned long long value, std::string& text) { FormatInto(text, "%llu", value); }
void BasicConversion::toString(float value, std::string& text) { FormatInto(text, "%f", static_cast<double>(value)); }
void BasicConversion::toString(double value, std::string& text) { FormatInto(text, "%f", value); }

void BasicConversion::toHexString(unsigned short value, std::string& text) { FormatInto(text, "0x%hx", value); }
void BasicConversion::toHexString(unsigned int value, std::string& text) { FormatInto(text, "0x%x", value); }
void BasicConversion::toHexString(unsigned long value, std::string& text) { FormatInto(text, "0x%lx", value); }
void BasicConversion::toHexString(unsigned long long value, std::string& text) { FormatInto(text, "0x%llx", value); }
void BasicConversion::toHexString(long long value, std::string& text) {
  FormatInto(text, "0x%llx", static_cast<unsigned long long>(value));
}

}  // namespace ZUInstallManagerConversion
