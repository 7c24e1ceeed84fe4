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
// is kept, or to the end of the text. The logger's escapes of blanks (\n, \r, \t written as two characters)
// count as blanks there too. A quote escaped by one backslash opens a value as well (JSON's \", as text stands in
// an event log): that value ends before the last of an odd run of backslashes before its closing quote, which
// escapes it, and takes in an even run (escaped backslashes, then the quote ending the JSON string), so that the
// escaped quotes and the string's end are kept and the line stays valid JSON. Each run of overlapping values
// becomes kMask; an unclosed value replaces the rest of the text with kMask.
std::string MaskText(std::string_view text);
// XML the message library serialized: exactly the values of the five secret attributes become "********".
// Names are matched whole; a value that merely ends in a name masks nothing. Text not laid out as the library
// writes it (a single quote outside values, a value never closed or opened with no "=" before it, a secret
// name ending a longer word) is masked as MaskText does from the end of the last secret value before it. A
// backslash is an ordinary byte of a value there: the library writes a quote in a value as &quot;, so a
// backslash before a quote is one ending a value.
std::string MaskSerialized(std::string_view xml);

// Where a value that masking changes starts: line and column from 1, in bytes, and the secret name before it.
struct Finding {
  std::uint64_t line;
  std::uint64_t column;
  std::string_view name;
};

// Masks a text that arrives in pieces of any size: the bytes appended over all Feed calls and Finish are exactly
// what MaskText gives for the whole text, wherever the pieces break. Memory stays bounded by the largest piece
// and a few dozen bytes of state (the letters before a run of blanks, the open values), not by the text.
// A text in UTF-16 or UTF-32 (a byte-order mark, or XML's "<?" in either, with no mark) is masked in its own
// encoding instead: each code unit below 0x80 read as that character, every other one as a character that is
// no blank, quote, "=" or letter, and each masked value written as kMask in the text's units and byte order.
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
  // Those values' positions, when `record` is set (before the first Feed); settled ones only. The column counts
  // bytes of the text as given, code units times their width in UTF-16 and UTF-32.
  void Record(std::vector<Finding>* record) noexcept { record_ = record; }
  // Bytes in a code unit of the text (of the last one after Finish): 1, or 2 or 4 for UTF-16 or UTF-32.
  std::size_t UnitWidth() const noexcept { return width_; }

 private:
  // A value whose closing quote is still to come.
  struct OpenValue {
    bool open = false;
    std::uint64_t start = 0;
    std::string head;  // its first bytes, up to one more than kMask has
    std::uint64_t line = 0, column = 0;
    std::string_view name;
    bool escaped = false;  // opened by a backslash and a quote: ends before a backslash that escapes its closing one
  };
  void Start(std::string& out);
  void Scan(std::string_view view, std::string_view source, std::string& out);
  void OnQuote(std::size_t at, std::string_view view, bool opens, bool escaped, std::string_view source,
               std::string& out);
  void Close(OpenValue& value, std::uint64_t end, std::string_view view, bool closing = true);
  void Emit(std::string_view source, std::size_t from, std::size_t to, std::string& out) const;
  void EmitAsUnits(std::string_view text, std::string& out) const;
  void CountLines(std::string_view view, std::size_t to);
  void Reset();

  std::string head_;           // the first bytes, until the encoding is known
  bool started_ = false;       // the encoding is known
  std::size_t width_ = 1;      // bytes per code unit
  bool bigEndian_ = false;     // of the code units
  std::string carry_;          // the bytes of a code unit split between pieces
  std::string units_, view_;   // a piece's whole code units, and one byte for each
  std::string context_;        // what the text before the piece ends with, as far as a name before "=" matters
  std::uint64_t base_ = 0;     // units before the piece
  std::uint64_t emitted_ = 0;  // units settled and appended, or replaced by the mask appended
  bool afterEquals_ = false;   // a secret name and "=" are read, blanks after it now
  bool backslashDue_ = false;  // and the piece ended in a backslash that may start an escaped blank or quote
  std::string_view equalsName_;
  OpenValue double_, single_;  // the values open, at most one for each quote
  std::uint64_t line_ = 1, lineStart_ = 0, counted_ = 0;
  std::uint64_t backslashes_ = 0;  // the backslashes that the text before the piece ends with
  std::uint64_t masked_ = 0;
  std::vector<Finding>* record_ = nullptr;
};

// Appends `text` with its control characters written as \n, \r, \t or \xHH (DEL included), and the
// characters that some readers also take for line ends (U+0085, U+2028, U+2029) as \u0085, \u2028, \u2029, so
// that it cannot start a line of its own.
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
// value included) with `count` asterisks. A key that ends in a quote is followed by its value, which runs to the
// next quote of that kind. After any other key, optional blanks, "=" (unless the key ends in one), blanks and an
// opening quote still belong to the key, and the value runs to the next quote of the opening one's kind; with no
// such quote there, the value starts right after the key and runs to the next ". A value never closed runs to
// the end of the text; overlapping values are replaced together. An empty key
// changes nothing; when memory runs out the text is cut before the first value left unmasked.
void MaskKey(std::string& text, std::string_view key, std::size_t count) noexcept;

}  // namespace zumask
