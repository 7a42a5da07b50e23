/* The floor: what any scanner of the input must do at the least, and
 * nothing else.  It reads the input in 256 KiB blocks, from a pipe widened
 * to that size as scandec widens its own; given a number of bytes, it also
 * writes that many, spread over the reading as a scanner's lines are, so
 * that a case whose output goes to a file or a pipe has a floor that writes
 * as much as scandec does there, and in the same pieces: 1 MiB to a file,
 * what the pipe holds to a pipe (widened to 1 MiB, or as near as it may
 * be), 64 KiB to anything else.
 *   floor [FILE|-] [OUTPUT-BYTES] */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { INSIZE = 256 * 1024, OUTMOST = 1024 * 1024, OUTFEW = 64 * 1024 };

static char buf[INSIZE], out[OUTMOST];

/* The pipe's size after asking for up to `size`, halving on a refusal;
 * -1 for no pipe. */
static int widen(int fd, int size) {
  int now = fcntl(fd, F_GETPIPE_SZ);
  for (int ask = size; now >= 0 && now < ask; ask /= 2) {
    int got = fcntl(fd, F_SETPIPE_SZ, ask);
    if (got >= 0)
      return got;
    if (errno != EPERM)
      break;
  }
  return now;
}

static void put(size_t n) {
  for (size_t done = 0; done < n;) {
    ssize_t w = write(STDOUT_FILENO, out, n - done);
    if (w < 0 && errno == EINTR)
      continue;
    if (w < 0) {
      perror("floor: write");
      exit(255);
    }
    done += (size_t)w;
  }
}

int main(int argc, char **argv) {
  int fd = 0;
  if (argc > 1 && strcmp(argv[1], "-") != 0 &&
      (fd = open(argv[1], O_RDONLY)) < 0) {
    fprintf(stderr, "floor: cannot open %s: %s\n", argv[1], strerror(errno));
    return 255;
  }
  unsigned long long outbytes = argc > 2 ? strtoull(argv[2], NULL, 10) : 0;
  widen(fd, INSIZE);
  struct stat st, ost;
  size_t piece = OUTFEW;
  int size;
  if (fstat(STDOUT_FILENO, &ost) == 0 && S_ISREG(ost.st_mode))
    piece = OUTMOST;
  else if ((size = widen(STDOUT_FILENO, OUTMOST)) > 0)
    piece = (size_t)size;
  unsigned long long insize =
      fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? (unsigned long long)st.st_size
                                                 : 0;
  /* Lines as the code text's come, for a reader that looks at them: 27
   * identifiers to a decimal, and an octal every 4,400 or so. */
  for (size_t i = 0, n = 0; i < piece; n++) {
    const char *l = n % 4389 == 4388 ? "octal\n"
                    : n % 28 == 27   ? "decimal\n"
                                     : "identifier\n";
    for (; *l && i < piece; l++)
      out[i++] = *l;
  }
  unsigned long long in = 0, written = 0;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n == 0)
      break;
    if (n < 0 && errno != EINTR) {
      perror("floor: read");
      return 255;
    }
    if (n < 0)
      continue;
    in += (unsigned long long)n;
    /* The output that this much input makes, a full buffer at a time. */
    if (insize > 0)
      while (written + piece <= outbytes * (double)in / (double)insize) {
        put(piece);
        written += piece;
      }
  }
  while (written < outbytes) {
    size_t n = outbytes - written < piece ? outbytes - written : piece;
    put(n);
    written += n;
  }
  return 0;
}
