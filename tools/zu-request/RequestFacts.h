// The facts of a request that show prints and diff compares, in one model so
// the two commands never disagree on what a request says.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
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

// The facts of the request's header, of its central server and of client
// `index` (from 0): each part is read on its own, so a caller holds one
// client's facts at a time, never the whole request's.
Section RequestFacts(ZUInstallManager::ClientSetup* request);
Section ServerFacts(ZUInstallManager::ClientSetup* request);
Section ClientFacts(ZUInstallManager::ClientSetup* request, unsigned long index);
unsigned long ClientCount(ZUInstallManager::ClientSetup* request);

// What a client is known by: its "name" and "guid" facts, "" when absent.
struct ClientKey {
  std::string name;
  std::string guid;
};
ClientKey KeyOf(ZUInstallManager::ClientSetup* request, unsigned long index);

// Returns the fact's value as the text form prints it.
std::string Shown(const Fact& fact);
// Returns `text` with the bytes a terminal would act on written as escapes.
std::string Printable(const std::string& text);
// Writes the request as one line of show --json, absent facts as null,
// holding one client's facts at a time; `file` is the name it is shown under.
void WriteJson(std::ostream& out, const std::string& file, ZUInstallManager::ClientSetup* request);
// Returns `value` as JSON, without a line feed; bytes that are not UTF-8 become U+FFFD.
std::string JsonText(const Json& value);
// Returns `value` as one line of JSON, as JsonText does.
std::string JsonLine(const Json& value);

}  // namespace zutool
