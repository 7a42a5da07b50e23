// The classes of a block of 64 bytes, at each level of vector support the
// processor may have.  Each classifier reads 64 bytes from where it is asked
// to look, whatever the end of the data, so every buffer it searches must
// have that many readable bytes after its data (the stream's SLACK).
//
// Every byte is compared once, whatever its tokens: the step from one token
// to the next then waits on no load and no compare, only on bit arithmetic.
#pragma once

#include <cstdint>
#include <cstring>

#include "block.h"
#include "levels.h"

#ifdef SCAN_X86
#include <immintrin.h>
#elif defined(SCAN_NEON)
#include <arm_neon.h>
#endif

// Which level each classifier is, so that the engine can record whose code
// ran and a level that runs another's shows in the tests; -1 for none.
template <Masks (*)(const unsigned char *)> inline constexpr int LEVELOF = -1;

// Every processor has the portable level, 64-bit integer arithmetic on 8
// bytes at a time.  For a byte b and a bound n <= 128, adding 128 - n to its
// low seven bits sets its high bit exactly when b & 0x7f >= n, and no carry
// leaves the byte.
namespace portable {

constexpr uint64_t ONES = 0x0101010101010101, HIGH = ONES * 0x80;

// The high bit of each byte that is below n.
inline uint64_t below(uint64_t x, unsigned n) {
  return ~(((x & ~HIGH) + ONES * (128 - n)) | x) & HIGH;
}

// The high bits of the eight bytes, gathered into the low eight bits: the
// multiply moves the bit of byte j to bit 56 + j, with no two colliding.
inline uint64_t gather(uint64_t h) {
  return ((h >> 7) * 0x0102040810204080) >> 56;
}

inline Masks classify(const unsigned char *p) {
  Masks m{};
  for (unsigned i = 0; i < 64; i += 8) {
    uint64_t x;
    std::memcpy(&x, p + i, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    x = __builtin_bswap64(x); // byte 0 in the low bits, as on the others
#endif
    uint64_t y = x | ONES * 0x20; // a letter is a-z once its case bit is set
    uint64_t digit = below(x, '0' + 10) & ~below(x, '0');
    uint64_t octal = below(x, '0' + 8) & ~below(x, '0');
    m.digit |= gather(digit) << i;
    m.octal |= gather(octal) << i;
    m.zero |= gather(below(x ^ ONES * '0', 1)) << i;
    m.letter |= gather(below(y, 'z' + 1) & ~below(y, 'a')) << i;
  }
  return m;
}

} // namespace portable
template <> inline constexpr int LEVELOF<portable::classify> = PORTABLE;

#ifdef SCAN_X86
// SSE2, AVX2 and AVX-512 are compiled for whatever processor the program is
// built for, each in functions of its own, and chosen at run time.  SSE2
// and AVX2 compare bytes only as signed numbers, so each range is moved to
// the bottom of the signed range (from, below); AVX-512 compares unsigned.
namespace sse2 {

[[gnu::target("sse2")]] inline uint64_t bits(__m128i m) {
  return static_cast<uint16_t>(_mm_movemask_epi8(m));
}

// The bytes from `first` on, moved to the bottom of the signed range, where
// one compare finds the range (a minimum and an equality did before).
[[gnu::target("sse2")]] inline __m128i from(__m128i x, char first) {
  return _mm_add_epi8(x, _mm_set1_epi8(static_cast<char>(-128 - first)));
}

[[gnu::target("sse2")]] inline __m128i below(__m128i x, int n) {
  return _mm_cmplt_epi8(x, _mm_set1_epi8(static_cast<char>(-128 + n)));
}

[[gnu::target("sse2")]] inline Masks classify(const unsigned char *p) {
  Masks m{};
  for (unsigned i = 0; i < 64; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
    __m128i d = from(x, '0');
    __m128i l = from(_mm_or_si128(x, _mm_set1_epi8(0x20)), 'a');
    m.digit |= bits(below(d, 10)) << i;
    m.octal |= bits(below(d, 8)) << i;
    m.zero |= bits(below(d, 1)) << i;
    m.letter |= bits(below(l, 26)) << i;
  }
  return m;
}

} // namespace sse2
template <> inline constexpr int LEVELOF<sse2::classify> = SSE2;

#ifdef __x86_64__
namespace avx2 {

[[gnu::target("avx2")]] inline uint64_t bits(__m256i m) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(m));
}

// As for SSE2.  The two halves are written out rather than looped over, so
// that the compiler keeps the constants in registers across blocks.
[[gnu::target("avx2")]] inline __m256i from(__m256i x, char first) {
  return _mm256_add_epi8(x, _mm256_set1_epi8(static_cast<char>(-128 - first)));
}

[[gnu::target("avx2")]] inline __m256i below(__m256i x, int n) {
  return _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(-128 + n)), x);
}

[[gnu::target("avx2")]] inline Masks half(const unsigned char *p) {
  __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
  __m256i d = from(x, '0');
  __m256i l = from(_mm256_or_si256(x, _mm256_set1_epi8(0x20)), 'a');
  return {bits(below(l, 26)), bits(below(d, 10)), bits(below(d, 8)),
          bits(below(d, 1))};
}

[[gnu::target("avx2")]] inline Masks classify(const unsigned char *p) {
  Masks a = half(p), b = half(p + 32);
  return {a.letter | b.letter << 32, a.digit | b.digit << 32,
          a.octal | b.octal << 32, a.zero | b.zero << 32};
}

} // namespace avx2
template <> inline constexpr int LEVELOF<avx2::classify> = AVX2;

// One register holds the block, and its compares give the masks directly.
namespace avx512 {

[[gnu::target("avx512bw")]] inline Masks classify(const unsigned char *p) {
  __m512i x = _mm512_loadu_si512(p);
  __m512i d = _mm512_sub_epi8(x, _mm512_set1_epi8('0'));
  __m512i l = _mm512_sub_epi8(_mm512_or_si512(x, _mm512_set1_epi8(0x20)),
                              _mm512_set1_epi8('a'));
  return {_mm512_cmplt_epu8_mask(l, _mm512_set1_epi8(26)),
          _mm512_cmplt_epu8_mask(d, _mm512_set1_epi8(10)),
          _mm512_cmplt_epu8_mask(d, _mm512_set1_epi8(8)),
          _mm512_testn_epi8_mask(d, d)};
}

} // namespace avx512
template <> inline constexpr int LEVELOF<avx512::classify> = AVX512;
#endif
#endif

#ifdef SCAN_NEON
// Advanced SIMD has no movemask: each byte of a compare keeps one bit of
// its place, and three pairwise additions fold four registers into 64 bits.
namespace neon {

inline uint64_t bits(uint8x16_t a, uint8x16_t b, uint8x16_t c, uint8x16_t d) {
  const uint8x16_t place = {1, 2, 4, 8, 16, 32, 64, 128,
                            1, 2, 4, 8, 16, 32, 64, 128};
  uint8x16_t ab = vpaddq_u8(vandq_u8(a, place), vandq_u8(b, place));
  uint8x16_t cd = vpaddq_u8(vandq_u8(c, place), vandq_u8(d, place));
  uint8x16_t all = vpaddq_u8(ab, cd);
  all = vpaddq_u8(all, all);
  return vgetq_lane_u64(vreinterpretq_u64_u8(all), 0);
}

inline Masks classify(const unsigned char *p) {
  uint8x16_t dig[4], oct[4], zero[4], let[4];
  for (int i = 0; i < 4; i++) {
    uint8x16_t x = vld1q_u8(p + 16 * i);
    uint8x16_t d = vsubq_u8(x, vdupq_n_u8('0'));
    uint8x16_t l = vsubq_u8(vorrq_u8(x, vdupq_n_u8(0x20)), vdupq_n_u8('a'));
    dig[i] = vcltq_u8(d, vdupq_n_u8(10));
    oct[i] = vcltq_u8(d, vdupq_n_u8(8));
    zero[i] = vceqq_u8(x, vdupq_n_u8('0'));
    let[i] = vcltq_u8(l, vdupq_n_u8(26));
  }
  return {bits(let[0], let[1], let[2], let[3]),
          bits(dig[0], dig[1], dig[2], dig[3]),
          bits(oct[0], oct[1], oct[2], oct[3]),
          bits(zero[0], zero[1], zero[2], zero[3])};
}

} // namespace neon
template <> inline constexpr int LEVELOF<neon::classify> = NEON;
#endif
