/* The input and output that the generated peers share with scandec: the
 * input read 256 KiB at a time with read(2), the lines gathered in a 64 KiB
 * buffer written with write(2).  Each line is copied as 16 bytes and the end
 * moved by its length, so adding one is a single fixed-size store.
 *
 * The scanners keep their end of the output in a local variable and pass it
 * through PUT: a global one would be reloaded after every store into the
 * buffer, which may alias it as far as the compiler knows. */
#ifndef PEER_IO_H
#define PEER_IO_H

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { INSIZE = 256 * 1024, OUTSIZE = 64 * 1024 };

static const char *progname = "peer", *inname = "standard input";
static int infd;
static char outbuf[OUTSIZE];

static _Noreturn void fail(const char *what, const char *name) {
  fprintf(stderr, "%s: cannot %s %s: %s\n", progname, what, name,
          strerror(errno));
  exit(255);
}

/* The input is the file named by the first argument, or standard input. */
static void openin(int argc, char **argv) {
  if (argc > 0)
    progname = argv[0];
  if (argc < 2)
    return;
  inname = argv[1];
  do
    infd = open(inname, O_RDONLY | O_CLOEXEC);
  while (infd < 0 && errno == EINTR);
  if (infd < 0)
    fail("open", inname);
}

/* Returns the number of bytes read, 0 at the end of the input. */
static size_t readin(unsigned char *p, size_t n) {
  ssize_t r;
  do
    r = read(infd, p, n);
  while (r < 0 && errno == EINTR);
  if (r < 0)
    fail("read", inname);
  return (size_t)r;
}

/* Writes the buffer up to end; returns where the next line goes. */
static char *flushout(char *end) {
  for (char *p = outbuf; p < end;) {
    ssize_t w = write(STDOUT_FILENO, p, (size_t)(end - p));
    if (w < 0 && errno == EINTR)
      continue;
    if (w < 0)
      fail("write", "standard output");
    p += w;
  }
  return outbuf;
}

#define OUTLIM (outbuf + OUTSIZE - 16)

/* s is a string literal of at most 16 bytes, its newline included. */
#define PUT(op, s)                                                             \
  do {                                                                         \
    if ((op) > OUTLIM)                                                         \
      (op) = flushout(op);                                                     \
    memcpy((op), s "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16);                      \
    (op) += sizeof(s) - 1;                                                     \
  } while (0)

/* The last line, then everything out; a full disk may only show at close. */
static int finish(char *op) {
  PUT(op, "EOF found\n");
  flushout(op);
  if (close(STDOUT_FILENO) != 0 && errno != EINTR)
    fail("write", "standard output");
  return 0;
}

#endif
