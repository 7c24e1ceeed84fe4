// zu-request check: one expat pass of its own over each request that reports
// every name the loader would skip, every value it would refuse or misread,
// and every client entered twice. Classes and fields come from the same
// schema descriptors the loader is built from; the loader itself is not run.
#include <expat.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Commands.h"
#include "RequestFacts.h"
#include "RequestSchema.h"
#include "ZUInstallUtils.h"

namespace zutool {

namespace {

using zumsg::ClassInfo;
using zumsg::FieldId;
using zumsg::FieldInfo;
using zumsg::FieldKind;
namespace Msg = ZUInstallManager;

// The loader refuses deeper documents, so a check goes no further either.
constexpr int kMaxDepth = 64;
// XML_ParseBuffer takes an int length: the most read into the parser at once.
constexpr std::size_t kMaxPiece = INT_MAX / 2;
// The least read into the parser at once.
constexpr std::size_t kMinRead = std::size_t{64} << 10;
// Findings kept at most: about as much memory as the input's cap.
constexpr std::size_t kMaxFindings = std::size_t{1} << 20;
// A cipher text carries at least a 12-byte nonce and a 16-byte tag.
constexpr std::size_t kMinCipherPayload = 28;

// A masked password as logs and `mask` write it: a copy taken from a log is no finding.
constexpr std::string_view kMasked = "********";
// Longer names are cut in messages, with their length.
constexpr std::size_t kMaxShownName = 64;

struct Position {
  unsigned long line = 0;
  unsigned long column = 0;
};

// `error` where the loader refuses the document or value, `warning` where it
// skips a name or takes a value other than meant.
enum class Severity { kError, kWarning };

struct Finding {
  Position at;
  Severity severity;
  const char* kind;
  std::string message;
  std::string suggestion;
  std::optional<std::pair<Position, std::string>> note;  // where the finding points back to
};

// The text the pass may still ask positions of: from the first byte not yet
// counted to the last one read. What lies before is dropped as the pass moves
// on, so the pass holds a piece of the text, never all of it.
class Window {
 public:
  void Append(const char* bytes, std::size_t count) { bytes_.append(bytes, count); }
  void DropBefore(std::size_t offset) {
    offset = std::clamp(offset, begin_, end());
    bytes_.erase(0, offset - begin_);
    begin_ = offset;
  }
  std::size_t end() const { return begin_ + bytes_.size(); }
  char operator[](std::size_t offset) const { return bytes_[offset - begin_]; }
  // The bytes from `offset` (not dropped yet) to the last one read.
  std::string_view From(std::size_t offset) const {
    return std::string_view(bytes_).substr(std::min(offset - begin_, bytes_.size()));
  }

 private:
  std::string bytes_;
  std::size_t begin_ = 0;  // offset in the text of bytes_[0]
};

// Counts lines and columns as the GNU Coding Standards do (columns from 1,
// tab stops every 8, one column per UTF-8 character), moving forward only,
// so the pass stays linear however long its lines. Positions are asked in
// document order; an earlier offset gets the latest position.
class PositionCounter {
 public:
  explicit PositionCounter(const Window& text) : text_(text) {}

  Position At(std::size_t offset) {
    offset = std::clamp(offset, offset_, text_.end());
    for (; offset_ < offset; ++offset_) {
      const unsigned char c = static_cast<unsigned char>(text_[offset_]);
      if (c == '\n' || (c == '\r' && (offset_ + 1 == text_.end() || text_[offset_ + 1] != '\n'))) {
        ++line_;
        column_ = 0;
      } else if (c == '\t') {
        column_ = (column_ / 8 + 1) * 8;
      } else if ((c & 0xC0) != 0x80 && c != '\r') {
        ++column_;
      }
    }
    return {line_, column_ + 1};
  }
  std::size_t offset() const { return offset_; }

 private:
  const Window& text_;
  std::size_t offset_ = 0;
  unsigned long line_ = 1;
  unsigned long column_ = 0;
};

// Returns the offsets in `text` of the attribute names of the start tag it
// begins with, in order: tags hold no '<', values are quoted. Empty when the
// text there is no start tag this scan reads (another encoding, say).
std::vector<std::size_t> AttributeOffsets(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  std::vector<std::size_t> names;
  if (text.empty() || text[0] != '<') return {};
  std::size_t at = 1;
  while (at < text.size() && !blank(text[at]) && text[at] != '>' && text[at] != '/') ++at;
  for (;;) {
    while (at < text.size() && blank(text[at])) ++at;
    if (at >= text.size() || text[at] == '>' || text[at] == '/' || text[at] == '<') return names;
    names.push_back(at);
    while (at < text.size() && !blank(text[at]) && text[at] != '=') ++at;
    while (at < text.size() && blank(text[at])) ++at;
    if (at >= text.size() || text[at] != '=') return {};
    ++at;
    while (at < text.size() && blank(text[at])) ++at;
    if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) return {};
    at = text.find(text[at], at + 1);
    if (at == std::string_view::npos) return {};
    ++at;
  }
}

// Checks a value gets beyond its kind.
enum class Rule { CipherText, Operation, Package, ClientGuid, ClientName };

struct ValueRule {
  const ClassInfo* owner;
  FieldId field;
  Rule rule;
};

// Password-kind fields are cipher texts without a row here.
const ValueRule kValueRules[] = {
    {&App::Client::kSchema, App::Client::clientPassword, Rule::CipherText},
    {&Msg::ClientSetup::kSchema, Msg::ClientSetup::operationType, Rule::Operation},
    {&Msg::ClientsComposition::kSchema, Msg::ClientsComposition::operationType, Rule::Operation},
    {&Msg::PackageInformation::kSchema, Msg::PackageInformation::packageId, Rule::Package},
    {&ZuEntities::ClientEntity::kSchema, ZuEntities::ClientEntity::clientGUID, Rule::ClientGuid},
    {&ZuEntities::ClientEntity::kSchema, ZuEntities::ClientEntity::clientName, Rule::ClientName},
};

// Only the entity at the end of this path, from the root, names a client entry.
const FieldId kClientPath[] = {Msg::ClientSetup::clientComposition, Msg::ClientsComposition::clientInfo,
                               App::ClientInfo::client, App::Client::clientEntity};

// ---- Values ----------------------------------------------------------------------

// Reads a decimal integer with an optional sign that fits 64 bits, as the loader does.
std::optional<long long> ParseInteger(std::string_view text) {
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text[0] == '-') return std::nullopt;
  }
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

constexpr std::string_view kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// True for "V3:" or "V8:" and canonical padded base64 long enough for a
// payload; the shape only, nothing is decrypted.
bool IsCipherText(std::string_view text) {
  if (text.size() < 3 || (text.substr(0, 3) != "V3:" && text.substr(0, 3) != "V8:")) return false;
  text.remove_prefix(3);
  if (text.empty() || text.size() % 4 != 0) return false;
  const std::size_t padding = text.back() != '=' ? 0 : text[text.size() - 2] == '=' ? 2 : 1;
  if (text.size() / 4 * 3 - padding < kMinCipherPayload) return false;
  const std::size_t data = text.size() - padding;
  if (text.substr(0, data).find_first_not_of(kBase64) != std::string_view::npos) return false;
  // The bits the last character carries beyond the payload must be zero.
  const std::size_t last = kBase64.find(text[data - 1]);
  return padding == 0 || (last & (padding == 2 ? 0x0F : 0x03)) == 0;
}

bool IsCataloguePackage(long long id, const std::vector<int>& centralServerPackages) {
  return id >= 0 && id <= INT_MAX && !PackageClasses(static_cast<int>(id), centralServerPackages).empty();
}

// ---- Names ------------------------------------------------------------------------

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Folded(std::string_view text) {
  std::string folded(text);
  std::transform(folded.begin(), folded.end(), folded.begin(), Lower);
  return folded;
}

// Edit distance ignoring case, a swap of neighbours counting as one edit.
// Keeps the rows a swap looks back to, not the matrix: memory grows with the
// shorter field name only.
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1;
      row[j] = std::min({previous[j] + 1, row[j - 1] + 1, previous[j - 1] + cost});
      if (i > 1 && j > 1 && Lower(a[i - 1]) == Lower(b[j - 2]) && Lower(a[i - 2]) == Lower(b[j - 1])) {
        row[j] = std::min(row[j], before[j - 2] + 1);
      }
    }
    std::swap(before, previous);
    std::swap(previous, row);
  }
  return previous[b.size()];
}

// The closest field written the same way (attribute or element); empty when none is close.
std::string Closest(const ClassInfo& info, std::string_view name, bool element) {
  const std::size_t allowed = name.size() < 5 ? 1 : 2;
  std::size_t best = allowed + 1;
  std::string closest;
  for (FieldId field = 0; field < info.fieldCount; ++field) {
    const FieldInfo& f = info.fields[field];
    if (IsElementField(f.kind) != element) continue;
    // The distance is at least the difference in length.
    const std::size_t length = std::string_view(f.name).size();
    if (std::max(length, name.size()) - std::min(length, name.size()) > allowed) continue;
    const std::size_t distance = Distance(name, f.name);
    if (distance < best) {
      best = distance;
      closest = f.name;
    }
  }
  return closest;
}

// Names XML itself reserves (namespace declarations, xml:lang) are no fields.
bool IsReservedAttribute(std::string_view name) {
  return name == "xmlns" || name.substr(0, 6) == "xmlns:" || name.substr(0, 4) == "xml:";
}

// Returns the name in quotes; a long one cut at a character, with its length.
std::string Quoted(std::string_view text) {
  if (text.size() <= kMaxShownName) return "'" + std::string(text) + "'";
  std::size_t cut = kMaxShownName;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return "'" + std::string(text.substr(0, cut)) + "...' (" + std::to_string(text.size()) + " bytes)";
}

std::string PositionText(const Position& at) {
  return at.line == 0 ? "" : std::to_string(at.line) + ':' + std::to_string(at.column) + ':';
}

// ---- The pass -------------------------------------------------------------------

struct Frame {
  const ClassInfo* info;
  int field;               // the parent's field this element fills; -1 for the root
  std::uint32_t seen = 0;  // object fields met so far
};

struct Checker {
  Window text;
  PositionCounter counter{text};
  XML_Parser parser = nullptr;
  std::vector<int> centralServerPackages;
  std::vector<Frame> frames;
  int depth = 0;  // open elements, skipped ones included
  int skip = 0;   // open elements of a subtree the loader skips
  Position element;
  std::size_t elementOffset = 0;
  // Offsets of the current start tag's attribute names, read when first needed.
  std::optional<std::vector<std::size_t>> attributeOffsets;
  std::size_t attribute = 0;  // index of the attribute being checked
  bool onAttribute = false;
  std::map<std::string, Position> clientGuids;
  std::map<std::string, Position> clientNames;
  std::vector<Finding> findings;
  // Why the text is no request the loader could take; the pass ends there.
  std::optional<Finding> refusal;

  // The finding's place: the attribute being checked, else its element.
  Position Place() {
    if (!onAttribute) return element;
    if (!attributeOffsets) attributeOffsets = AttributeOffsets(text.From(elementOffset));
    if (attribute >= attributeOffsets->size()) return element;
    return counter.At(elementOffset + (*attributeOffsets)[attribute]);
  }

  void Add(Severity severity, const char* kind, std::string message, std::string suggestion = "") {
    // Findings are held until the document proves well-formed; an endless
    // input of them must not hold more than the cap would.
    if (findings.size() == kMaxFindings) return Stop("more than " + std::to_string(kMaxFindings) + " findings");
    findings.push_back({Place(), severity, kind, std::move(message), std::move(suggestion), std::nullopt});
  }

  void Stop(std::string why) {
    if (refusal) return;
    refusal = Finding{Here(), Severity::kError, "refused", std::move(why), "", std::nullopt};
    XML_StopParser(parser, XML_FALSE);
  }

  Position Here() {
    const XML_Index offset = XML_GetCurrentByteIndex(parser);
    if (offset < 0) return {XML_GetCurrentLineNumber(parser), XML_GetCurrentColumnNumber(parser) + 1};
    return counter.At(static_cast<std::size_t>(offset));
  }

  bool OnClientPath() const {
    if (frames.size() != std::size(kClientPath) + 1) return false;
    for (std::size_t i = 0; i < std::size(kClientPath); ++i) {
      if (frames[i + 1].field != static_cast<int>(kClientPath[i])) return false;
    }
    return true;
  }

  void UnknownName(const ClassInfo& info, std::string_view name, bool element) {
    const char* what = element ? "element" : "attribute";
    const int other = FindField(info, name);
    if (other >= 0) {
      Add(Severity::kWarning, element ? "unknown-element" : "unknown-attribute",
          Quoted(name) + " is " + (element ? "an attribute" : "an element") + " of " + Quoted(info.name) + ", not " +
              (element ? "an element" : "an attribute"));
      return;
    }
    std::string closest = Closest(info, name, element);
    std::string message = std::string("unknown ") + what + ' ' + Quoted(name) + " in " + Quoted(info.name);
    if (!closest.empty()) message += "; did you mean " + Quoted(closest) + '?';
    Add(Severity::kWarning, element ? "unknown-element" : "unknown-attribute", std::move(message), std::move(closest));
  }

  void Repeated(std::map<std::string, Position>& seen, const char* value, const char* kind, const char* field) {
    if (*value == '\0') return;  // an empty name or GUID counts as none
    const auto [first, added] = seen.emplace(Folded(value), Place());
    if (added) return;
    Add(Severity::kWarning, kind, std::string("same ") + field + " as an earlier client (case ignored)");
    findings.back().note.emplace(first->second, "the earlier client");
  }

  void ApplyRule(Rule rule, const ClassInfo& info, const FieldInfo& f, const char* value) {
    const std::string where = Quoted(f.name) + " in " + Quoted(info.name);
    switch (rule) {
      case Rule::CipherText:
        if (value != kMasked && !IsCipherText(value)) {
          Add(Severity::kWarning, "password-form", where + " is not a V3 or V8 password");
        }
        return;
      case Rule::Operation: {
        const std::optional<long long> type = ParseInteger(value);
        if (type && FindOperationName(*type) == nullptr) {
          Add(Severity::kWarning, "unknown-operation", where + ": " + std::to_string(*type) + " names no operation");
        }
        return;
      }
      case Rule::Package: {
        const std::optional<long long> id = ParseInteger(value);
        if (id && !IsCataloguePackage(*id, centralServerPackages)) {
          Add(Severity::kWarning, "unknown-package", NotInCatalogue(*id));
        }
        return;
      }
      case Rule::ClientGuid:
        if (OnClientPath()) Repeated(clientGuids, value, "duplicate-guid", "clientGUID");
        return;
      case Rule::ClientName:
        if (OnClientPath()) Repeated(clientNames, value, "duplicate-name", "clientName");
        return;
    }
  }

  void CheckValue(const ClassInfo& info, FieldId field, const char* value) {
    const FieldInfo& f = info.fields[field];
    const std::string where = Quoted(f.name) + " in " + Quoted(info.name);
    switch (f.kind) {
      case FieldKind::Integer:
      case FieldKind::Enum:
        if (!ParseInteger(value))
          return Add(Severity::kError, "wrong-kind", where + " is not a decimal 64-bit integer");
        break;
      case FieldKind::Boolean:
        if (std::string_view(value) != "true" && std::string_view(value) != "false" && !ParseInteger(value)) {
          return Add(Severity::kError, "wrong-kind", where + " is not a boolean (true, false or an integer)");
        }
        break;
      case FieldKind::Password: ApplyRule(Rule::CipherText, info, f, value); break;
      case FieldKind::String:
      case FieldKind::Object:
      case FieldKind::List: break;
    }
    for (const ValueRule& row : kValueRules) {
      if (row.owner == &info && row.field == field) ApplyRule(row.rule, info, f, value);
    }
  }

  void CheckAttributes(const ClassInfo& info, const XML_Char** attributes) {
    onAttribute = true;
    attribute = 0;
    for (const XML_Char** a = attributes; *a != nullptr; a += 2, ++attribute) {
      if (IsReservedAttribute(a[0])) continue;
      const int field = FindField(info, a[0]);
      if (field < 0 || IsElementField(info.fields[field].kind)) {
        UnknownName(info, a[0], false);
      } else {
        CheckValue(info, static_cast<FieldId>(field), a[1]);
      }
    }
    onAttribute = false;
  }

  void Open(const XML_Char* name, const XML_Char** attributes) {
    if (depth == kMaxDepth) return Stop("nesting deeper than " + std::to_string(kMaxDepth));
    ++depth;
    if (skip > 0) {
      ++skip;
      return;
    }
    elementOffset = static_cast<std::size_t>(std::max<XML_Index>(XML_GetCurrentByteIndex(parser), 0));
    element = Here();
    attributeOffsets.reset();
    if (frames.empty()) {
      const ClassInfo& root = Msg::ClientSetup::kSchema;
      if (name != std::string_view(root.name)) {
        skip = 1;
        return Add(Severity::kError, "wrong-root", "root element " + Quoted(name) + " is not " + Quoted(root.name));
      }
      frames.push_back({&root, -1});
      return CheckAttributes(root, attributes);
    }
    Frame& parent = frames.back();
    const int field = FindField(*parent.info, name);
    if (field < 0 || !IsElementField(parent.info->fields[field].kind)) {
      skip = 1;
      return UnknownName(*parent.info, name, true);
    }
    const FieldInfo& f = parent.info->fields[field];
    if (f.kind == FieldKind::Object) {
      const std::uint32_t bit = 1u << field;
      if (parent.seen & bit) {
        Add(Severity::kError, "second-element",
            "second " + Quoted(f.name) + " element in " + Quoted(parent.info->name));
      }
      parent.seen |= bit;
    }
    frames.push_back({f.child, field});
    CheckAttributes(*f.child, attributes);
  }

  void Close() {
    --depth;
    if (skip > 0) {
      --skip;
    } else {
      frames.pop_back();
    }
  }
};

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  Checker& c = *static_cast<Checker*>(data);
  if (c.refusal) return;
  try {
    c.Open(name, attributes);
  } catch (...) {
    c.Stop("out of memory");
  }
}

void XMLCALL OnEnd(void* data, const XML_Char*) {
  Checker& c = *static_cast<Checker*>(data);
  if (!c.refusal) c.Close();
}

void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  static_cast<Checker*>(data)->Stop("DOCTYPE is not allowed");
}

struct ParserFree {
  void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

// Runs the pass over the input as it is read; false with `c.refusal` set
// when the text is no well-formed request, or with the input failed.
bool CheckInput(Input& input, Checker& c) {
  std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
  if (!parser) {
    c.refusal = Finding{{}, Severity::kError, "refused", "out of memory", "", std::nullopt};
    return false;
  }
  c.parser = parser.get();
  XML_SetUserData(c.parser, &c);
  XML_SetElementHandler(c.parser, OnStart, OnEnd);
  XML_SetStartDoctypeDeclHandler(c.parser, OnDoctype);
  std::size_t room = kMinRead;
  XML_Status status;
  for (;;) {
    char* buffer = static_cast<char*>(XML_GetBuffer(c.parser, static_cast<int>(room)));
    if (buffer == nullptr) {
      c.refusal = Finding{{}, Severity::kError, "refused", "out of memory", "", std::nullopt};
      return false;
    }
    const std::ptrdiff_t got = input.Read(buffer, room);
    if (got < 0) return false;
    c.text.Append(buffer, static_cast<std::size_t>(got));
    status = XML_ParseBuffer(c.parser, static_cast<int>(got), got == 0 ? XML_TRUE : XML_FALSE);
    if (status != XML_STATUS_OK || got == 0) break;
    // Events to come start at the first byte the parser has not taken; the
    // last byte read stays, as a carriage return's line depends on the next.
    const XML_Index at = XML_GetCurrentByteIndex(c.parser);
    if (at < 0) continue;
    const std::size_t pending = c.text.end() - static_cast<std::size_t>(at);
    c.counter.At(std::min(static_cast<std::size_t>(at), c.text.end() - 1));
    c.text.DropBefore(c.counter.offset());
    // An unfinished token is scanned again from its start at every piece;
    // reading at least what is pending keeps a long token linear.
    room = std::clamp(pending, kMinRead, kMaxPiece);
  }
  if (!c.refusal && status != XML_STATUS_OK) {
    c.refusal =
        Finding{c.Here(), Severity::kError, "refused", XML_ErrorString(XML_GetErrorCode(c.parser)), "", std::nullopt};
  }
  return !c.refusal;
}

// ---- Output ------------------------------------------------------------------------

const char* SeverityWord(Severity severity) {
  switch (severity) {
    case Severity::kError: return "error";
    case Severity::kWarning: return "warning";
  }
  return "error";
}

Json FindingJson(const Finding& finding) {
  Json json = {{"line", finding.at.line},
               {"column", finding.at.column},
               {"severity", SeverityWord(finding.severity)},
               {"kind", finding.kind},
               {"message", finding.message}};
  if (!finding.suggestion.empty()) json["suggestion"] = finding.suggestion;
  if (finding.note) {
    json["note"] = {
        {"line", finding.note->first.line}, {"column", finding.note->first.column}, {"message", finding.note->second}};
  }
  return json;
}

// One document per file; `refusal` is the reason a file could not be checked.
void PrintJson(const std::string& file, const std::vector<Finding>& findings, const Finding* refusal) {
  Json document = {{"file", file}, {"findings", Json::array()}};
  for (const Finding& finding : findings) document["findings"].push_back(FindingJson(finding));
  if (refusal != nullptr) {
    Json error = Json::object();
    if (refusal->at.line != 0) error = {{"line", refusal->at.line}, {"column", refusal->at.column}};
    error["reason"] = refusal->message;
    document["error"] = std::move(error);
  }
  // A file name need not be UTF-8; JSON text must be.
  std::cout << JsonLine(document);
}

// Checks one file and prints what it found; returns its exit status.
int CheckFile(const std::string& path, bool asJson, const std::vector<int>& centralServerPackages) {
  const std::string shown = ShownName(path);
  Input input(path);
  Checker checker;
  checker.centralServerPackages = centralServerPackages;
  const bool wellFormed = CheckInput(input, checker);
  if (input.failed()) {
    const Finding refusal{{}, Severity::kError, "refused", "cannot read: " + input.reason(), "", std::nullopt};
    if (asJson) PrintJson(shown, {}, &refusal);
    return Fail(shown + ": " + refusal.message);
  }
  if (!wellFormed) {
    const Finding& refusal = *checker.refusal;
    if (asJson) PrintJson(shown, {}, &refusal);
    // A document that is not well-formed is a finding like the others; only a
    // refusal without a position (out of memory) is the tool's own failure.
    if (refusal.at.line == 0) return Fail(shown + ": " + refusal.message);
    if (!asJson) std::cout << shown << ':' << PositionText(refusal.at) << " error: " << refusal.message << '\n';
    return kFailed;
  }
  if (asJson) {
    PrintJson(shown, checker.findings, nullptr);
  } else {
    for (const Finding& finding : checker.findings) {
      std::cout << shown << ':' << PositionText(finding.at) << ' ' << SeverityWord(finding.severity) << ": "
                << finding.message << '\n';
      if (finding.note) {
        std::cout << shown << ':' << PositionText(finding.note->first) << " note: " << finding.note->second << '\n';
      }
    }
  }
  return checker.findings.empty() ? kOk : kFailed;
}

}  // namespace

int Check(const Args& args) {
  Parsed parsed;
  if (const std::optional<int> exit = ParseOptions("check", args, {{"json", false}}, parsed)) return *exit;
  if (parsed.operands.empty()) return UsageError("check: missing FILE");
  const bool asJson = parsed.options.count("json") != 0;
  std::vector<int> centralServerPackages;
  GetAllDXPackages(centralServerPackages);
  int status = kOk;
  for (const std::string& file : parsed.operands)
    status = std::max(status, CheckFile(file, asJson, centralServerPackages));
  std::cout.flush();
  if (!std::cout) return Fail("cannot write to standard output");
  return status;
}

}  // namespace zutool
