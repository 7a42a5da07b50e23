// The input and output as files.
#include "files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// A file opened while a standard descriptor is closed would take its number:
// on 1 it would be the output too, and a closed output would be taken for
// the input file being the output file; on 2 the messages would go to it.
// Above them, a closed output stays closed and its writes fail as such.
int openin(const char *path) {
  int fd;
  do
    fd = open(path, O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0 || fd > STDERR_FILENO)
    return fd;
  int high = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  int e = errno;
  close(fd);
  errno = e;
  return high;
}

// Control bytes are written as C writes them, so that a crafted name can
// neither split the message's line nor send the terminal an escape sequence;
// every other byte, those of UTF-8 and the backslash among them, goes out as
// it is.
const char *shown(const char *s) {
  // Four bytes at most for each; a name that cannot be shown safely is not
  // shown at all.
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

// The output is the very file being scanned: the same device and inode,
// whatever the name or descriptor (an inode number is unique only within
// its device).  A pipe or FIFO that is both hands each line back to the
// reader, which waits for a writer that is itself.  A regular file does so
// while part of it is still unread, wherever the output's offset lies.  At or
// past the end of the unread data (appending, or a descriptor moved to the end)
// the lines grow the file ahead of the reader, which reads them in turn and
// writes lines for them until the disk is full.  Within or before it (as with
// 1<>) they overwrite input not yet read, and since a line ("identifier\n") can
// be longer than its token ("a "), the writer may overtake the reader; only a
// writer so far behind that every line fits before the reader never does, and
// that depends on the text still to come.  With nothing left to read, as when
// the shell's > has emptied the file, the first read ends the scan before any
// line is out.  A terminal or socket that is both input and output is no file.
bool readsback(const struct stat &in, const struct stat &out, off_t at) {
  if (in.st_dev != out.st_dev || in.st_ino != out.st_ino)
    return false;
  if (S_ISFIFO(in.st_mode))
    return true;
  // An offset that can't be told counts as unread: refusing is the safe side.
  return S_ISREG(in.st_mode) && (at < 0 || at < in.st_size);
}

bool readsback(int in, int out) {
  struct stat si, so;
  // A closed descriptor fails again when it is read or written, and is
  // reported there.  Any other failure (EOVERFLOW, where a file is too
  // large for the build) leaves the question open: refusing is the safe
  // side.
  if (fstat(in, &si) != 0 || fstat(out, &so) != 0)
    return errno != EBADF;
  return readsback(si, so, lseek(in, 0, SEEK_CUR));
}

// A read from a pipe, terminal or socket may wait for a writer; lines found
// so far must be out before it does.  So may a read of a pseudo-file of /proc
// (/proc/kmsg waits for the kernel's next message) or of the tracing file
// system (trace_pipe), and those report a size of 0, so a regular file of
// size 0 is read like a pipe.  Any other regular file, or a block device,
// never makes us wait, so its reads skip the extra write.
bool maywait(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0)
    return true;
  if (S_ISREG(st.st_mode))
    return st.st_size == 0;
  return !S_ISBLK(st.st_mode);
}

// A pipe holds 64 KiB unless asked for more, and the writer waits for the
// reader, and the reader for it, at every 64 KiB: hand-overs that cost as
// much as scanning what they bring, between the processors of a virtual
// machine above all.  A pipe as large as a buffer lets one read or write
// move a buffer's worth.  An unprivileged process is refused more than
// /proc/sys/fs/pipe-max-size, and any growth at all once its user's pipes
// hold /proc/sys/fs/pipe-user-pages-soft; a pipe that can't grow is only
// slower, so a refusal is no error, and half as much is asked next, down to
// what the pipe has.
int widen(int fd, int size) {
  int now = fcntl(fd, F_GETPIPE_SZ); // fails for all but a pipe
  for (int ask = size; now >= 0 && now < ask; ask /= 2) {
    int got = fcntl(fd, F_SETPIPE_SZ, ask);
    if (got >= 0)
      return got;
    if (errno != EPERM)
      break;
  }
  return now;
}

// A pipe's reader takes at most what the pipe holds at a time, and a write
// of more waits on it piece by piece: 1 MiB writes into a pipe of 64 KiB
// made a pipeline 2.4 to 3 times slower than 64 KiB ones.  A file takes a
// large write at once.  Writing to /dev/null is only the copy into the
// buffer, which a small buffer keeps in cache; a terminal, a socket or a
// device takes what it takes.
size_t outpiece(int fd, size_t most) {
  constexpr size_t few = 64 * 1024;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
    return most;
  int size = widen(fd, static_cast<int>(std::min<size_t>(most, INT_MAX)));
  return std::min(size > 0 ? static_cast<size_t>(size) : few, most);
}
