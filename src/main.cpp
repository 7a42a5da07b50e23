// scandec: write one line per identifier, octal and decimal number in a
// file or the standard input, then "EOF found".
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "engine.h"
#include "files.h"
#include "out.h"
#include "stream.h"

// The bytes a read may bring.
constexpr int DATA = 256 * 1024;

// The names in messages, held where the memory they are in stays reachable.
static const char *prog, *name = "standard input";

int main(int argc, char **argv) {
  // Linux hands an empty argument vector on as one empty name.
  prog = shown(argc > 0 && *argv[0] ? argv[0] : "scandec");
  int fd = 0;
  if (argc > 1) {
    name = shown(argv[1]);
    if ((fd = openin(argv[1])) < 0) {
      std::fprintf(stderr, "%s: cannot open %s... exiting\n", prog, name);
      return 255;
    }
  }
  if (readsback(fd, STDOUT_FILENO)) {
    std::fprintf(stderr, "%s: %s: input file is output file\n", prog, name);
    return 255;
  }

  static Out out;
  static unsigned char buf[PUSHBACK + DATA + SLACK];
  widen(fd, DATA);
  int outfd = STDOUT_FILENO;
  init(out, fdwrite, &outfd, outpiece(outfd, sizeof out.buf));
  Stream in;
  init(in, buf, sizeof buf, fdread, &fd);
  in.waits = maywait(fd);

  if (scan(in, out) && in.err == 0)
    put(out, ATEOF);
  // A full disk may only show when the file is closed.
  if (flush(out) && close(STDOUT_FILENO) != 0 && errno != EINTR)
    out.err = errno;

  int status = 0;
  if (in.err) {
    std::fprintf(stderr, "%s: cannot read %s: %s\n", prog, name,
                 std::strerror(in.err));
    status = 255;
  }
  if (out.err) {
    std::fprintf(stderr, "%s: cannot write standard output: %s\n", prog,
                 std::strerror(out.err));
    status = 255;
  }
  return status;
}
