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
#include "scan.h"
#include "span.h"

// Fills buf with up to n bytes; returns how many, 0 at the end of input,
// or -1 with errno set.
using Source = ssize_t (*)(void *ctx, unsigned char *buf, size_t n);

// Pushback room in front of the data; the recognizers never need more.
constexpr size_t PUSHBACK = 2;

struct Stream {
  unsigned char *p;  // next byte to read
  unsigned char *e;  // end of the bytes read so far
  unsigned char *lo; // where the source's bytes go; [lo - PUSHBACK, lo) is room
  unsigned char *hi; // end of the data room; SLACK bytes after it are read
  Source src;        // by the bulk skips, never written
  void *ctx;
  bool end; // the source is done with: it is never called again
  int err;  // errno of the read that failed, 0 if none did
};

// buf must hold PUSHBACK + SLACK + at least one byte.
void init(Stream &s, unsigned char *buf, size_t size, Source src, void *ctx);
int refill(Stream &s);

// The read position of a Stream, copied out of it for the length of a scan.
// A line stored into the output buffer may, as far as the compiler knows,
// alias the stream, and would make it reload p and e after every token; a
// copy whose address is never taken stays in registers.  Vector says how
// its runs are skipped, fixed when the scan begins: with the masks of the
// block that starts at base, or a byte at a time.
template <bool Vector> struct Cursor {
  unsigned char *p, *e;
  Stream *s;
  const unsigned char *base; // no block is known while p - base >= 64
  uint64_t stop[4];
};

template <bool V> inline int refill(Cursor<V> &c) {
  c.s->p = c.p;
  int r = refill(*c.s);
  c.p = c.s->p;
  c.e = c.s->e;
  c.base = c.p + 64; // the block's bytes are gone
  return r;
}

// The end of the run of class K that starts at the cursor: within the
// block, unless the run goes on past it.
template <unsigned K> inline const unsigned char *span(Cursor<true> &c) {
  const unsigned char *p = c.p;
  for (;;) {
    size_t i = static_cast<size_t>(p - c.base);
    if (i >= 64) [[unlikely]] {
      Block b = classify(p, c.e);
      c.base = p;
      for (int j = 0; j < 4; j++)
        c.stop[j] = b.stop[j];
      i = 0;
    }
    if (uint64_t m = c.stop[slot<K>] >> i)
      return p + __builtin_ctzll(m);
    p = c.base + 64;
  }
}

template <unsigned K, class S> inline const unsigned char *span(S &s) {
  const unsigned char *p = s.p;
  while (p < s.e && (chartab[*p + 1] & K))
    ++p;
  return p;
}

// What get, unget and skip need: a position, an end, and a refill.
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

// Bulk form of the recognizers' "read while in class K": the run is
// consumed and the first byte outside it stays next.
template <unsigned K, Buffered S> void skip(S &s) {
  for (;;) {
    s.p = const_cast<unsigned char *>(span<K>(s));
    if (s.p < s.e)
      return;
    int c = refill(s);
    if (c < 0)
      return;
    if (!is(c, K)) {
      --s.p;
      return;
    }
  }
}

template <bool V, class O> [[gnu::flatten]] bool scanover(Stream &in, O &out) {
  Cursor<V> c{in.p, in.e, &in, in.p + 64, {}};
  bool done = scanall(c, out);
  in.p = c.p;
  return done;
}

// The driver's chain over the program's stream runs on a Cursor, with the
// whole chain inlined into one loop so that the cursor never leaves
// registers and a get/unget pair becomes a look at the next byte.
template <class O> bool scanall(Stream &in, O &out) {
  return simd ? scanover<true>(in, out) : scanover<false>(in, out);
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
