// Install utilities: request loading, the package catalogue, password
// services, text/path/time helpers and value conversion.
#pragma once

#include <string>
#include <vector>

#include "ZuInstallMessages.h"
#include "zuinstall_export.h"

// ---- Request loading ----------------------------------------------------

// Unserializes `xml` into `request`. Returns 0, or -1 with `error` set to
// "Invalid input given.", "Failed to initialize XML." or "Failed to unserialize XML".
ZUINSTALL_API int ConvertStringToClientSetup(std::string xml, ZUInstallManager::ClientSetup* request,
                                             std::string& error);
// Reads the file's lines joined without separators and unserializes them.
// Returns 0, or -1 with `error` set to "Invalid arguments", "Failed to open
// file <path>" or "Failed to unserialize XML blob from the input file.".
ZUINSTALL_API int PopulateClientSetupFromXmlFile(ZUInstallManager::ClientSetup* request, std::string& path,
                                                 std::string& error);
// Returns the request-level error code; -1 when absent (or stored as -1).
ZUINSTALL_API long long GetSIMErrorCodeFromXML(ZUInstallManager::ClientSetup* request);
// Deletes a request allocated with new; null is allowed. Returns 0.
ZUINSTALL_API int FreeMessageObject(ZUInstallManager::ClientSetup* request);

// ---- Package catalogue --------------------------------------------------

// One row of the database-package table.
struct ZUINSTALL_API DbPackageInfo {
  // Stores the id and the two flags in that order.
  DbPackageInfo(int id, bool isDbPackage, bool isNonDXDbPackage);

  int id;
  bool isDbPackage;       // true in every row
  bool isNonDXDbPackage;  // the package's database is not one of the central server's own
};

// Returns true for the 28 database packages (801 to 816, 851 to 862).
ZUINSTALL_API bool IsDBPackage(const unsigned long& id);
// Returns true for database packages outside the central server; false for 801, 802, 804, 851 and non-members.
ZUINSTALL_API bool IsNonDX_DBPackage(const unsigned long& id);
// Returns true for 1, 2, 1002 and 1003.
ZUINSTALL_API bool IsBasePackage(const unsigned long& id);
// Returns true for 51, 1301 and 2003.
ZUINSTALL_API bool IsMediaAgentPackage(const unsigned long& id);
// Returns true for 1, 702, 1002, 1101 and 2001.
ZUINSTALL_API bool IsFSPackage(const unsigned long& id);
// Returns true for 402 to 408 and 1123; 401 and 409 are not members.
ZUINSTALL_API bool IsSRMAgentPackage(const unsigned long& id);
// Returns true exactly when 6000 <= id <= 7000.
ZUINSTALL_API bool isThirdPartyPackage(int id);

// Replaces `ids` with every database package in table order (804 before 803).
ZUINSTALL_API void GetAllDBPackages(std::vector<int>& ids);
// Replaces `ids` with 1, 1002, 1003, 2.
ZUINSTALL_API void GetAllBasePackages(std::vector<int>& ids);
// Replaces `ids` with 51, 1301, 2003.
ZUINSTALL_API void GetAllMediaAgentPackages(std::vector<int>& ids);
// Replaces `ids` with the central server's packages 20, 21, 801, 851.
ZUINSTALL_API void GetAllDXPackages(std::vector<int>& ids);

// Writes "( 5, 7, 9)" for 5, 7, 9, every value in full. Returns false with
// `text` set to "(" when `values` is empty.
ZUINSTALL_API bool GetCommaSeperatedList(const std::vector<int>& values, std::string& text);
// Writes "('a','b')" for a, b, nothing escaped. Returns false with `text` set
// to "(" when `values` is empty.
ZUINSTALL_API bool GetCommaSeperatedList(const std::vector<std::string>& values, std::string& text);

// Returns the first entry whose packageId (low 32 bits) is `id`, skipping
// entries without one; list->end() when none. `list` must not be null.
ZUINSTALL_API std::vector<ZUInstallManager::PackageInformation>::iterator GetIterToPackageInVector(
    std::vector<ZUInstallManager::PackageInformation>* list, int id);
// Returns whether an entry carries `id`; false for a null `list`.
ZUINSTALL_API bool FindPackageInVector(std::vector<ZUInstallManager::PackageInformation>* list, int id);

// ---- Password services ----------------------------------------------------
//
// The two-call wrappers ask the cipher for the result's length, hand the
// caller a zeroed buffer of length + 1 bytes (release it with delete[]) and
// then fill it. A failure returns -1 and writes one text of at most 75
// characters into `error`; `*output` is untouched when the first call
// fails, and already set (the caller's to release) when the second fails.

extern "C" {
// Encrypts `input` into the V3 form. Fails on a null input or output with "Invalid arguments passed.".
ZUINSTALL_API int ZUEncryptPassword(const char* input, char** output, char* error);
// Encrypts `input` into the V8 form; an empty text is encrypted too.
ZUINSTALL_API int ZUEncryptPassword_V8(const char* input, char** output, char* error);
// Converts a V8 text into the V3 form; a text of another form is refused by the cipher.
ZUINSTALL_API int ZUPasswordConvert_V8ToV3(const char* input, char** output, char* error);
// Converts a V3 text into the V8 form; a text of another form is refused by the cipher.
ZUINSTALL_API int ZUPasswordConvert_V3ToV8(const char* input, char** output, char* error);
// Decrypts a V3 or V8 text; an empty text or one over 2048 characters never reaches the cipher.
ZUINSTALL_API int ZUDecryptPassword(const char* input, char** output, char* error);
// Decrypts into `output` (at most 1023 characters). Returns 0, -1 for a null
// input, or the cipher's error number, leaving `output` untouched on failure.
ZUINSTALL_API int UtilDecrypt(const char* input, std::string& output);
}

// Encrypts into `output` (at most 1023 characters). Returns 0, -1 for a null
// input, or the cipher's error number, leaving `output` untouched on failure.
ZUINSTALL_API int UtilEncrypt(const char* input, std::string& output);
// Converts every client's clientPassword from V8 to V3 in place. Returns 0, or
// -22 with `error` set at the first failure (earlier clients stay converted,
// later ones untouched); a null request gives "Invalid arguments passed.".
ZUINSTALL_API int ReEncryptInputRequestNetPwdV8ToV3(ZUInstallManager::ClientSetup*& request, std::string& error);

// ---- Text, path and time helpers ------------------------------------------

// Mode of the directories CreateDirectoryRecursive makes; initially 0755, umask applies.
extern ZUINSTALL_API int permFlag;

// Splits "11.0.0 (B80)" into " (B80)" and "11.0". With no "(", `build` is
// empty and `release` the input minus its last character. Returns false,
// outputs untouched, for an empty input or a "(" that ends it; false with
// both set when the part before "(" holds no "." (a leading "(" gives `build`
// the whole input and `release` empty).
ZUINSTALL_API bool UtilSplitRelAndBuild(const std::string& input, std::string& build, std::string& release);
// Splits "A:-B:-C:-D" into out3 A, out1 B, out2 C, out4 D (the whole rest,
// further ":-" included). Returns false at the first missing separator,
// keeping the pieces already written.
ZUINSTALL_API bool UtilSplitOsInformation(std::string input, std::string& out1, std::string& out2, std::string& out3,
                                          std::string& out4);
// Splits at the last backslash, or only when there is none at the last "/".
// Returns false, outputs untouched, without a separator or when it ends the path.
ZUINSTALL_API bool UtilSplitDirAndFile(std::string path, std::string& directory, std::string& file);
// Sets `seconds` to hours * 3600 + minutes * 60 of the local time; 0 when the
// time cannot be converted. Always returns 0.
ZUINSTALL_API int getAtTimeForScheds(unsigned long time, int& seconds);

// Assigns `value` only when `target` is empty.
ZUINSTALL_API void SetValueIfNotSet(std::string& target, std::string value);
// Assigns `value` only when `target` is 0.
ZUINSTALL_API void SetValueIfNotSet(int& target, int value);
// Assigns `value`, sign-extended (-1 becomes the largest value), only when `target` is 0.
ZUINSTALL_API void SetValueIfNotSet(unsigned long& target, int value);
// Assigns `value` only when `target` is 0.
ZUINSTALL_API void SetValueIfNotSet(unsigned char& target, unsigned char value);
// Assigns `value` only when `target` is false.
ZUINSTALL_API void SetValueIfNotSet(bool& target, bool value);

// Creates the directory and its missing parents with mode permFlag. Returns 0
// (also when it exists), or -1 with errno: -777 for a path over 1024
// characters, EINVAL for null, otherwise the system's.
ZUINSTALL_API int CreateDirectoryRecursive(const char* path);
// Returns true exactly when 14 <= version <= 16; `version` is not changed.
ZUINSTALL_API bool IsPelluxVersionSupported(int& version);
// Returns the calling thread's pthread_t as a number.
ZUINSTALL_API unsigned long GetCurrentThreadID();

// ---- Fixed answers the logger consults ----------------------------------

// Returns true for every focus name, null included.
ZUINSTALL_API bool IsFocusExist(const char* focus);
// Returns false for every focus name.
ZUINSTALL_API bool IsMarliskLessInstall(const char* focus);
// Returns false for every level.
ZUINSTALL_API bool isDebugLogLevelSet(int level);

// ---- Value conversion -----------------------------------------------------

namespace ZUInstallManagerConversion {

// Text to and from the built-in types. Parsing follows sscanf: leading blanks
// skipped, the longest valid prefix taken, and a text with nothing readable
// leaves the value as it was. Formatting keeps at most 23 characters.
class ZUINSTALL_API BasicConversion {
 public:
  BasicConversion() = delete;

  // Sets false for an empty text or one starting with the digit 0, else true.
  static void fromString(bool& value, const std::string& text);
  // Sets the first character; NUL for an empty text.
  static void fromString(char& value, const std::string& text);
  // Sets the first character; NUL for an empty text.
  static void fromString(unsigned char& value, const std::string& text);
  // Parses decimal; the value stays when nothing is readable.
  static void fromString(short& value, const std::string& text);
  // Parses decimal; the value stays when nothing is readable.
  static void fromString(unsigned short& value, const std::string& text);
  // Parses decimal; the value stays when nothing is readable.
  static void fromString(int& value, const std::string& text);
  // Parses decimal; the value stays when nothing is readable.
  static void fromString(unsigned int& value, const std::string& text);
  // Parses decimal; the value stays when nothing is readable.
  static void fromString(long& value, const std::string& text);
  // Parses decimal; the value stays when nothing is readable.
  static void fromString(unsigned long& value, const std::string& text);
  // Parses decimal; the value stays when nothing is readable.
  static void fromString(long long& value, const std::string& text);
  // Parses decimal; the value stays when nothing is readable.
  static void fromString(unsigned long long& value, const std::string& text);
  // Parses a floating-point number; the value stays when nothing is readable.
  static void fromString(float& value, const std::string& text);
  // Parses a floating-point number; the value stays when nothing is readable.
  static void fromString(double& value, const std::string& text);

  // Parses hexadecimal with an optional 0x; the value stays when nothing is readable.
  static void fromHexString(unsigned short& value, const std::string& text);
  // Parses hexadecimal with an optional 0x; the value stays when nothing is readable.
  static void fromHexString(unsigned int& value, const std::string& text);
  // Parses hexadecimal with an optional 0x; the value stays when nothing is readable.
  static void fromHexString(unsigned long& value, const std::string& text);
  // Parses hexadecimal with an optional 0x; the value stays when nothing is readable.
  static void fromHexString(unsigned long long& value, const std::string& text);
  // Parses hexadecimal with an optional 0x as a 64-bit pattern; the value stays when nothing is readable.
  static void fromHexString(long long& value, const std::string& text);

  // Writes "1" or "0".
  static void toString(bool value, std::string& text);
  // Writes the character; NUL gives an empty text.
  static void toString(char value, std::string& text);
  // Writes the character; NUL gives an empty text.
  static void toString(unsigned char value, std::string& text);
  // Writes decimal.
  static void toString(short value, std::string& text);
  // Writes decimal.
  static void toString(unsigned short value, std::string& text);
  // Writes decimal.
  static void toString(int value, std::string& text);
  // Writes decimal.
  static void toString(unsigned int value, std::string& text);
  // Writes decimal.
  static void toString(long value, std::string& text);
  // Writes decimal.
  static void toString(unsigned long value, std::string& text);
  // Writes decimal.
  static void toString(long long value, std::string& text);
  // Writes decimal.
  static void toString(unsigned long long value, std::string& text);
  // Writes "%f" of the value widened to double, cut to 23 characters.
  static void toString(float value, std::string& text);
  // Writes "%f", cut to 23 characters (1e16 loses its last decimal).
  static void toString(double value, std::string& text);

  // Writes "0x" and lower-case hexadecimal.
  static void toHexString(unsigned short value, std::string& text);
  // Writes "0x" and lower-case hexadecimal.
  static void toHexString(unsigned int value, std::string& text);
  // Writes "0x" and lower-case hexadecimal.
  static void toHexString(unsigned long value, std::string& text);
  // Writes "0x" and lower-case hexadecimal.
  static void toHexString(unsigned long long value, std::string& text);
  // Writes "0x" and the 64-bit two's complement (-1 gives sixteen f).
  static void toHexString(long long value, std::string& text);
};

}  // namespace ZUInstallManagerConversion
