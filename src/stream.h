// The input stream: a fixed buffer refilled from a byte source.
//
// get() and unget() are the recognizers' hot path; in the common case they
// are a compare and a pointer move, and everything that may call the source
// lives out of line in refill().  Memory is the one buffer, whatever the
// input: tokens are skipped over, never kept.
#pragma once

#include <cstddef>
#include <sys/types.h>

#include "chars.h"

// Fills buf with up to n bytes; returns how many, 0 at the end of input,
// or -1 with errno set.
using Source = ssize_t (*)(void *ctx, unsigned char *buf, size_t n);

// Pushback room in front of the data; the recognizers never need more.
constexpr size_t PUSHBACK = 2;
// Room after the data: a scan may read a block of 64 bytes from any position
// in the data, and ignores what lies past its end.
constexpr size_t SLACK = 64;

struct Stream {
  unsigned char *p;  // next byte to read
  unsigned char *e;  // end of the bytes read so far
  unsigned char *lo; // where the source's bytes go; [lo - PUSHBACK, lo) is room
  unsigned char *hi; // end of the data room, then SLACK bytes
  Source src;
  void *ctx;
  bool end; // the source is done with: it is never called again
  int err;  // errno of the read that failed, 0 if none did
};

// buf must hold PUSHBACK + SLACK + at least one byte.
void init(Stream &s, unsigned char *buf, size_t size, Source src, void *ctx);
int refill(Stream &s);

// What get, unget and skip need: a position, an end, and a refill.  The
// Stream has them, and so does the scalar Cursor of cursor.h.
template <class S>
concept Buffered = requires(S &s) {
  s.p < s.e;
  refill(s);
};

template <Buffered S> inline int get(S &s) {
  if (s.p < s.e) [[likely]]
    return *s.p++;
  return refill(s);
}

// Only the character last read is ever pushed back, and it is still in the
// buffer (refill() keeps the two bytes before the new data), so pushing back
// is a pointer move.  Not storing the byte matters: a store through an
// unsigned char pointer could alias the stream itself, and would keep the
// compiler from folding a get/unget pair into a plain look at the next byte.
template <Buffered S> inline void unget(S &s, int c) {
  if (c >= 0)
    --s.p;
}

// The part of a run of class K that lies in the bytes already read.
template <unsigned K, Buffered S> void within(S &s) {
  unsigned char *p = s.p; // a local, so the loop need not store each step
  while (p < s.e && is(*p, K))
    ++p;
  s.p = p;
}

// Bulk form of the recognizers' "read while in class K": the run is
// consumed and the first byte outside it stays next.  Says whether the run
// had any bytes.
template <unsigned K, Buffered S> bool skip(S &s) {
  unsigned char *from = s.p;
  within<K>(s);
  bool moved = s.p != from;
  while (s.p == s.e) {
    int c = refill(s);
    if (c < 0)
      return moved;
    if (!is(c, K)) {
      --s.p;
      return moved;
    }
    moved = true;
    within<K>(s);
  }
  return moved;
}

// The program's source: ctx points to an FdSource.  Before a read that may
// block, it calls flush so that no complete line waits on the input; if
// flush fails, reading stops as at the end of input.
struct FdSource {
  int fd;
  bool (*flush)(void *);
  void *arg;
};
ssize_t fdread(void *ctx, unsigned char *buf, size_t n);
