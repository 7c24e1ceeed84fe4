// zu-request: reads, masks, logs and converts install requests.
#include <csignal>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "Commands.h"

namespace {

const char kHelpText[] =
    "usage: zu-request COMMAND [OPTIONS] ARGS\n"
    "\n"
    "  show [--json] FILE|-...       header, central server and each client of a request;\n"
    "                                --json writes one compact JSON document per line\n"
    "  mask FILE|-...                the request as XML, secret values masked\n"
    "  log [--kind request|response] [--level N] FILE|-...\n"
    "                                log the request as the installer's logger does\n"
    "  convert-passwords FILE|-      client passwords from V8 to V3, request XML on stdout\n"
    "  password encrypt|encrypt-v8|decrypt|v8-to-v3|v3-to-v8\n"
    "                                one text per line on stdin, the result per line on stdout\n"
    "  packages [--json] ID...       the classes of each package id; status 1 if one is not\n"
    "                                in the catalogue\n"
    "  diff [--json] A B             the facts that differ between two requests;\n"
    "                                exit 0 same, 1 different, 2 trouble\n"
    "  check [--json] FILE|-...      every unknown name, wrong value and repeated client,\n"
    "                                one FILE:LINE:COLUMN: error|warning: line each (and a\n"
    "                                note: line where it points back); status 1 if any\n"
    "  schema                        an XML Schema (XSD 1.0) of the install request\n"
    "  redact [--in-place|--check] FILE|-...\n"
    "                                any text (a log, a saved request, a bundle) with every\n"
    "                                secret masked, every other byte as it was; --in-place\n"
    "                                replaces each file atomically, mode and owner kept\n"
    "  bundle [-o FILE] [--since TIME] [--max-size SIZE] [REQUEST...]\n"
    "                                the logs, the pre-install file and each request with\n"
    "                                what show --json and check --json say, a summary and a\n"
    "                                manifest, all masked, in one .tar.gz (.tar.xz, .tar.zst\n"
    "                                by -o's name) checked for secrets; prints its path\n"
    "  --help                        this text\n"
    "  --version                     the version\n"
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

int Print(const std::string& text) {
  std::cout << text;
  std::cout.flush();
  return std::cout ? zutool::kOk : zutool::Fail("cannot write to standard output");
}

int Run(int argc, char** argv) {
  if (argc < 2) return zutool::UsageError("missing command");
  const std::string name = argv[1];
  if (name == "--help" || name == "-h") return zutool::PrintHelp();
  if (name == "--version") return zutool::PrintVersion();
  for (const Command& command : kCommands) {
    if (name == command.name) return command.run(zutool::Args(argv + 2, argv + argc));
  }
  return zutool::UsageError("unknown command '" + name + "'");
}

}  // namespace

int zutool::PrintHelp() { return Print(kHelpText); }

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
