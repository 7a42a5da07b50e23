#include "span.h"

#include <algorithm>
#include <immintrin.h>

// Bytes in [lo, hi]: moved so that hi lands on the largest signed byte, the
// range is all that lies above one signed bound.
static __m128i within(__m128i x, char lo, char hi) {
  return _mm_cmpgt_epi8(_mm_add_epi8(x, _mm_set1_epi8(0x7f - hi)),
                        _mm_set1_epi8(0x7f - (hi - lo) - 1));
}

[[gnu::target("avx2")]] static __m256i within(__m256i x, char lo, char hi) {
  return _mm256_cmpgt_epi8(_mm256_add_epi8(x, _mm256_set1_epi8(0x7f - hi)),
                           _mm256_set1_epi8(0x7f - (hi - lo) - 1));
}

static uint64_t bits16(__m128i m) {
  return static_cast<uint16_t>(_mm_movemask_epi8(m));
}

[[gnu::target("avx2")]] static uint64_t bits32(__m256i m) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(m));
}

static Block finish(uint64_t alnum, uint64_t digit, uint64_t octal,
                    const unsigned char *p, const unsigned char *e) {
  size_t n = static_cast<size_t>(e - p);
  uint64_t end = n < 64 ? ~uint64_t{0} << n : 0;
  return {{~alnum | end, ~digit | end, ~octal | end, alnum | end}};
}

// A letter is a-z once the case bit is set.
static Block classify16(const unsigned char *p, const unsigned char *e) {
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

[[gnu::target("avx2")]] static Block classify32(const unsigned char *p,
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

Classify classify = classify16;

int setsimd(int level) {
  if (level >= AVX2 && !__builtin_cpu_supports("avx2"))
    level = SSE2;
  level = std::clamp(level, int(SCALAR), int(AVX2));
  classify = level == AVX2 ? classify32 : classify16;
  return simd = level;
}

int simd = setsimd(AVX2);
