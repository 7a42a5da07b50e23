// read(2), write(2) and poll(2) as the program wants them.
#include "sys.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

// A descriptor someone else made non-blocking (a shared terminal or pipe)
// says EAGAIN instead of waiting; wait for it here, so that it reads and
// writes like any other.
static bool await(int fd, short events) {
  struct pollfd p = {fd, events, 0};
  for (;;) {
    int r = poll(&p, 1, -1);
    if (r >= 0)
      return true;
    if (errno != EINTR)
      return false;
  }
}

ssize_t readsome(int fd, void *buf, size_t n) {
  for (;;) {
    ssize_t r = read(fd, buf, n);
    if (r >= 0)
      return r;
    if (errno == EINTR)
      continue;
    if ((errno == EAGAIN || errno == EWOULDBLOCK) && await(fd, POLLIN))
      continue;
    return -errno;
  }
}

int writeall(int fd, const void *buf, size_t n) {
  const char *p = static_cast<const char *>(buf);
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR)
        continue;
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && await(fd, POLLOUT))
        continue;
      return errno;
    }
    // A write that takes nothing would take nothing the next time too: a
    // device or file system that can't go on, not progress.
    if (w == 0)
      return EIO;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return 0;
}
