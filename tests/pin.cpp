// The program with its scan pinned to one level, built for the tests alone:
// the same main, and a constructor that takes the level from SCANDEC_LEVEL
// before main runs.  The program itself takes no options and reads no
// environment; this is how the end-to-end suites run it at every level.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "engine.h"

namespace {

struct Pin {
  Pin() {
    const char *want = std::getenv("SCANDEC_LEVEL");
    if (want == nullptr)
      return;
    for (int l = PLAIN; l < LEVELS; l++) {
      if (std::strcmp(levelname[l], want) != 0)
        continue;
      if (setlevel(l))
        return;
      std::fprintf(stderr, "scandec-pinned: no %s on this processor\n", want);
      _exit(125);
    }
    std::fprintf(stderr, "scandec-pinned: no level %s\n", want);
    _exit(125);
  }
} pin;

} // namespace
