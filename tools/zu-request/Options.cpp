// Option parsing shared by the commands, so every command reads its command
// line the way getopt_long users expect.
#include <getopt.h>

#include "Commands.h"

namespace zutool {

namespace {

// getopt_long values: the command's options count up from here, clear of
// every short option character.
constexpr int kVersion = 256;
constexpr int kFirstOption = 257;

}  // namespace

std::optional<int> ParseOptions(const char* command, const Args& args, const std::vector<OptionSpec>& specs,
                                Parsed& parsed, bool echo) {
  std::vector<option> table;
  for (std::size_t i = 0; i < specs.size(); ++i) {
    table.push_back({specs[i].name, specs[i].takesValue ? required_argument : no_argument, nullptr,
                     kFirstOption + static_cast<int>(i)});
  }
  table.push_back({"help", no_argument, nullptr, 'h'});
  table.push_back({"version", no_argument, nullptr, kVersion});
  table.push_back({nullptr, 0, nullptr, 0});
  std::string shorts = ":hV";
  for (const OptionSpec& option : specs) {
    if (option.shortName != 0) shorts += std::string(1, option.shortName) + (option.takesValue ? ":" : "");
  }
  const auto shortSpec = [&](int value) -> const OptionSpec* {
    for (const OptionSpec& option : specs) {
      if (value != 0 && option.shortName == value) return &option;
    }
    return nullptr;
  };
  const auto nameOf = [&](int value) -> std::string {
    if (value == 'h') return "--help";
    if (value == kVersion) return "--version";
    if (value < kVersion) return std::string("-") + static_cast<char>(value);
    return std::string("--") + specs[static_cast<std::size_t>(value - kFirstOption)].name;
  };

  // getopt_long permutes the pointers, never the texts.
  std::string program = std::string("zu-request ") + command;
  Args texts = args;
  std::vector<char*> argv{program.data()};
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(argv.size() - 1);

  bool help = false;
  bool version = false;
  std::string error;
  opterr = 0;
  optind = 0;  // GNU: start afresh
  for (int c; (c = getopt_long(argc, argv.data(), shorts.c_str(), table.data(), nullptr)) != -1;) {
    if (c == 'h') {
      help = true;
    } else if (c == kVersion || c == 'V') {
      version = true;
    } else if (c >= kFirstOption) {
      parsed.options[specs[static_cast<std::size_t>(c - kFirstOption)].name] = optarg != nullptr ? optarg : "";
    } else if (const OptionSpec* option = shortSpec(c)) {
      parsed.options[option->name] = optarg != nullptr ? optarg : "";
    } else if (!error.empty()) {
      continue;
    } else if (c == ':') {
      error = nameOf(optopt) + " needs a value";
    } else if (optopt == 'h' || optopt >= kVersion) {
      error = nameOf(optopt) + " takes no value";
    } else if (!echo) {
      error = "unknown option";
    } else {
      const std::string text = optopt != 0 ? std::string("-") + static_cast<char>(optopt) : argv[optind - 1];
      error = "unknown option '" + text + "'";
    }
  }
  parsed.operands.assign(argv.begin() + optind, argv.end() - 1);
  if (help) return PrintHelp(command);
  if (version) return PrintVersion();
  if (!error.empty()) return UsageError(std::string(command) + ": " + error);
  return std::nullopt;
}

}  // namespace zutool
