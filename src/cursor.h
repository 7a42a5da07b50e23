// The driver's chain over the program's stream, as fast as it goes.
//
// The chain runs on a cursor: the stream's read position copied out of it
// for the length of a scan, with the whole chain inlined into one loop.  A
// line stored into the output buffer may, as far as the compiler knows,
// alias the stream, and would make it reload the position after every
// token; a copy whose address is never taken stays in registers, and there
// a get/unget pair folds into a look at the next byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scan.h"
#include "span.h"
#include "stream.h"

// The scalar level: the position as the stream has it.
struct Cursor {
  unsigned char *p, *e;
  Stream *s;
};

inline int refill(Cursor &c) {
  c.s->p = c.p;
  int r = refill(*c.s);
  c.p = c.s->p;
  c.e = c.s->e;
  return r;
}

// The vector levels: the position as an index i from base, where the stop
// masks of the block [base, base + 64) hold while 0 <= i < 64.  Skipping a
// run within the block is a shift, a count of trailing zeros and an add, all
// on i: the step from one token to the next waits on nothing else.
struct Blocks {
  const unsigned char *base;
  ptrdiff_t i, n; // position and end of the data, from base
  Stream *s;
  uint64_t stop[4];
};

inline Blocks blocks(Stream &s) {
  // No block is known yet: i is out of range.
  return {s.p + 64, -64, s.e - (s.p + 64), &s, {}};
}

inline int refill(Blocks &c) {
  c.s->p = const_cast<unsigned char *>(c.base + c.i);
  int r = refill(*c.s);
  c = blocks(*c.s); // the block's bytes are gone
  return r;
}

inline int get(Blocks &c) {
  if (c.i < c.n) [[likely]]
    return c.base[c.i++];
  return refill(c);
}

inline void unget(Blocks &c, int ch) {
  if (ch >= 0)
    --c.i;
}

// Where the run of class K from i ends: in this block, unless the run goes
// on past it.  Past the end of the data every byte stops every class.
template <unsigned K> inline ptrdiff_t span(Blocks &c) {
  ptrdiff_t i = c.i;
  for (;;) {
    if (static_cast<size_t>(i) >= 64) [[unlikely]] {
      Block b = classify(c.base + i, c.base + c.n);
      c.base += i;
      c.n -= i;
      i = 0;
      for (int j = 0; j < 4; j++)
        c.stop[j] = b.stop[j];
    }
    if (uint64_t m = c.stop[slot<K>] >> i)
      return i + static_cast<ptrdiff_t>(lowbit(m));
    i = 64;
  }
}

template <unsigned K> void skip(Blocks &c) {
  for (;;) {
    c.i = span<K>(c);
    if (c.i < c.n)
      return;
    int ch = refill(c);
    if (ch < 0)
      return;
    if (!is(ch, K)) {
      --c.i;
      return;
    }
  }
}

template <class O> [[gnu::flatten]] bool scanblocks(Stream &in, O &out) {
  Blocks c = blocks(in);
  bool done = scanall(c, out);
  in.p = const_cast<unsigned char *>(c.base + c.i);
  return done;
}

template <class O> [[gnu::flatten]] bool scancursor(Stream &in, O &out) {
  Cursor c{in.p, in.e, &in};
  bool done = scanall(c, out);
  in.p = c.p;
  return done;
}

// The chain over the program's stream, at the level setsimd() chose.
template <class O> bool scanall(Stream &in, O &out) {
  return simd == SCALAR ? scancursor(in, out) : scanblocks(in, out);
}
