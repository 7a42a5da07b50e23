// The classes of a block of bytes at once, for the stream's bulk skips.
//
// A scan keeps, for the 64 bytes from where it last looked, one bit mask
// per class of the bytes that end a run of that class.  Skipping a run is
// then a shift and a count of trailing zeros, and the bytes are compared
// once per block rather than once per run: the step from one token to the
// next no longer waits on a load and a compare of the bytes it skips.
//
// classify() reads 64 bytes from where it is asked to look, whatever the
// end, so every buffer it searches must have that many readable bytes after
// its data.  The plain loops are always there: setsimd(SCALAR) selects them,
// and the tests compare every level with them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "chars.h"

enum Simd { SCALAR, SSE2, AVX2 };

// The level in use; set once at start-up to the best the processor has.
extern int simd;
// Selects a level, no higher than the processor has; returns the one set.
int setsimd(int level);

// Bit i of stop[slot<K>] is set when p[i] is outside class K, or at or
// after the end of the data.
struct Block {
  uint64_t stop[4];
};

template <unsigned K>
constexpr int slot = K == ALNUM   ? 0
                     : K == DIGIT ? 1
                     : K == OCTAL ? 2
                                  : 3;

// The classes of the 64 bytes at p, none of them at or after e.
using Classify = Block (*)(const unsigned char *p, const unsigned char *e);
extern Classify classify;

// The index of the lowest set bit of m, which is not 0.  The builtin gives
// an int, which the compiler then widens with one more step on the path from
// one token to the next.
inline uint64_t lowbit(uint64_t m) {
#if defined(__x86_64__)
  uint64_t k;
  asm("rep bsfq %1, %0" : "=r"(k) : "rm"(m) : "cc"); // tzcnt where there is one
  return k;
#else
  return static_cast<uint64_t>(__builtin_ctzll(m));
#endif
}
