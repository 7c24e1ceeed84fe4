// zu-request: reads, masks, logs and converts install requests.
#include <cstring>
#include <iostream>

#include "Commands.h"

namespace {

const char kUsage[] =
    "usage: zu-request COMMAND [OPTIONS] ARGS\n"
    "\n"
    "  show [--json] FILE|-...       header, central server and each client of a request\n"
    "  mask FILE|-...                the request as XML, password values masked\n"
    "  log [--kind request|response] [--level N] FILE|-...\n"
    "                                log the request as the installer's logger does\n"
    "  convert-passwords FILE|-      client passwords from V8 to V3, request XML on stdout\n"
    "  password encrypt|encrypt-v8|decrypt|v8-to-v3|v3-to-v8\n"
    "                                one text per line on stdin, the result per line on stdout\n"
    "  packages ID...                the classes of each package id\n"
    "  --help                        this text\n"
    "  --version                     the version\n"
    "\n"
    "FILE may be - for standard input; several files are processed in turn and\n"
    "the worst status is returned. Exit status: 0 success, 1 failure, 2 usage error.\n"
    "Passwords are read from standard input only, never from the command line.\n";

struct Command {
  const char* name;
  int (*run)(const zutool::Args&);
};

const Command kCommands[] = {
    {"show", zutool::Show},
    {"mask", zutool::Mask},
    {"log", zutool::Log},
    {"convert-passwords", zutool::ConvertPasswords},
    {"password", zutool::Password},
    {"packages", zutool::Packages},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return zutool::UsageError("missing command");
  const std::string name = argv[1];
  if (name == "--help" || name == "-h") {
    std::cout << kUsage;
    return zutool::kOk;
  }
  if (name == "--version") {
    std::cout << "zu-request " << ZU_VERSION << '\n';
    return zutool::kOk;
  }
  for (const Command& command : kCommands) {
    if (name == command.name) return command.run(zutool::Args(argv + 2, argv + argc));
  }
  return zutool::UsageError("unknown command '" + name + "'");
}
