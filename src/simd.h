// The levels of vector support, and the classes of a block of bytes at once
// for the bulk skips of the scan (see cursor.h).
//
// A scan keeps, for the 64 bytes from where it last looked, one bit mask
// per class of the bytes that end a run of that class.  Skipping a run is
// then a shift and a count of trailing zeros, and the bytes are compared
// once per block rather than once per run: the step from one token to the
// next no longer waits on a load and a compare of the bytes it skips.
//
// The classifiers read 64 bytes from where they are asked to look, whatever
// the end, so every buffer they search must have that many readable bytes
// after its data.  The plain loops are always there: setsimd(SCALAR) selects
// them, and the tests compare every level with them.
#pragma once

#include <cstddef>
#include <cstdint>

#include <immintrin.h>

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

// The classes of the 64 bytes at p, none of them at or after e, with SSE2
// or, where the processor has it, AVX2.  Inline, so that the masks go
// straight to registers in the loop of each level.
namespace blocks {

// Bytes in [lo, hi]: moved so that hi lands on the largest signed byte, the
// range is all that lies above one signed bound.
inline __m128i within(__m128i x, char lo, char hi) {
  return _mm_cmpgt_epi8(_mm_add_epi8(x, _mm_set1_epi8(0x7f - hi)),
                        _mm_set1_epi8(0x7f - (hi - lo) - 1));
}

[[gnu::target("avx2")]] inline __m256i within(__m256i x, char lo, char hi) {
  return _mm256_cmpgt_epi8(_mm256_add_epi8(x, _mm256_set1_epi8(0x7f - hi)),
                           _mm256_set1_epi8(0x7f - (hi - lo) - 1));
}

inline uint64_t bits16(__m128i m) {
  return static_cast<uint16_t>(_mm_movemask_epi8(m));
}

[[gnu::target("avx2")]] inline uint64_t bits32(__m256i m) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(m));
}

inline Block finish(uint64_t alnum, uint64_t digit, uint64_t octal,
                    const unsigned char *p, const unsigned char *e) {
  size_t n = static_cast<size_t>(e - p);
  uint64_t end = n < 64 ? ~uint64_t{0} << n : 0;
  return {{~alnum | end, ~digit | end, ~octal | end, alnum | end}};
}

// A letter is a-z once the case bit is set.
inline Block classify16(const unsigned char *p, const unsigned char *e) {
  uint64_t alnum = 0, digit = 0, octal = 0;
  for (int i = 0; i < 64; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
    __m128i d = within(x, '0', '9');
    __m128i l = within(_mm_or_si128(x, _mm_set1_epi8(0x20)), 'a', 'z');
    digit |= bits16(d) << i;
    octal |= bits16(within(x, '0', '7')) << i;
    alnum |= bits16(_mm_or_si128(d, l)) << i;
  }
  return finish(alnum, digit, octal, p, e);
}

[[gnu::target("avx2")]] inline Block classify32(const unsigned char *p,
                                                const unsigned char *e) {
  uint64_t alnum = 0, digit = 0, octal = 0;
  for (int i = 0; i < 64; i += 32) {
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i));
    __m256i d = within(x, '0', '9');
    __m256i l = within(_mm256_or_si256(x, _mm256_set1_epi8(0x20)), 'a', 'z');
    digit |= bits32(d) << i;
    octal |= bits32(within(x, '0', '7')) << i;
    alnum |= bits32(_mm256_or_si256(d, l)) << i;
  }
  return finish(alnum, digit, octal, p, e);
}

} // namespace blocks

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
