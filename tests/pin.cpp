// The program with its scan pinned to one level, built for the tests alone:
// the same main, and a constructor that takes the level from SCANDEC_LEVEL
// before main runs.  The program itself takes no options and reads no
// environment; this is how the end-to-end suites run it at every level.
// With SCANDEC_RAN set, it also writes to that file, at its exit, the name
// of the level whose code the scan ran ("none" if no scan ran), pinned or
// chosen, so that the suites see the level they ask for is the one that
// runs, and with no level pinned, the one the program would choose.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "engine.h"

namespace {

const char *ranpath;

void report() {
  const char *name = levelran < 0 ? "none" : levelname[levelran];
  int fd = open(ranpath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, name, std::strlen(name)) < 0 || close(fd) != 0)
    _exit(124);
}

struct Pin {
  Pin() {
    if ((ranpath = std::getenv("SCANDEC_RAN")) != nullptr)
      std::atexit(report);
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
