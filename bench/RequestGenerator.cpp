#include "RequestGenerator.h"

#include <charconv>
#include <cstdint>
#include <string_view>

namespace {

constexpr std::uint64_t kSeed = 0x5A17C0DEB0057EEDull;

// splitmix64: every client draws from its own stream, so entry i never
// depends on how many entries come before or after it.
class Stream {
 public:
  explicit Stream(std::uint64_t index) : state_(kSeed ^ (index * 0x9E3779B97F4A7C15ull)) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

 private:
  std::uint64_t state_;
};

struct Os {
  std::string_view name;
  std::string_view detail;
};
constexpr Os kOses[] = {
    {"Linux", "Debian 12 x86_64"},
    {"Linux", "Rocky Linux 9.3 x86_64"},
    {"Linux", "Ubuntu 22.04 x86_64"},
    {"Linux", "SUSE Linux Enterprise Server 15 SP5"},
    {"Windows", "Windows Server 2022 Datacenter"},
    {"Windows", "Windows Server 2019 Standard"},
    {"AIX", "AIX 7.3 TL1"},
};
constexpr std::string_view kRoles[] = {"web", "db", "app", "file", "mail", "proxy", "build", "ci"};
constexpr std::string_view kReleases[] = {"11.0.0 (B80)", "11.32.14 (B80)"};
constexpr std::string_view kPolicies[] = {"sp-gold", "sp-silver", "sp-bronze", "sp-archive-7y"};
// Three packages per client: a base package, an agent and a database or media package.
constexpr int kPackageSets[][3] = {
    {1002, 51, 702}, {1, 1101, 805}, {1002, 20, 51}, {1, 702, 857}, {1002, 1101, 24}, {1, 51, 1301},
};
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHex[] = "0123456789ABCDEF";

void AppendNumber(std::string& out, long long value) {
  char digits[24];
  out.append(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
}

void AppendPadded(std::string& out, std::size_t value, int width) {
  char digits[24];
  char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (int pad = width - static_cast<int>(end - digits); pad > 0; --pad) out += '0';
  out.append(digits, static_cast<std::size_t>(end - digits));
}

// 8-4-4-4-12 upper-case hex with the version and variant nibbles of a random GUID.
void AppendGuid(std::string& out, Stream& s) {
  const std::uint64_t hi = s.next();
  const std::uint64_t lo = s.next();
  char guid[36];
  int n = 0;
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) guid[n++] = '-';
    unsigned nibble = static_cast<unsigned>(((i < 16 ? hi : lo) >> (4 * (15 - i % 16))) & 0xF);
    if (i == 12) nibble = 4;
    if (i == 16) nibble = 8 | (nibble & 3);
    guid[n++] = kHex[nibble];
  }
  out.append(guid, sizeof guid);
}

// "V8:" and the base64 of a 12-byte nonce, a 16-byte ciphertext and a 16-byte tag.
void AppendV8Password(std::string& out, Stream& s) {
  unsigned char bytes[44];
  for (std::size_t i = 0; i < sizeof bytes; i += 4) {
    const std::uint64_t r = s.next();
    for (std::size_t k = 0; k < 4; ++k) bytes[i + k] = static_cast<unsigned char>(r >> (8 * k));
  }
  out += "V8:";
  std::size_t i = 0;
  for (; i + 3 <= sizeof bytes; i += 3) {
    const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8);  // 44 = 3 * 14 + 2
  out += kBase64[v >> 18];
  out += kBase64[(v >> 12) & 63];
  out += kBase64[(v >> 6) & 63];
  out += '=';
}

void AppendHeader(std::string& out) {
  out +=
      "<ClientSetup requestType=\"1\" localeId=\"1033\" jobId=\"5120\" operationType=\"20\""
      " requestFlags=\"17309696\" xmlRequestId=\"9002\">"
      "<user userId=\"7\"/>"
      "<dxInfo connectionUrl=\"https://dx01.example.com/zu\" networkGateway=\"gw01.example.com:8403\">"
      "<dxClient clientId=\"2\" clientName=\"dx01\" hostName=\"dx01.example.com\" dxId=\"2\" clientType=\"3\""
      " clientGUID=\"5C2E0F8A-6A0B-4B8C-9E47-0D1F2A3B4C5D\"/></dxInfo>"
      "<clientAuthentication><userAccount userName=\"svc-install\""
      " password=\"V8:F7xetv3G/JjO4PQ7EgslzugMOgHl1KE5o2g2+6mmgw3Pp0JQoQDjqjClVA==\" domainName=\"CORP\"/>"
      "</clientAuthentication>";
}

void AppendTrailer(std::string& out) {
  out +=
      "<installOptions upgradeMode=\"0\" userAuthenticationRequested=\"1\">"
      "<firewallConfig firewallValue1=\"proxy01.dmz.example.com\" firewallValue2=\"8403\" firewallNumber=\"1\""
      " firewallConfigBlock=\"outgoing:proxy01.dmz.example.com:8403\"/></installOptions>"
      "<organizationInfo authCode=\"7F3K-2QX9-LM4P\"/></ClientSetup>";
}

void AppendClient(std::string& out, std::size_t index) {
  Stream s(index);
  const std::string_view role = kRoles[s.below(std::size(kRoles))];
  const Os& os = kOses[s.below(std::size(kOses))];

  out += "<clientComposition operationType=\"20\"><clientInfo><client clientPassword=\"";
  AppendV8Password(out, s);
  out += s.below(4) == 0 ? "\" zudPort=\"8600\">" : "\" zudPort=\"8400\">";

  out += "<clientEntity clientId=\"";
  AppendNumber(out, 100000 + static_cast<long long>(index));
  out += "\" clientName=\"";
  out += role;
  AppendPadded(out, index, 6);
  out += "\" hostName=\"";
  out += role;
  AppendPadded(out, index, 6);
  out += ".site";
  AppendPadded(out, s.below(40), 2);
  out += ".example.com\" clientGUID=\"";
  AppendGuid(out, s);
  out += "\"/><osInfo osName=\"";
  out += os.name;
  out += "\" osDetail=\"";
  out += os.detail;
  out += "\"/><versionInfo><release releaseName=\"";
  out += kReleases[s.below(std::size(kReleases))];
  out += "\"/></versionInfo></client></clientInfo><components>";

  for (int id : kPackageSets[s.below(std::size(kPackageSets))]) {
    out += "<packages packageId=\"";
    AppendNumber(out, id);
    out += "\" packageMode=\"1\"/>";
  }
  out += "<policySettings><storagePolicy storagePolicyName=\"";
  out += kPolicies[s.below(std::size(kPolicies))];
  out += "\"/></policySettings></components>";

  out += "<patchInformation spVersion=\"SP32\" spNumber1=\"11\" spText=\"32\" spNumber2=\"32\" spNumber3=\"";
  AppendNumber(out, static_cast<long long>(s.below(20)));
  out += "\" spNumber4=\"0\"/></clientComposition>";
}

}  // namespace

namespace zubench {

std::string GenerateRequest(std::size_t clients) {
  std::string out;
  out.reserve(1024 + clients * 832);
  AppendHeader(out);
  for (std::size_t i = 0; i < clients; ++i) AppendClient(out, i);
  AppendTrailer(out);
  return out;
}

std::string GenerateRequestOfSize(std::size_t bytes) {
  std::string trailer;
  AppendTrailer(trailer);
  std::string out;
  out.reserve(bytes + 2048);
  AppendHeader(out);
  for (std::size_t i = 0; out.size() + trailer.size() < bytes; ++i) AppendClient(out, i);
  out += trailer;
  return out;
}

}  // namespace zubench
