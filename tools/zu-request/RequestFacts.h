// The facts of a request that show prints and diff compares, in one model so
// the two commands never disagree on what a request says.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

#include "ZuInstallMessages.h"

namespace zutool {

// Members keep the order they were added in, so output reads as the request does.
using Json = nlohmann::ordered_json;

struct Fact {
  Fact(const char* key, const char* label, Json value, std::string shown = "", std::string secret = "")
      : key(key), label(label), value(std::move(value)), shown(std::move(shown)), secret(std::move(secret)) {}

  const char* key;     // the JSON member
  const char* label;   // the text form's name
  Json value;          // null when the request does not hold the fact
  std::string shown;   // the text form, when the value alone does not read well
  std::string secret;  // a stored password or code behind a "set" value: compared, never printed
};

using Section = std::vector<Fact>;

struct Document {
  std::string file;
  Section request;
  Section server;
  std::vector<Section> clients;
};

// Reads every fact of `request`; `file` is the name it is shown under.
Document Describe(const std::string& file, ZUInstallManager::ClientSetup* request);
// Returns the fact's value as the text form prints it.
std::string Shown(const Fact& fact);
// Returns `text` with the bytes a terminal would act on written as escapes.
std::string Printable(const std::string& text);
// Returns the document as show --json prints it: absent facts are null.
Json ToJson(const Document& document);
// Returns `value` as one line of JSON; bytes that are not UTF-8 become U+FFFD.
std::string JsonLine(const Json& value);

}  // namespace zutool
