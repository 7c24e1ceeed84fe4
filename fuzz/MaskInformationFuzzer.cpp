// Masks untrusted text: no token planted after a secret name, in any spelling and surroundings, survives
// MaskText, nor MaskInformation with its own key, spelt to its quote or short of it. The same text fed to the
// streaming masker in pieces that break anywhere comes out as MaskText gives it, in UTF-16 too. The library's XML of a
// request whose other values come from the input masks into exactly the XML of the same request with the mask already
// in its secrets. A log entry composed in place is the one composed by copying, and holds no line end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "MaskModel.h"
#include "ZUInstallLog.h"
#include "ZUInstallMask.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = zufuzz::PlantSecrets(data, size);
  zufuzz::Require(zumask::MaskText(text).find('~') == std::string::npos, "no planted secret survives", text);
  static const char* const kKeys[] = {"pExecAccess=\"", "pExecAccess=", "pExecAccess"};
  const char* const key = kKeys[size % 3];
  std::string keyed = zufuzz::PlantSecrets(data, size, key);
  MaskInformation(keyed, key, size % 11);
  zufuzz::Require(keyed.find('~') == std::string::npos, "no value survives its key", keyed);

  // Streamed in pieces of 0 to 16 bytes (a few far longer), as bytes and as UTF-16 with a byte-order mark: the
  // latter must be MaskText's answer with each byte made a code unit, as no byte above 0x7F is special to it.
  const std::string whole = zumask::MaskText(text);
  std::string units = size % 2 != 0 ? "\xFE\xFF" : "\xFF\xFE", expectedUnits = units;
  for (const char c : text) units += size % 2 != 0 ? std::string{'\0', c} : std::string{c, '\0'};
  for (const char c : whole) expectedUnits += size % 2 != 0 ? std::string{'\0', c} : std::string{c, '\0'};
  std::minstd_rand random(static_cast<unsigned>(size) + 1);
  std::vector<zumask::Finding> inOne, inPieces;
  for (const auto& [subject, expected] : {std::pair{text, whole}, std::pair{units, expectedUnits}}) {
    zumask::StreamMasker streamed, inOnePiece;
    std::string out, outInOne;
    streamed.Record(&inPieces);
    inOnePiece.Record(&inOne);
    for (std::size_t at = 0, piece; at < subject.size(); at += piece) {
      piece = std::min<std::size_t>(subject.size() - at, random() % 8 == 0 ? random() % 300 : random() % 17);
      streamed.Feed(std::string_view(subject).substr(at, piece), out);
    }
    streamed.Finish(out);
    inOnePiece.Feed(subject, outInOne);
    inOnePiece.Finish(outInOne);
    zufuzz::Require(out == expected && outInOne == expected, "streamed as masked whole", subject);
    zufuzz::Require((streamed.Masked() != 0) == (expected != subject), "a value counted where masking changed",
                    subject);
    for (std::size_t cut = 0; subject.size() <= 1024 && cut <= subject.size(); ++cut) {  // in two, anywhere
      zumask::StreamMasker inTwo;
      std::string halves;
      inTwo.Feed(std::string_view(subject).substr(0, cut), halves);
      inTwo.Feed(std::string_view(subject).substr(cut), halves);
      inTwo.Finish(halves);
      zufuzz::Require(halves == expected, "split in two as masked whole", subject);
    }
  }
  zufuzz::Require(inOne.size() == inPieces.size() && std::equal(inOne.begin(), inOne.end(), inPieces.begin(),
                                                                [](const zumask::Finding& a, const zumask::Finding& b) {
                                                                  return a.line == b.line && a.column == b.column &&
                                                                         a.name == b.name;
                                                                }),
                  "the same values found wherever the pieces break", text);

  // No line end of any reader's survives escaping.
  std::string escaped;
  zumask::AppendEscaped(escaped, std::string_view(reinterpret_cast<const char*>(data), size));
  for (const char* end :
       {"\n", "\r", "\x0b", "\x0c", "\x1c", "\x1d", "\x1e", "\xc2\x85", "\xe2\x80\xa8", "\xe2\x80\xa9"}) {
    zufuzz::Require(escaped.find(end) == std::string::npos, "no line end left unescaped", escaped);
  }

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
