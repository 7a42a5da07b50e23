// The input stream's refill, and the program's source.
#include "stream.h"

#include <cstring>

#include "sys.h"

void init(Stream &s, unsigned char *buf, size_t size, Source src, void *ctx) {
  std::memset(buf, 0, PUSHBACK);
  s.lo = buf + PUSHBACK;
  s.hi = buf + size - SLACK;
  std::memset(s.hi, 0, SLACK);
  s.p = s.e = s.lo;
  s.src = src;
  s.ctx = ctx;
  s.end = false;
  s.waits = false;
  s.err = 0;
}

// The last bytes read move in front of the new data, so that a character
// read before the refill can still be pushed back after it.  Once the source
// has ended or failed it is not asked again: the end repeats on every later
// read, and a terminal is not read past the end the user typed.
bool fill(Stream &s) {
  if (s.end)
    return false;
  std::memmove(s.lo - PUSHBACK, s.e - PUSHBACK, PUSHBACK);
  s.p = s.e = s.lo;
  ssize_t n = s.src(s.ctx, s.lo, static_cast<size_t>(s.hi - s.lo));
  if (n <= 0) {
    if (n < 0)
      s.err = static_cast<int>(-n);
    s.end = true;
    return false;
  }
  s.e = s.lo + n;
  return true;
}

ssize_t fdread(void *ctx, unsigned char *buf, size_t n) {
  return readsome(*static_cast<int *>(ctx), buf, n);
}
