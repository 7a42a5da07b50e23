/* The floor: what any scanner of the input must do at the least, and
 * nothing else.  It reads the input in 256 KiB blocks, from a pipe widened
 * to that size as scandec widens its own; given a number of bytes, it also
 * writes that many, in 64 KiB writes spread over the reading as a scanner's
 * lines are, so that a case whose output goes to a file has a floor that
 * writes as much as scandec does there.
 *   floor [FILE|-] [OUTPUT-BYTES] */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { INSIZE = 256 * 1024, OUTSIZE = 64 * 1024 };

static char buf[INSIZE], out[OUTSIZE];

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
  int size = fcntl(fd, F_GETPIPE_SZ); /* fails for all but a pipe */
  if (size >= 0 && size < INSIZE)
    (void)fcntl(fd, F_SETPIPE_SZ, INSIZE);
  struct stat st;
  unsigned long long insize =
      fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? (unsigned long long)st.st_size
                                                 : 0;
  for (size_t i = 0; i < OUTSIZE; i++)
    out[i] = "decimal\n"[i % 8];
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
      while (written + OUTSIZE <= outbytes * (double)in / (double)insize) {
        put(OUTSIZE);
        written += OUTSIZE;
      }
  }
  while (written < outbytes) {
    size_t n = outbytes - written < OUTSIZE ? outbytes - written : OUTSIZE;
    put(n);
    written += n;
  }
  return 0;
}
