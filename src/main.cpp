// scandec: write one line per identifier, octal and decimal number in a
// file or the standard input, then "EOF found".
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine.h"
#include "out.h"
#include "stream.h"

static int openin(const char *path) {
  int fd;
  do
    fd = open(path, O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// A read from a pipe, terminal or socket may wait for a writer; lines found
// so far must be out before it does.  A regular file never makes us wait,
// so its reads skip the extra write.
static bool maywait(int fd) {
  struct stat st;
  return fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

static bool flushout(void *o) { return flush(*static_cast<Out *>(o)); }

int main(int argc, char **argv) {
  const char *prog = argc > 0 ? argv[0] : "scandec";
  const char *name = "standard input";
  int fd = 0;
  if (argc > 1) {
    name = argv[1];
    if ((fd = openin(name)) < 0) {
      std::fprintf(stderr, "%s: cannot open %s... exiting\n", prog, name);
      return 255;
    }
  }

  static Out out;
  static unsigned char buf[PUSHBACK + 256 * 1024 + SLACK];
  int outfd = STDOUT_FILENO;
  init(out, fdwrite, &outfd);
  FdSource src = {fd, maywait(fd) ? flushout : nullptr, &out};
  Stream in;
  init(in, buf, sizeof buf, fdread, &src);

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
