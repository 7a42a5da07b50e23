// scandec: write one line per identifier, octal and decimal number in a
// file or the standard input, then "EOF found".
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
// so far must be out before it does.  So may a read of a pseudo-file of /proc
// (/proc/kmsg waits for the kernel's next message) or of the tracing file
// system (trace_pipe), and those report a size of 0, so a regular file of
// size 0 is read like a pipe.  Any other regular file, or a block device,
// never makes us wait, so its reads skip the extra write.
static bool maywait(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0)
    return true;
  if (S_ISREG(st.st_mode))
    return st.st_size == 0;
  return !S_ISBLK(st.st_mode);
}

// The bytes a read may bring.
constexpr int DATA = 256 * 1024;

// A pipe holds 64 KiB unless asked for more, and the writer waits for us,
// and we for it, at every 64 KiB: hand-overs that cost as much as scanning
// what they bring, between the processors of a virtual machine above all.
// A pipe as large as our buffer lets a read take a buffer's worth.  One that
// can't grow (the user's quota of pipe memory reached) is only slower, so a
// failure here is no error.
static void widen(int fd) {
  int size = fcntl(fd, F_GETPIPE_SZ); // fails for all but a pipe
  if (size >= 0 && size < DATA)
    static_cast<void>(fcntl(fd, F_SETPIPE_SZ, DATA));
}

// Whether the scan would read back its own lines: standard output is the
// very regular file being scanned (the same device and inode, whatever the
// name or descriptor), and part of it is still unread.  Where the output's
// offset lies does not matter.  At or past the end of the unread data
// (appending, or a descriptor moved to the end) the lines grow the file
// ahead of the reader, which reads them in turn and writes lines for them
// until the disk is full.  Within or before it (as with 1<>) they overwrite
// input not yet read, and since a line ("identifier\n") can be longer than
// its token ("a "), the writer may overtake the reader; only a writer so far
// behind that every line fits before the reader never does, and that depends
// on the text still to come.  With nothing left to read, as when the shell's
// > has emptied the file, the first read ends the scan before any line is
// out.  A terminal or socket that is both input and output is no file.
static bool readsback(int fd) {
  struct stat in, out;
  // A descriptor fstat refuses fails again when it is read or written, and
  // is reported there.
  if (fstat(fd, &in) != 0 || fstat(STDOUT_FILENO, &out) != 0)
    return false;
  if (!S_ISREG(in.st_mode) || in.st_dev != out.st_dev ||
      in.st_ino != out.st_ino)
    return false;
  // An offset that can't be told counts as unread: refusing is the safe side.
  off_t at = lseek(fd, 0, SEEK_CUR);
  return at < 0 || at < in.st_size;
}

// A name as it goes into a message.  Control bytes are written as C writes
// them, so that a crafted name can neither split the message's line nor send
// the terminal an escape sequence; every other byte, those of UTF-8 and the
// backslash among them, goes out as it is.
static const char *shown(const char *s) {
  // Four bytes at most for each, from memory that lives until the exit; a
  // name that cannot be shown safely is not shown at all.
  char *r = static_cast<char *>(std::malloc(4 * std::strlen(s) + 1));
  if (r == nullptr)
    return "?";
  char *w = r;
  for (; *s; ++s) {
    unsigned c = static_cast<unsigned char>(*s);
    if (c >= 0x20 && c != 0x7f) {
      *w++ = *s;
    } else if (c >= '\a' && c <= '\r') {
      *w++ = '\\';
      *w++ = "abtnvfr"[c - '\a'];
    } else {
      *w++ = '\\';
      *w++ = static_cast<char>('0' + (c >> 6));
      *w++ = static_cast<char>('0' + (c >> 3 & 7));
      *w++ = static_cast<char>('0' + (c & 7));
    }
  }
  *w = '\0';
  return r;
}

// The names in messages, held where the memory they are in stays reachable.
static const char *prog, *name = "standard input";

static bool flushout(void *o) { return flush(*static_cast<Out *>(o)); }

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
  if (readsback(fd)) {
    std::fprintf(stderr, "%s: %s: input file is output file\n", prog, name);
    return 255;
  }

  static Out out;
  static unsigned char buf[PUSHBACK + DATA + SLACK];
  widen(fd);
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
