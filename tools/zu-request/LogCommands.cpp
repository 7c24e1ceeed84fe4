// Placeholder until the subcommand lands; replaced by its owner.
#include "Commands.h"
namespace zutool {
int Mask(const Args&) { return Fail("Mask: not built yet"); }
int Log(const Args&) { return Fail("Log: not built yet"); }
}
