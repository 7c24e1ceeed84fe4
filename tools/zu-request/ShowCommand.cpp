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

// Labels line up across the whole request, so the clients are read twice:
// once for the width, once to print; never all held at once.
void PrintText(const std::string& file, ZUInstallManager::ClientSetup* request) {
  std::size_t width = 0;
  const auto widen = [&](const Section& facts) {
    for (const Fact& fact : facts) {
      if (!fact.value.is_null()) width = std::max(width, std::string(fact.label).size() + 2);
    }
  };
  const Section header = RequestFacts(request);
  const Section server = ServerFacts(request);
  widen(header);
  widen(server);
  const unsigned long clients = ClientCount(request);
  for (unsigned long index = 0; index < clients; ++index) widen(ClientFacts(request, index));

  std::cout << Printable(file) << '\n';
  PrintSection("request", header, width);
  PrintSection("central server", server, width);
  for (unsigned long index = 0; index < clients; ++index) {
    PrintSection("client " + std::to_string(index), ClientFacts(request, index), width);
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
    if (asJson) {
      WriteJson(std::cout, ShownName(file), &request);
    } else {
      PrintText(ShownName(file), &request);
    }
  }
  std::cout.flush();
  if (!std::cout) return Fail("cannot write to standard output");
  return status;
}

}  // namespace zutool
