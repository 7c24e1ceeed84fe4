// Value conversion, text splitting, schedule time, directory creation, list
// texts, the package catalogue, request loading and the password services: the
// two-call wrappers, the one-call forms and the request-level conversion.

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cstring>
#include <ctime>

#include "ZUInstallUtils.h"
#include "common/TestSupport.h"
#include "xmlutils/XmlUtilsTesting.h"

namespace {

using BC = ZUInstallManagerConversion::BasicConversion;
using Pieces = std::vector<std::string>;

// Each starts from a value the conversion must replace or, for parsing, may keep.
const auto Text = [](auto value, std::string text = "old") { return BC::toString(value, text), text; };
const auto Hex = [](auto value, std::string text = "old") { return BC::toHexString(value, text), text; };
const auto Parse = [](const std::string& text, auto value) { return BC::fromString(value, text), value; };
const auto ParseHex = [](const std::string& text, auto value) { return BC::fromHexString(value, text), value; };

// Texts: integers in full, floats cut at 23 characters, hex in lower case; parsing keeps the value when nothing
// reads. Characters and booleans, and the round trip of every integer type, are the text fuzz corpus replay's.
TEST(BasicConversion, FormatsAndParsesEveryType) {
  const std::pair<std::string, const char*> rows[] = {
      {Text(static_cast<short>(SHRT_MIN)), "-32768"},
      {Text(UINT_MAX), "4294967295"},
      {Text(true), "1"},
      {Text(LONG_MIN), "-9223372036854775808"},
      {Text(ULLONG_MAX), "18446744073709551615"},
      {Text('\0'), ""},
      {Text(1e16), "10000000000000000.00000"},
      {Text(-DBL_MAX), "-1797693134862315708145"},
      {Hex(static_cast<unsigned short>(0)), "0x0"},
      {Hex(0xABCDEFull), "0xabcdef"},
      {Hex(-1LL), "0xffffffffffffffff"},
      {Hex(ULONG_MAX), "0xffffffffffffffff"},
      {Hex(LLONG_MIN), "0x8000000000000000"},
      {std::to_string(Parse("\t\n-17abc", 7) + Parse("x42", 7)), "-10"},
      {std::to_string(Parse("18446744073709551615", 7ull)), "18446744073709551615"},
      // Integers one past their range saturate.
      {std::to_string(Parse("9223372036854775808", 5ll)) + std::to_string(Parse("-9223372036854775809", 5ll)),
       "9223372036854775807-9223372036854775808"},
      {std::to_string(Parse("18446744073709551616", 5ull)) + " " +
           std::to_string(ParseHex("0x10000000000000000", 5ull)),
       "18446744073709551615 18446744073709551615"},
      {std::to_string(Parse(" 2.5e3xyz", 7.0) + Parse(".e5", 0.5)), "2500.500000"},
      {std::to_string(ParseHex("  0X1fz", 0u) + ParseHex("g1", 2u)), "33"},
      {std::to_string(ParseHex(Hex(LLONG_MIN), 0ll) + ParseHex("-", 7ll)), "-9223372036854775801"}};
  for (const auto& [text, expected] : rows) EXPECT_EQ(text, expected);
}

#define REL(text) [](Pieces& o) { return UtilSplitRelAndBuild(text, o[0], o[1]); }
#define OS(text) [](Pieces& o) { return UtilSplitOsInformation(text, o[0], o[1], o[2], o[3]); }
#define DIR(text) [](Pieces& o) { return UtilSplitDirAndFile(text, o[0], o[1]); }

// Outputs start as "k1".."k4"; a refusal leaves them or keeps what was already split. Release and build, OS
// information (true when out4 is written), directory and file (true when the file is written). The text fuzz
// corpus replay holds each splitter to a model over its own inputs (a release, paths with either separator, a text
// without separators); these rows are the cases it has no input for, and the mended faults.
TEST(Split, ReleaseAndBuildOsInformationAndPath) {
  const std::tuple<bool (*)(Pieces&), bool, Pieces> rows[] = {
      {REL("abc(x)"), false, {"c(x)", "abc"}},
      // Fault mended ("(B80) 11.0"): a leading "(" made the build start one character before the input.
      {REL("11.0 ("), false, {"k1", "k2"}},
      {REL("(B80) 11.0"), false, {"(B80) 11.0", ""}},
      {OS(":-:-:-"), true, {"", "", "", ""}},
      {OS("A:-B"), false, {"k1", "k2", "A", "k4"}},
      {OS("A:-B:-C"), false, {"B", "k2", "A", "k4"}},
      // Fault mended ("A:-B:-C:-D:-E"): a fourth separator moved piece 3 into out3 and left out4 untouched.
      {OS("A:-B:-C:-D:-E"), true, {"B", "C", "A", "D:-E"}},
      {DIR("/b.log"), true, {"", "b.log"}},
      {DIR("/opt/a/"), false, {"k1", "k2"}}};
  for (const auto& [split, result, expected] : rows) {
    Pieces outputs = {"k1", "k2", "k3", "k4"};
    EXPECT_EQ(split(outputs), result) << expected[0];
    outputs.resize(expected.size());
    EXPECT_EQ(outputs, expected);
  }
}

// Schedule time is local hours and minutes, 0 when unconvertible; SetValueIfNotSet fills only empty targets.
TEST(Helpers, ScheduleTimeValuesVersionsDirectoriesAndLists) {
  int seconds = -1, unconvertible = -1;
  {
    zutest::EnvGuard zone{{"TZ", "XXX-2"}};  // two hours east of UTC, no daylight saving
    tzset();
    EXPECT_EQ(getAtTimeForScheds(1704109559ul, seconds), 0);  // 2024-01-01 11:45:59 UTC
    EXPECT_EQ(getAtTimeForScheds(static_cast<unsigned long>(LONG_MAX), unconvertible), 0);
  }
  tzset();
  const auto fill = [](auto target, auto value) { return SetValueIfNotSet(target, value), target; };
  const auto show = [](auto... values) { return ((std::to_string(values) + " ") + ...); };
  using Byte = unsigned char;
  EXPECT_EQ(show(seconds, unconvertible, fill(0, 7), fill(1, 7), fill(0ul, -1), fill(1ul, 7), fill(Byte{0}, Byte{7}),
                 fill(Byte{1}, Byte{7}), fill(false, true)) +
                fill(fill(std::string(), "first"), "second"),
            show(13 * 3600 + 45 * 60, 0, 7, 1, ULONG_MAX, 1, 7, 1, 1) + "first");  // 0ul: -1 widened with its sign
  EXPECT_TRUE(IsFocusExist(nullptr) && !IsMarliskLessInstall("focus") && !isDebugLogLevelSet(3));
  for (int version : {13, 14, 16, 17}) EXPECT_EQ(IsPelluxVersionSupported(version), version >= 14 && version <= 16);
  // Directories: parents made with permFlag (by default 0755, as umask 0 shows), up to 1024 characters.
  zutest::ScratchDir dir;
  const mode_t oldMask = umask(0);
  ASSERT_EQ(CreateDirectoryRecursive((dir / "default/sub").c_str()), 0);
  EXPECT_EQ(std::filesystem::status(dir / "default").permissions(), std::filesystem::perms(0755));
  permFlag = 0700;
  std::string path = dir.path().string() + "/";
  while (path.size() < 1024) path += path.size() % 100 == 0 && path.back() != '/' ? '/' : 'd';
  EXPECT_TRUE(CreateDirectoryRecursive((path + "e").c_str()) == -1 && errno == -777);
  EXPECT_FALSE(std::filesystem::exists(path.substr(0, path.find('/', dir.path().string().size() + 1))));
  EXPECT_EQ(CreateDirectoryRecursive(path.c_str()) + CreateDirectoryRecursive(path.c_str()), 0);
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0700));
  EXPECT_TRUE(CreateDirectoryRecursive((dir.write("plain", "x") + "/sub").c_str()) == -1 && errno == ENOTDIR);
  // A parent that cannot be made fails the whole path: here one behind a dangling link.
  ASSERT_EQ(symlink((dir / "missing").c_str(), (dir / "dangling").c_str()), 0);
  EXPECT_EQ(CreateDirectoryRecursive((dir / "dangling/x/y").c_str()) + CreateDirectoryRecursive("") +
                CreateDirectoryRecursive(nullptr),
            -3);
  umask(oldMask), permFlag = 0755;
  // Comma-separated lists: integers with blanks (an empty list fails), strings quoted as they are.
  std::string list = "old";
  EXPECT_TRUE(!GetCommaSeperatedList(std::vector<int>{}, list) && list == "(");
  // Fault mended: values of more than seven characters overflowed a fixed scratch field.
  ASSERT_TRUE(GetCommaSeperatedList(std::vector<int>{INT_MIN, 10000000, INT_MAX}, list));
  EXPECT_EQ(list, "( -2147483648, 10000000, 2147483647)");
  std::vector<std::string> names = {"it's", "x y", ""};
  ASSERT_TRUE(GetCommaSeperatedList(names, names[0])) << "the output may be one of the values";
  EXPECT_EQ(names[0], "('it's','x y','')");
}

// Each class as published: its members, in list order where it has a list, its test and its list.
TEST(PackageCatalogue, EachClassIsItsPublishedSetAndList) {
  using Ids = std::vector<int>;
  using ZUInstallManager::PackageInformation;
  const Ids db = {801, 802, 804, 803, 805, 806, 807, 808, 809, 810, 811, 812, 813, 814,
                  815, 816, 851, 852, 853, 854, 855, 856, 857, 858, 859, 860, 861, 862};
  Ids nonDX;
  std::copy_if(db.begin(), db.end(), std::back_inserter(nonDX),
               [](int id) { return id != 801 && id != 802 && id != 804 && id != 851; });
  const std::tuple<const char*, bool (*)(const unsigned long&), void (*)(Ids&), Ids> classes[] = {
      {"database", IsDBPackage, GetAllDBPackages, db},
      {"database outside the central server", IsNonDX_DBPackage, nullptr, nonDX},
      {"base", IsBasePackage, GetAllBasePackages, {1, 1002, 1003, 2}},
      {"media agent", IsMediaAgentPackage, GetAllMediaAgentPackages, {51, 1301, 2003}},
      {"FS", IsFSPackage, nullptr, {1, 702, 1002, 1101, 2001}},
      {"SRM agent", IsSRMAgentPackage, nullptr, {402, 403, 404, 405, 406, 407, 408, 1123}},
      {"central server", nullptr, GetAllDXPackages, {20, 21, 801, 851}}};
  for (const auto& [name, test, list, members] : classes) {
    for (unsigned long id = 0; test != nullptr && id < 2100; ++id) {
      const bool member = std::count(members.begin(), members.end(), static_cast<int>(id)) != 0;
      EXPECT_EQ(test(id), member) << name << " " << id;
      EXPECT_TRUE(!member || !test(id + (1ul << 32))) << name << " " << id << " above the low 32 bits";
    }
    Ids ids(100, 7);
    EXPECT_EQ(list != nullptr ? (list(ids), ids) : members, members) << name << ": replaced, not appended";
  }
  for (int id : {5999, 6000, 7000, 7001}) EXPECT_EQ(isThirdPartyPackage(id), id >= 6000 && id <= 7000) << id;
  // Search: the first entry holding the id on its low 32 bits; entries without one never match.
  auto request = xutest::Parse(xutest::Data("utils-package-search"));
  auto* packages = zumsg::list<ZUInstallManager::Components::packages>(
      *XmlUtils::GetComponents(XmlUtils::GetClientComposition(request.get(), 0)));
  std::string modes;
  for (int id : {702, 802, 0, 801}) {
    const auto it = GetIterToPackageInVector(packages, id);
    modes += (it == packages->end() ? "-" : std::to_string(it->getint64(PackageInformation::packageMode))) +
             (FindPackageInVector(packages, id) ? "+ " : " ");
  }
  EXPECT_EQ(modes, "1+ 2+ - - ");
  EXPECT_FALSE(FindPackageInVector(nullptr, 702));
}

using ZUInstallManager::ClientSetup;
using ZUInstallManager::ClientsComposition;
using Wrapper = int (*)(const char*, char**, char*);

// Lines are joined with nothing between them; the error code is the request level's, when present; each
// failure has its text, success leaves the error alone; a load replaces the whole content. A text's load is the
// request fuzz corpus replay's: its refusal text, the error left alone and the content replaced whole.
TEST(RequestLoading, FileLinesJoinedErrorTextsAndTheRequestLevelErrorCode) {
  zutest::ScratchDir dir;
  const std::pair<const char*, const char*> cases[] = {
      // content; result, code, message and error shown
      {"<ClientSetup>\n<errorInfo errorCode=\"0\" errorMessage=\"disk\nfull\"/>\n</ClientSetup>\n",
       "0 0 diskfull kept"},
      // The carriage return stays in the text; XML reads it as a blank.
      {"<ClientSetup>\r\n<errorInfo errorMessage=\"disk\r\nfull\"/>\r\n</ClientSetup>", "0 -1 disk full kept"},
      {"<ClientSetup><errorInfo errorCode=\"-9223372036854775808\"/></ClientSetup>", "0 -9223372036854775808  kept"},
      {"<ClientSetup><clientComposition><errorInfo errorCode=\"5\"/></clientComposition></ClientSetup>", "0 -1  kept"},
      {"<ClientSetup\njobId=\"5\"/>", "-1 -1  Failed to unserialize XML blob from the input file."}};
  for (const auto& [content, shown] : cases) {
    auto* request = new ClientSetup;
    std::string error = "kept", path = dir.write("request.xml", content);
    const int result = PopulateClientSetupFromXmlFile(request, path, error);
    const auto* info = zumsg::object<ClientSetup::errorInfo>(*request);
    EXPECT_EQ(std::to_string(result) + " " + std::to_string(GetSIMErrorCodeFromXML(request)) + " " +
                  (info != nullptr ? info->getstring(ZUInstallManager::ErrorInfo::errorMessage) : "") + " " + error,
              shown);
    EXPECT_EQ(FreeMessageObject(request), 0);
  }
  EXPECT_EQ(GetSIMErrorCodeFromXML(nullptr) + FreeMessageObject(nullptr), -1);
  auto request = xutest::Parse(R"(<ClientSetup jobId="42"><errorInfo errorMessage="first"/></ClientSetup>)");
  std::string error = "kept", path = dir.write("good.xml", "<ClientSetup jobId=\"9\"/>\n");
  ASSERT_EQ(PopulateClientSetupFromXmlFile(request.get(), path, error), 0);
  EXPECT_TRUE(request->getint64(ClientSetup::jobId) == 9 && !request->isSet(ClientSetup::errorInfo));
  const auto shown = [&error](int result) { return std::to_string(result) + " " + error; };
  EXPECT_EQ(shown(ConvertStringToClientSetup("<ClientSetup/>", nullptr, error)), "-1 Invalid input given.");
  EXPECT_EQ(shown(PopulateClientSetupFromXmlFile(nullptr, path, error)), "-1 Invalid arguments");
}

// The output of a call expected to succeed; the array is released with delete[].
std::string Output(Wrapper wrapper, const std::string& input) {
  char* output = nullptr;
  EXPECT_EQ(wrapper(input.c_str(), &output, nullptr), 0) << input;
  return output != nullptr ? std::unique_ptr<char[]>(output).get() : "";
}

// Runs a wrapper with an error buffer of 80 '#' and shows "RESULT ERROR -> OUTPUT"; the output is
// "untouched" when the caller's pointer was left alone, a cipher text shows as its form and plain text.
std::string Call(Wrapper wrapper, const char* input) {
  static char sentinel;
  char error[81] = {}, *output = &sentinel;
  std::memset(error, '#', 80);
  const int result = wrapper(input, &output, error);
  const std::size_t length = error[0] == '#' ? 0 : std::strlen(error);
  EXPECT_TRUE(length <= 75 && error[length == 0 ? 0 : length + 1] == '#') << "wrote past its text";
  const std::string shown = std::to_string(result) + " " + std::string(error, length) + " -> ";
  const std::string text = output == &sentinel ? "untouched" : std::unique_ptr<char[]>(output).get();
  const bool cipher = text.rfind("V3:", 0) == 0 || text.rfind("V8:", 0) == 0;
  return shown + (cipher ? text.substr(0, 3) + Output(ZUDecryptPassword, text) : text);
}

// Conversions there and back are the decrypt fuzz corpus replay's round trip.
TEST(PasswordWrappers, ResultErrorTextAndOutput) {
  const std::string v3 = Output(ZUEncryptPassword, "pw"), v8 = Output(ZUEncryptPassword_V8, "pw");
  // Forged texts have the right shape: the size query passes, the second call fails.
  std::string forgedV3 = v3, forgedV8 = v8;
  for (std::string* forged : {&forgedV3, &forgedV8}) (*forged)[5] = (*forged)[5] == 'A' ? 'B' : 'A';
  const std::string lengthError = "-1 An invalid length of encrypted string is passed to decrypt. Decrypt failed. -> ";
  const std::string encryptLength = "-1 Failed to encrypt password to get length, error 22 -> untouched";
  const std::string decryptLength = "-1 Failed to decrypt password to get length, error 22 -> untouched";
  const std::tuple<const char*, Wrapper, std::string, std::string> rows[] = {
      {"EncryptV3", ZUEncryptPassword, "s3cret pass", "0  -> V3:s3cret pass"},
      {"EncryptV8", ZUEncryptPassword_V8, std::string(700, 'p'), "0  -> V8:" + std::string(700, 'p')},
      {"ConvertToV3OfV3", ZUPasswordConvert_V8ToV3, v3, encryptLength},
      {"ConvertToV8OfV8", ZUPasswordConvert_V3ToV8, "V8:" + v3.substr(3), encryptLength},
      {"DecryptPlainText", ZUDecryptPassword, "plain text", decryptLength},
      // 2048 characters reach the cipher, 2049 and none do not.
      {"DecryptEmpty", ZUDecryptPassword, "", lengthError + "untouched"},
      {"Decrypt2048", ZUDecryptPassword, "V3:" + std::string(2045, 'A'), decryptLength},
      {"Decrypt2049", ZUDecryptPassword, "V3:" + std::string(2046, 'A'), lengthError + "untouched"},
      // Refused in the second call: the zero-filled array is already the caller's.
      {"DecryptForged", ZUDecryptPassword, forgedV3, "-1 Failed to decrypt password, error 22 -> "},
      {"ConvertToV3Forged", ZUPasswordConvert_V8ToV3, forgedV8, "-1 Failed to encrypt password, error 22 -> "},
      {"ConvertToV8Forged", ZUPasswordConvert_V3ToV8, forgedV3, "-1 Failed to encrypt password, error 22 -> "}};
  // The length is tested before the output pointer, so a bad length names itself.
  char lengthText[81] = {};
  EXPECT_EQ(ZUDecryptPassword("", nullptr, lengthText), -1);
  EXPECT_EQ("-1 " + std::string(lengthText) + " -> untouched", lengthError + "untouched");
  for (const auto& [name, wrapper, input, shown] : rows) {
    EXPECT_EQ(Call(wrapper, input.c_str()), shown) << name;
    EXPECT_EQ(Call(wrapper, nullptr), "-1 Invalid arguments passed. -> untouched") << name;
    EXPECT_EQ(wrapper(v3.c_str(), nullptr, nullptr), -1) << name;
  }
  // The one-call forms offer the cipher 1023 characters and return its error number.
  const std::string fits(737, 'x');  // encrypts to exactly 1023 characters
  std::string cipher = "untouched";
  ASSERT_TRUE(UtilEncrypt(fits.c_str(), cipher) == 0 && cipher.size() == 1023u);
  const std::tuple<int (*)(const char*, std::string&), std::string, std::string> oneCall[] = {
      {UtilDecrypt, cipher, "0 " + fits},
      {UtilEncrypt, fits + "x", "34 untouched"},
      {UtilDecrypt, Output(ZUEncryptPassword, std::string(1024, 'y')), "34 untouched"},
      {UtilDecrypt, "V3:bad", "22 untouched"},
      {UtilEncrypt, "", "-1 untouched"},
      {UtilDecrypt, "", "-1 untouched"}};
  for (const auto& [call, input, shown] : oneCall) {
    std::string output = "untouched";
    const int result = call(input.empty() ? nullptr : input.c_str(), output);
    EXPECT_EQ(std::to_string(result) + " " + output, shown) << input.substr(0, 20);
  }
}

std::string ClientEntry(const std::string& password) {
  return "<clientComposition><clientInfo><client clientPassword=\"" + password +
         "\"/></clientInfo></clientComposition>";
}

// Converts each client password in order, skips entries without one and stops at the first refusal; each
// entry's password shows after, "-" for none, converted ones decrypted.
TEST(ReEncryptInputRequestNetPwdV8ToV3, ConvertsUntilTheFirstRefusal) {
  const std::string one = Output(ZUEncryptPassword_V8, "one"), three = Output(ZUEncryptPassword_V8, "three");
  const std::tuple<std::string, int, std::string, std::string, bool> cases[] = {
      {ClientEntry(one) + "<clientComposition><clientInfo><client/></clientInfo></clientComposition>"
                          "<clientComposition/><clientComposition><clientInfo/></clientComposition>",
       0, "untouched", "V3:one - - - ", false},
      {ClientEntry(one) + ClientEntry(Output(ZUEncryptPassword, "two")) + ClientEntry(three), -22,
       "Failed to encrypt password to get length, error 22", "V3:one V3:two " + three + " ", false},
      // Fault mended: a present client field holding no object, which XML cannot say, was dereferenced.
      {"<clientComposition><clientInfo/></clientComposition>", 0, "untouched", "- ", true},
      {"", -22, "Invalid arguments passed.", "", false}};
  for (const auto& [entries, result, expectedError, after, hollow] : cases) {
    auto request = xutest::Parse("<ClientSetup>" + entries + "</ClientSetup>");
    auto* first = XmlUtils::GetClientComposition(request.get(), 0);
    if (hollow) xutest::HoldNoObject<App::ClientInfo::client>(*zumsg::object<ClientsComposition::clientInfo>(*first));
    ClientSetup* pointer = entries.empty() ? nullptr : request.get();
    std::string error = "untouched", shown;
    EXPECT_EQ(ReEncryptInputRequestNetPwdV8ToV3(pointer, error), result);
    EXPECT_EQ(pointer == request.get() || entries.empty() ? error : "request replaced", expectedError);
    for (ClientsComposition& entry : zumsg::listCreate<ClientSetup::clientComposition>(*request)) {
      std::string password = "-";
      XmlUtils::GetClientPassword(&entry, password);
      shown += (password.rfind("V3:", 0) == 0 ? "V3:" + Output(ZUDecryptPassword, password) : password) + " ";
    }
    EXPECT_EQ(shown, after);
  }
}

}  // namespace
