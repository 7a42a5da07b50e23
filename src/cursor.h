// The driver's chain over the program's stream, as fast as it goes.
//
// The chain runs on a cursor: the stream's read position copied out of it
// for the length of a scan, with the whole chain inlined into one loop.  A
// line stored into the output buffer may, as far as the compiler knows,
// alias the stream, and would make it reload the position after every
// token; a copy whose address is never taken stays in registers, and there
// a get/unget pair folds into a look at the next byte.  An Out is written
// through a Writer for the same reason; a refill may flush the output (the
// input may make us wait), so the cursors publish the writer around it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "out.h"
#include "scan.h"
#include "simd.h"
#include "stream.h"

// The output of a scan whose output is not an Out: nothing to hold apart.
struct Unwritten {};
inline void publish(Unwritten &) {}
inline void resume(Unwritten &) {}

// The scalar level: the position as the stream has it.
template <class W> struct Cursor {
  unsigned char *p, *e;
  Stream *s;
  W w;
};

template <class W> void take(Cursor<W> &c, Stream &s) {
  c.p = s.p;
  c.e = s.e;
  c.s = &s;
}

template <class W> void give(Cursor<W> &c, Stream &s) { s.p = c.p; }

template <class W> int refill(Cursor<W> &c) {
  publish(c.w);
  give(c, *c.s);
  int r = refill(*c.s);
  take(c, *c.s);
  resume(c.w);
  return r;
}

// The vector levels, L: the position as an index i from base, where the
// stop masks of the block [base, base + 64) hold while 0 <= i < 64.  Skipping a
// run within the block is a shift, a count of trailing zeros and an add, all
// on i: the step from one token to the next waits on nothing else.
template <int L, class W> struct Blocks {
  const unsigned char *base;
  ptrdiff_t i, n; // position and end of the data, from base
  Stream *s;
  W w;
  uint64_t stop[4];
};

// No block is known yet: i is out of range.
template <int L, class W> void take(Blocks<L, W> &c, Stream &s) {
  c.base = s.p + 64;
  c.i = -64;
  c.n = s.e - c.base;
  c.s = &s;
}

template <int L, class W> void give(Blocks<L, W> &c, Stream &s) {
  s.p = const_cast<unsigned char *>(c.base + c.i);
}

template <int L, class W> int refill(Blocks<L, W> &c) {
  publish(c.w);
  give(c, *c.s);
  int r = refill(*c.s);
  take(c, *c.s); // the block's bytes are gone
  resume(c.w);
  return r;
}

template <int L, class W> int get(Blocks<L, W> &c) {
  if (c.i < c.n) [[likely]]
    return c.base[c.i++];
  return refill(c);
}

template <int L, class W> void unget(Blocks<L, W> &c, int ch) {
  if (ch >= 0)
    --c.i;
}

// Where the run of class K from i ends: in this block, unless the run goes
// on past it.  Past the end of the data every byte stops every class.
template <unsigned K, int L, class W> ptrdiff_t span(Blocks<L, W> &c) {
  ptrdiff_t i = c.i;
  for (;;) {
    if (static_cast<size_t>(i) >= 64) [[unlikely]] {
      Block b = L == AVX2 ? blocks::classify32(c.base + i, c.base + c.n)
                          : blocks::classify16(c.base + i, c.base + c.n);
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

// The first run is measured as a pointer difference, since span() may move
// the base; once a refill has been needed, a byte of the run has been
// consumed and the answer is known.
template <unsigned K, int L, class W> bool skip(Blocks<L, W> &c) {
  const unsigned char *from = c.base + c.i;
  c.i = span<K>(c);
  bool moved = c.base + c.i != from;
  while (c.i >= c.n) {
    int ch = refill(c);
    if (ch < 0)
      return moved;
    if (!is(ch, K)) {
      --c.i;
      return moved;
    }
    moved = true;
    c.i = span<K>(c);
  }
  return moved;
}

// The chain over a cursor taken from the stream and given back to it at
// the end; an Out is written through a Writer that the cursor holds.
template <template <class> class C, class O> bool scanwith(Stream &in, O &out) {
  bool done;
  if constexpr (std::is_same_v<O, Out>) {
    C<Writer> c{};
    take(c, in);
    c.w = writer(out);
    done = scanall(c, c.w);
    publish(c.w);
    give(c, in);
  } else {
    C<Unwritten> c{};
    take(c, in);
    done = scanall(c, out);
    give(c, in);
  }
  return done;
}

template <class W> using Blocks16 = Blocks<SSE2, W>;
template <class W> using Blocks32 = Blocks<AVX2, W>;

// One loop per level, each with the whole chain inlined into it.  The AVX2
// one is compiled for the processors that have it, and so also has BMI's
// shifts, which take their count from any register.
template <class O> [[gnu::flatten]] bool scanplain(Stream &in, O &out) {
  return scanwith<Cursor>(in, out);
}

template <class O> [[gnu::flatten]] bool scansse2(Stream &in, O &out) {
  return scanwith<Blocks16>(in, out);
}

template <class O>
[[gnu::flatten, gnu::target("avx2,bmi,bmi2")]] bool scanavx2(Stream &in,
                                                             O &out) {
  return scanwith<Blocks32>(in, out);
}

// The chain over the program's stream, at the level setsimd() chose.
template <class O> bool scanall(Stream &in, O &out) {
  switch (simd) {
  case SCALAR:
    return scanplain(in, out);
  case SSE2:
    return scansse2(in, out);
  default:
    return scanavx2(in, out);
  }
}
