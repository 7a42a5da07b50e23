// The classes of a block of bytes at once, for the stream's bulk skips.
//
// A scan keeps, for the 64 bytes from where it last looked, one bit mask
// per class of the bytes that end a run of that class.  Skipping a run is
// then a shift and a count of trailing zeros, and the bytes are compared
// once per block rather than once per run: the step from one token to the
// next no longer waits on a load and a compare of the bytes it skips.
//
// The vector forms read 64 bytes from where they are asked to look, so every
// buffer they search must have SLACK readable bytes after its data.  The
// plain loops are always there: setsimd(SCALAR) selects them, and the tests
// compare every level with them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "chars.h"

constexpr size_t SLACK = 64;

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
