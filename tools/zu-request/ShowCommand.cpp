// Placeholder until the subcommand lands; replaced by its owner.
#include "Commands.h"
namespace zutool {
int Show(const Args&) { return Fail("Show: not built yet"); }
}
