// Masks untrusted text. The result equals a byte-at-a-time model of the rule
// (a key counts only outside every quoted value; its value runs to the next
// double quote, kept, or "<", or the end), with the logger's keys and with a
// key and count taken from the input; masking masked text changes nothing.
// And whatever the attribute values around them hold, the secrets of a
// request written as the message library writes it never survive masking.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "MaskModel.h"
#include "ZUInstallLog.h"

namespace {

constexpr const char* kLoggerKeys[] = {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\"",
                                       "authCode=\""};
constexpr unsigned long kLoggerCount = 8;

void MaskAsLogger(std::string& text) {
  for (const char* key : kLoggerKeys) MaskInformation(text, key, kLoggerCount);
}

// Escapes a value as the message library's writer does; '~' is dropped, so
// only the secrets below hold one.
std::string Escaped(const std::string& value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '~': break;
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
  return out;
}

// A request whose every other attribute value is a piece of the input (split
// at NUL bytes, so a value may end in any name and "=").
void RequireSecretsNeverSurvive(const std::string& input) {
  std::vector<std::string> values(1);
  for (char c : input) {
    if (c == '\0') {
      values.emplace_back();
    } else {
      values.back() += c;
    }
  }
  std::size_t next = 0;
  auto value = [&] { return Escaped(values[next++ % values.size()]); };
  const std::string secret = "~S3cret-1~";
  std::string xml = "<ClientSetup jobId=\"" + value() + "\"><clientAuthentication><userAccount userName=\"" + value() +
                    "\" password=\"" + secret + "\" domainName=\"" + value() + "\"/></clientAuthentication>";
  for (int client = 0; client < 2; ++client) {
    xml += "<clientComposition><clientInfo><client clientPassword=\"" + secret + "\" zudPort=\"" + value() +
           "\"><clientEntity clientName=\"" + value() + "\" hostName=\"" + value() +
           "\"/></client></clientInfo>"
           "</clientComposition>";
  }
  xml += "<organizationInfo authCode=\"" + secret + "\" x=\"" + value() + "\"/><proc pExecAccess=\"" + secret +
         "\" pAccess=\"" + secret + "\"/></ClientSetup>";
  MaskAsLogger(xml);
  zufuzz::Require(xml.find('~') == std::string::npos, "no secret survives around any attribute value", xml);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text = zufuzz::Text(data, size);
  std::string expected = text;
  for (const char* key : kLoggerKeys) expected = zufuzz::MaskModel(expected, key, kLoggerCount);
  MaskAsLogger(text);
  zufuzz::Require(text == expected, "the logger's masking follows the rule", expected);
  std::string again = text;
  MaskAsLogger(again);
  zufuzz::Require(again == text, "masking masked text changes nothing");
  RequireSecretsNeverSurvive(zufuzz::Text(data, size));

  // Selector byte: key length in the low four bits, count in the high four
  // (0 to 30, even); the key is the next bytes, the text the rest.
  const zufuzz::Selector s = zufuzz::TakeSelector(data, size);
  const std::size_t keyLength = s.value & 0x0F;
  if (s.size < keyLength) return 0;
  const std::string key(reinterpret_cast<const char*>(s.data), keyLength);
  const std::size_t count = (s.value >> 4) * 2;
  std::string subject(reinterpret_cast<const char*>(s.data) + keyLength, s.size - keyLength);
  const std::string model = zufuzz::MaskModel(subject, key, count);
  MaskInformation(subject, key, count);
  zufuzz::Require(subject == model, "masking follows the rule for any key and count", "key: " + key);
  return 0;
}
