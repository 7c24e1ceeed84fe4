// Masks untrusted text: no token planted after a secret name, in any spelling and surroundings, survives
// MaskText, nor MaskInformation with its own key. The library's XML of a request whose other values come from
// the input masks into exactly the XML of the same request with the mask already in its secrets. And a log
// entry composed in place is the one composed by copying.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "MaskModel.h"
#include "ZUInstallLog.h"
#include "ZUInstallMask.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = zufuzz::PlantSecrets(data, size);
  zufuzz::Require(zumask::MaskText(text).find('~') == std::string::npos, "no planted secret survives", text);
  std::string keyed = zufuzz::PlantSecrets(data, size, "pExecAccess=\"");
  MaskInformation(keyed, "pExecAccess=\"", size % 11);
  zufuzz::Require(keyed.find('~') == std::string::npos, "no value survives its key", keyed);

  std::vector<std::string> values(1);  // the input split at NUL bytes
  for (std::size_t i = 0; i < size; ++i) data[i] == 0 ? values.emplace_back() : values.back() += char(data[i]);
  // A log entry composed in the text's own memory is the one composed by copying.
  const auto requireComposedAsCopied = [&values](std::string subject) {
    std::string copied = values[0].substr(0, values.size() * 7 % 40);
    zumask::AppendMaskedSerialized(copied, subject, zumask::Controls::kEscape);
    zumask::ComposeSerialized(subject, values[0].substr(0, values.size() * 7 % 40));
    zufuzz::Require(subject == copied, "composed in place as by copying", copied);
  };
  requireComposedAsCopied(text);
  const std::string shape =
      "<ClientSetup><clientAuthentication><userAccount/></clientAuthentication><clientComposition><clientInfo><client>"
      "<clientEntity/></client></clientInfo></clientComposition><organizationInfo/></ClientSetup>";
  ZUInstallManager::ClientSetup request, expected;
  zufuzz::Require(request.unserialize(shape) == 0 && expected.unserialize(shape) == 0, "the shape loads");
  zufuzz::SetTexts(request, values, "~secret~");
  zufuzz::SetTexts(expected, values, std::string(zumask::kMask));
  std::string xml;
  if (zufuzz::Serialize(request, xml) != 0) return 0;  // not UTF-8, or not XML's characters
  zufuzz::Require(zumask::MaskSerialized(xml) == zufuzz::MustSerialize(expected, "the copy serializes"),
                  "exactly the secrets are masked", xml);
  requireComposedAsCopied(xml);
  return 0;
}
