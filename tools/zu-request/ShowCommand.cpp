// zu-request show: the facts of each request, as aligned text or as JSON Lines.
#include <algorithm>
#include <iostream>

#include "Commands.h"
#include "RequestFacts.h"

namespace zutool {

namespace {

// Absent facts are left out of the text form; the JSON form has them as null.
void PrintSection(const std::string& title, const Section& facts, std::size_t width) {
  std::cout << title << '\n';
  bool any = false;
  for (const Fact& fact : facts) {
    if (fact.value.is_null()) continue;
    any = true;
    const std::string label = fact.label;
    std::cout << "  " << label << std::string(width - label.size(), ' ') << Shown(fact) << '\n';
  }
  if (!any) std::cout << "  (nothing)\n";
}

void PrintText(const Document& document) {
  std::size_t width = 0;
  const auto widen = [&](const Section& facts) {
    for (const Fact& fact : facts) {
      if (!fact.value.is_null()) width = std::max(width, std::string(fact.label).size() + 2);
    }
  };
  widen(document.request);
  widen(document.server);
  for (const Section& client : document.clients) widen(client);

  std::cout << Printable(document.file) << '\n';
  PrintSection("request", document.request, width);
  PrintSection("central server", document.server, width);
  for (std::size_t index = 0; index < document.clients.size(); ++index) {
    PrintSection("client " + std::to_string(index), document.clients[index], width);
  }
}

}  // namespace

int Show(const Args& args) {
  Parsed parsed;
  if (const std::optional<int> exit = ParseOptions("show", args, {{"json", false}}, parsed)) return *exit;
  if (parsed.operands.empty()) return UsageError("show: missing FILE");
  const bool asJson = parsed.options.count("json") != 0;

  int status = kOk;
  bool first = true;
  for (const std::string& file : parsed.operands) {
    ZUInstallManager::ClientSetup request;
    if (!LoadRequest(file, request)) {
      status = kFailed;
      continue;
    }
    if (!asJson && !first) std::cout << '\n';
    first = false;
    const Document document = Describe(ShownName(file), &request);
    if (asJson) {
      std::cout << JsonLine(ToJson(document));
    } else {
      PrintText(document);
    }
  }
  std::cout.flush();
  if (!std::cout) return Fail("cannot write to standard output");
  return status;
}

}  // namespace zutool
