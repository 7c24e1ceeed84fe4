// zu-request: reads, masks, logs and converts install requests.
//
// The dispatch and the help are hand-written over getopt_long (Options.cpp):
// CLI11 would need as many lines to keep the messages, the status 2 and the
// nearest-command hint that scripts and tests rely on, so it is not used.
#include <algorithm>
#include <csignal>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "Commands.h"

namespace {

// One command's help: what the overview lists and what `help CMD` adds.
struct CommandHelp {
  const char* synopsis;  // after "zu-request "; starts with the command's name
  const char* summary;   // the overview's words, one line each
  const char* options;   // the command's own options, as the help prints them
  const char* example;
};

const CommandHelp kHelp[] = {
    {"show [--json] FILE|-...",
     "header, central server and each client of a request;\n--json writes one compact JSON document per line\n",
     "  --json             one JSON document per file, on one line (JSON Lines)\n",
     "zu-request show examples/requests/single-client-install.xml"},
    {"mask FILE|-...", "the request as XML, secret values masked\n", "", "zu-request mask request.xml > masked.xml"},
    {"log [--kind request|response] [--level N] FILE|-...", "log the request as the installer's logger does\n",
     "  --kind KIND        request (the default) or response: the entry's heading\n"
     "  --level N          the entry's debug level, 0 by default\n",
     "ZU_FOCUS=Instance001 zu-request log --kind=response reply.xml"},
    {"convert-passwords FILE|-", "client passwords from V8 to V3, request XML on stdout\n", "",
     "zu-request convert-passwords request.xml > request-v3.xml"},
    {"password encrypt|encrypt-v8|decrypt|v8-to-v3|v3-to-v8",
     "one text per line on stdin, the result per line on stdout\n", "",
     "zu-request password encrypt-v8 < plain.txt > stored.txt"},
    {"packages [--json] ID...", "the classes of each package id; status 1 if one is not\nin the catalogue\n",
     "  --json             one JSON line per id: its classes, and an error when unknown\n",
     "zu-request packages 801 1002 6500"},
    {"diff [--json] A B", "the facts that differ between two requests;\nexit 0 same, 1 different, 2 trouble\n",
     "  --json             one JSON document: whether they are the same, and the changes\n",
     "zu-request diff sent.xml received.xml"},
    {"check [--json] FILE|-...",
     "every unknown name, wrong value and repeated client,\none FILE:LINE:COLUMN: error|warning: line each (and a\n"
     "note: line where it points back); status 1 if any\n",
     "  --json             one JSON document per file with its findings\n", "zu-request check edited.xml"},
    {"schema", "an XML Schema (XSD 1.0) of the install request\n", "",
     "zu-request schema > request.xsd && xmllint --noout --schema request.xsd request.xml"},
    {"redact [--in-place|--check] FILE|-...",
     "any text (a log, a saved request, a bundle) with every\nsecret masked, every other byte as it was, streamed;\n"
     "--check lists the secrets instead, never their values\n",
     "  --in-place         replace each file atomically, mode and owner kept; a file\n"
     "                     another process holds open for writing is refused\n"
     "  --check            mask nothing: one FILE:LINE:COLUMN: secret value of NAME\n"
     "                     line per secret; status 1 if any\n",
     "zu-request redact --check support/*.log"},
    {"bundle [-o FILE] [--since TIME] [--max-size SIZE] [REQUEST...]",
     "the logs, the pre-install file and each REQUEST with its\nfacts and findings, secrets masked, in one archive\n",
     "  -o, --output FILE  the archive: .tar.gz, or .tar.xz or .tar.zst by its name\n"
     "  --since TIME       leave out files last changed before TIME\n"
     "  --max-size SIZE    keep only the last SIZE bytes of a larger file\n",
     "zu-request bundle -o support.tar.gz --since '2026-12-07 09:00' request.xml"},
};

const char kHelpTail[] =
    "  -h, --help                    this text; help COMMAND or COMMAND --help: that command's\n"
    "  -V, --version                 the version\n"
    "\n"
    "Options may follow FILE arguments, take a value as --level=N or --level N,\n"
    "and end at --. FILE may be - for standard input; several files are processed\n"
    "in turn and the worst status is returned.\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n"
    "Passwords are read from standard input only, never from the command line;\n"
    "on a terminal, password prompts on standard error with echo off.\n"
    "A password line may hold up to 2048 bytes and no NUL.\n";

struct Command {
  const char* name;
  int (*run)(const zutool::Args&);
};

const Command kCommands[] = {
    {"show", zutool::Show},         {"mask", zutool::Mask},
    {"log", zutool::Log},           {"convert-passwords", zutool::ConvertPasswords},
    {"password", zutool::Password}, {"packages", zutool::Packages},
    {"diff", zutool::Diff},         {"check", zutool::Check},
    {"schema", zutool::Schema},     {"redact", zutool::Redact},
    {"bundle", zutool::Bundle},
};

std::string NameOf(const CommandHelp& help) {
  const std::string synopsis = help.synopsis;
  return synopsis.substr(0, synopsis.find(' '));
}

// Writes `text`'s lines, each indented by `indent`.
void Indent(std::string& out, const std::string& text, std::size_t indent) {
  for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    out.append(indent, ' ').append(text, at, end - at + 1);
  }
}

std::string Overview() {
  constexpr std::size_t kColumn = 32;
  std::string out = "usage: zu-request COMMAND [OPTIONS] ARGS\n\n";
  for (const CommandHelp& help : kHelp) {
    std::string summary = help.summary;
    out += "  " + std::string(help.synopsis);
    const std::size_t used = 2 + std::string(help.synopsis).size();
    if (used < kColumn) {  // the first line beside the synopsis, the rest below it
      const std::size_t first = summary.find('\n') + 1;
      out.append(kColumn - used, ' ').append(summary, 0, first);
      summary.erase(0, first);
    } else {
      out += '\n';
    }
    Indent(out, summary, kColumn);
  }
  return out + kHelpTail;
}

std::string CommandText(const CommandHelp& help) {
  std::string out = "usage: zu-request " + std::string(help.synopsis) + "\n\n" + help.summary + "\noptions:\n";
  out += help.options;
  out += "  -h, --help         this text\n  -V, --version      the version\n\nexample:\n  ";
  return out + help.example + '\n';
}

int Print(const std::string& text) {
  std::cout << text;
  std::cout.flush();
  return std::cout ? zutool::kOk : zutool::Fail("cannot write to standard output");
}

// Edits from `a` to `b`, a swap of two neighbours counting as one.
std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// The usage error for a name that is no command, naming the nearest one when
// at most two edits and no more than half of what was typed away.
int UnknownCommand(const std::string& name, const std::vector<std::string>& names) {
  std::string message = "unknown command '" + name + "'";
  std::string nearest;
  std::size_t best = std::min<std::size_t>(2, name.size() / 2) + 1;
  for (const std::string& candidate : names) {
    if (name.size() > 64) break;  // no command is that long
    const std::size_t distance = Distance(name, candidate);
    if (distance < best) best = distance, nearest = candidate;
  }
  if (!nearest.empty()) message += "; did you mean '" + nearest + "'?";
  return zutool::UsageError(message);
}

std::vector<std::string> CommandNames() {
  std::vector<std::string> names;
  for (const Command& command : kCommands) names.push_back(command.name);
  names.push_back("help");
  return names;
}

// `zu-request help [COMMAND]`.
int Help(const zutool::Args& args) {
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") return zutool::PrintHelp();
  if (args.size() > 1) return zutool::UsageError("help: takes at most one COMMAND");
  std::vector<std::string> names;
  for (const CommandHelp& help : kHelp) names.push_back(NameOf(help));
  if (std::find(names.begin(), names.end(), args[0]) == names.end()) return UnknownCommand(args[0], names);
  return zutool::PrintHelp(args[0]);
}

int Run(int argc, char** argv) {
  if (argc < 2) return zutool::UsageError("missing command");
  const std::string name = argv[1];
  const zutool::Args args(argv + 2, argv + argc);
  if (name == "--help" || name == "-h") return zutool::PrintHelp();
  if (name == "--version" || name == "-V") return zutool::PrintVersion();
  if (name == "help") return Help(args);
  for (const Command& command : kCommands) {
    if (name == command.name) return command.run(args);
  }
  return UnknownCommand(name, CommandNames());
}

}  // namespace

int zutool::PrintHelp(const std::string& command) {
  for (const CommandHelp& help : kHelp) {
    if (NameOf(help) == command) return Print(CommandText(help));
  }
  return Print(Overview());
}

int zutool::PrintVersion() { return Print(std::string("zu-request ") + ZU_VERSION + '\n'); }

int main(int argc, char** argv) {
  // A reader that goes away (`| head`) is a write error each command reports
  // and cleans up after, not a death that could leave a terminal silent.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    return zutool::Fail("out of memory");
  } catch (const std::exception& error) {
    return zutool::Fail(error.what());
  }
}
