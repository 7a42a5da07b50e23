#include "out.h"

#include <cerrno>

#include "sys.h"

void init(Out &o, int fd) {
  o.fd = fd;
  o.err = 0;
  o.n = 0;
}

bool flush(Out &o) {
  if (o.err)
    return false;
  if (o.n > 0 && !writeall(o.fd, o.buf, o.n)) {
    o.err = errno;
    return false;
  }
  o.n = 0;
  return true;
}
