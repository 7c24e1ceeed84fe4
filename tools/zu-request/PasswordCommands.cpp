// Placeholder until the subcommand lands; replaced by its owner.
#include "Commands.h"
namespace zutool {
int ConvertPasswords(const Args&) { return Fail("ConvertPasswords: not built yet"); }
int Password(const Args&) { return Fail("Password: not built yet"); }
int Packages(const Args&) { return Fail("Packages: not built yet"); }
}
