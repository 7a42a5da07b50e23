// The lines of a block's tokens: one at a time, the '0' left undecided by
// the block before, and, where the processor has BMI2, four at a time.
// Each line is a fixed-size copy that may store past its end, so w must
// have room for a block's worth of lines (the engine's ROOM).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "block.h"
#include "out.h"

#ifdef __x86_64__
#include <immintrin.h>
#endif

// The lines by class: decimal, octal, identifier.
inline constexpr Line BYCLASS[3] = {DECNUM, OCTNUM, IDENT};

// The line of the '0' left undecided by the block before, now that the
// first byte of this one is known: a store whatever it is, and a step of 0
// when there is none.
inline char *settle(char *w, const Masks &m, const Carry &k) {
  const Line &l = BYCLASS[m.octal & 1];
  std::memcpy(w, l.text, sizeof l.text);
  return w + (l.len & -k.zero);
}

// The lines of a block's tokens, in order.  Each is a copy from the table
// chosen by the class bits of its start; w must have room for 64 lines.
inline char *emit(char *w, const Starts &t) {
  for (uint64_t all = t.ident | t.octal | t.decimal; all; all &= all - 1) {
    unsigned i = static_cast<unsigned>(__builtin_ctzll(all));
    const Line &l = BYCLASS[(t.ident >> i & 1) * 2 + (t.octal >> i & 1)];
    std::memcpy(w, l.text, sizeof l.text);
    w += l.len;
  }
  return w;
}

#ifdef __x86_64__
// With BMI2, the lines of four tokens at a time: the class bits of the
// tokens, gathered in order, index a table of every four lines joined, and
// a run of tokens costs a quarter of the steps.  Two bits a token: ident or
// octal, ident or decimal; no token is 00, and has no line.
struct Quads {
  char text[256][64];
  unsigned char len[256];
};

constexpr Quads quads() {
  Quads q{};
  const Line byclass[4] = {{"", 0}, DECNUM, OCTNUM, IDENT};
  for (unsigned i = 0; i < 256; i++) {
    unsigned n = 0;
    for (unsigned j = 0; j < 4; j++) {
      const Line &l = byclass[(i >> (4 + j) & 1) * 2 + (i >> j & 1)];
      for (size_t c = 0; c < l.len; c++)
        q.text[i][n++] = l.text[c];
    }
    q.len[i] = static_cast<unsigned char>(n);
  }
  return q;
}

inline constexpr Quads QUADS = quads();

// The lines of four tokens, from the table entry i, to w + at; at moves
// past them.
[[gnu::target("avx2")]] inline void quad(char *w, size_t &at, unsigned i) {
  const char *q = QUADS.text[i];
  __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q));
  __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q + 32));
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(w + at), x0);
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(w + at + 32), x1);
  at += QUADS.len[i];
}

// The table entries of tokens j to j + 15, a byte for each four: a pdep of
// hi and one of lo put their nibbles side by side.
[[gnu::target("bmi2")]] inline uint32_t entries(uint64_t hi, uint64_t lo,
                                                unsigned j) {
  return _pdep_u32(static_cast<uint32_t>(lo >> j), 0x0f0f0f0f) |
         _pdep_u32(static_cast<uint32_t>(hi >> j), 0xf0f0f0f0);
}

// A text has few tokens to a block or many, and the branch that tells the
// two goes the same way block after block: four lines are written whatever
// the count, sixteen past four (writing sixteen always was faster on dense
// text, but slower on sparse, where most blocks have one token).  The end
// of the block's lines is a sum of counts, not of the table's lengths, and
// the branches test the count too: a test on the lines' end waits on the
// table's loads, and when it goes the unexpected way the next block's work
// is thrown away with it.
[[gnu::target("avx2,bmi,bmi2,popcnt")]] inline char *
emitquads(char *w, const Starts &t) {
  uint64_t all = t.ident | t.octal | t.decimal;
  uint64_t hi = _pext_u64(t.ident | t.octal, all);
  uint64_t lo = _pext_u64(t.ident | t.decimal, all);
  size_t total =
      IDENT.len * static_cast<size_t>(__builtin_popcountll(t.ident)) +
      OCTNUM.len * static_cast<size_t>(__builtin_popcountll(t.octal)) +
      DECNUM.len * static_cast<size_t>(__builtin_popcountll(t.decimal));
  unsigned n = static_cast<unsigned>(__builtin_popcountll(all));
  size_t at = 0;
  uint32_t i = entries(hi, lo, 0);
  quad(w, at, i & 255);
  if (n > 4) {
    for (unsigned k = 1; k < 4; k++)
      quad(w, at, i >> 8 * k & 255);
    for (unsigned j = 16; j < n; j += 16) {
      i = entries(hi, lo, j);
      for (unsigned k = 0; k < 4; k++)
        quad(w, at, i >> 8 * k & 255);
    }
  }
  return w + total;
}

#endif
