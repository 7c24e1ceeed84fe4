// Secret masking and control-character escaping, shared by the logger and zu-request. Internal: nothing here is
// exported from libZuInstall.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zumask {

// What a masked value becomes.
inline constexpr std::string_view kMask = "********";

// Any text (a log, a saved request, a bundle): every byte of a value that follows one of the five secret
// names written as XML allows becomes masked; every other byte unchanged (no escaping of any kind).
// A name counts wherever it stands, even inside another value or a longer name: it is followed by optional
// blanks, tabs or line breaks, "=", optional blanks again and a " or '; its value runs to the same quote, which
// is kept, or to the end of the text. Each run of overlapping values becomes kMask; an unclosed value
// replaces the rest of the text with kMask.
std::string MaskText(std::string_view text);
// XML the message library serialized: exactly the values of the five secret attributes become "********".
// Names are matched whole; a value that merely ends in a name masks nothing. Text not laid out as the library
// writes it (a single quote outside values, a value never closed or opened with no "=" before it, a secret
// name ending a longer word) is masked as MaskText does from the end of the last secret value before it.
std::string MaskSerialized(std::string_view xml);

// Where a value that masking changes starts: line and column from 1, in bytes, and the secret name before it.
struct Finding {
  std::uint64_t line;
  std::uint64_t column;
  std::string_view name;
};

// Masks a text that arrives in pieces of any size: the bytes appended over all Feed calls and Finish are exactly
// what MaskText gives for the whole text, wherever the pieces break. Memory stays bounded by the longest
// stretch that is still undecided (a name, its "=", blanks and quote), not by the text.
class StreamMasker {
 public:
  StreamMasker();
  ~StreamMasker();
  StreamMasker(const StreamMasker&) = delete;
  StreamMasker& operator=(const StreamMasker&) = delete;

  // Appends to `out` whatever of the text fed so far is settled.
  void Feed(std::string_view piece, std::string& out);
  // Appends the rest; the masker then starts afresh on a new text.
  void Finish(std::string& out);
  // The values masked so far whose bytes masking changed (a value that already is kMask does not count).
  std::uint64_t Masked() const noexcept { return masked_; }
  // Those values' positions, when `record` is set; settled ones only.
  void Record(std::vector<Finding>* record) noexcept { record_ = record; }

 private:
  std::string pending_;
  std::uint64_t masked_ = 0;
  std::vector<Finding>* record_ = nullptr;
};

// Appends `text` with its control characters written as \n, \r, \t or \xHH (DEL included), so that it
// cannot start a line of its own.
void AppendEscaped(std::string& out, std::string_view text);

// What the Append functions do to the bytes they keep.
enum class Controls { kKeep, kEscape };
// MaskText and MaskSerialized appending to `out`, in one pass that also escapes when asked.
void AppendMaskedText(std::string& out, std::string_view text, Controls controls);
void AppendMaskedSerialized(std::string& out, std::string_view xml, Controls controls);
// Turns `xml` into `prefix` followed by what AppendMaskedSerialized appends with Controls::kEscape, reusing the
// text's own memory where it can: a log entry composed with no second copy of the text.
void ComposeSerialized(std::string& xml, std::string_view prefix);

// Replaces, in place, the value after every occurrence of `key` (overlapping ones and those inside another
// value included) with `count` asterisks. A value runs to the next quote of the key's own kind (its last byte
// when that is ' , else ") or to the end of the text; overlapping values are replaced together. An empty key
// changes nothing; when memory runs out the text is cut before the first value left unmasked.
void MaskKey(std::string& text, std::string_view key, std::size_t count) noexcept;

}  // namespace zumask
