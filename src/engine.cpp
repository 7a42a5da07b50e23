// The block engine's loop over the stream, a block at a time, at each level.
#include "engine.h"

#include <algorithm>
#include <cstddef>

#include "block.h"
#include "classes.h"
#include "lines.h"
#include "scan.h"

int levelran = -1;

namespace {

// Room in the output for every line a block may hold, one being a '0' left
// from the block before.  Lines are stored 16 bytes at a time, or 64 for
// four, past the end of what they hold: 64 lines of at most 11 bytes and
// those 64 bytes more take less than this.
constexpr size_t ROOM = 65 * sizeof Line::text;
static_assert(ROOM < OUTMIN);

template <Masks (*classify)(const unsigned char *)>
[[gnu::always_inline]] inline uint64_t alnum(const unsigned char *p) {
  Masks m = classify(p);
  return m.letter | m.digit;
}

// Steps over the blocks after p while each one's letters and digits are
// `all` (every byte, or none).  Testing two blocks a step saves nothing
// on the long runs, and costs a second branch at the end of every short one.
template <Masks (*classify)(const unsigned char *)>
[[gnu::always_inline]] inline const unsigned char *
over(const unsigned char *p, const unsigned char *e, uint64_t all) {
  while (e - p >= 128 && alnum<classify>(p + 64) == all)
    p += 64;
  return p;
}

// The engine over the stream, one classifier per level.  The write position
// stays in a local, out of the Out, so that a line stored through it cannot
// be taken to change it, and is handed back before anything that may flush.
template <Masks (*classify)(const unsigned char *),
          char *(*emit)(char *, const Starts &) = emit>
[[gnu::always_inline]] inline bool blocks(Stream &in, Out &out) {
  levelran = LEVELOF<classify>;
  Carry k{};
  char *w = out.buf + out.n;
  char *const end = out.buf + out.cap;
  // Whether a block's lines fit, once the output is flushed if need be.
  auto room = [&] {
    if (w <= end - ROOM) [[likely]]
      return true;
    out.n = static_cast<size_t>(w - out.buf);
    w = out.buf;
    return flush(out);
  };
  do {
    const unsigned char *p = in.p, *e = in.e;
    while (e - p >= 64) {
      if (!room())
        return false;
      // As many blocks as surely fit in the output, with no call among
      // them: a call would take with it the constants that the classifier
      // keeps in vector registers.
      size_t fit = static_cast<size_t>(end - w) / ROOM;
      const unsigned char *stop =
          p + 64 * std::min(fit, static_cast<size_t>(e - p) / 64);
      for (; p < stop; p += 64) {
        Masks m = classify(p);
        uint64_t a = m.letter | m.digit;
        if (a == ~uint64_t{0} && k.alnum && !(k.octal | k.digits)) {
          // Inside a run that has given all its tokens: on to its end.
          p = over<classify>(p, e, ~uint64_t{0});
          continue;
        }
        w = settle(w, m, k);
        if (a == 0) {
          // Between runs.
          k = Carry{};
          p = over<classify>(p, e, 0);
          continue;
        }
        w = emit(w, decide<true>(m, 64, k));
      }
    }
    if (p < e) {
      if (!room())
        return false;
      Masks m = classify(p);
      w = settle(w, m, k);
      w = emit(w, decide<false>(m, static_cast<unsigned>(e - p), k));
    }
    in.p = in.e;
    out.n = static_cast<size_t>(w - out.buf);
    // A read that may wait flushes the output first.
  } while (fill(in) && (w = out.buf + out.n, true));
  // At the end, a '0' still waiting has nothing after it; after a failed
  // read, what follows it is unknown, and so is its class.
  return !k.zero || in.err || put(out, DECNUM);
}

[[gnu::flatten]] bool scanportable(Stream &in, Out &out) {
  return blocks<portable::classify>(in, out);
}

#ifdef SCAN_X86
[[gnu::flatten, gnu::target("sse2")]] bool scansse2(Stream &in, Out &out) {
  return blocks<sse2::classify>(in, out);
}
#endif

#ifdef __x86_64__
// These two write their lines four at a time with BMI2 (emitquads).
[[gnu::flatten, gnu::target("avx2,bmi,bmi2,popcnt")]] bool scanavx2(Stream &in,
                                                                    Out &out) {
  return blocks<avx2::classify, emitquads>(in, out);
}

[[gnu::flatten, gnu::target("avx512bw,bmi,bmi2,popcnt")]] bool
scanavx512(Stream &in, Out &out) {
  return blocks<avx512::classify, emitquads>(in, out);
}
#endif

#ifdef SCAN_NEON
[[gnu::flatten]] bool scanneon(Stream &in, Out &out) {
  return blocks<neon::classify>(in, out);
}
#endif

} // namespace

bool scan(Stream &in, Out &out) {
  switch (getlevel()) {
  case PLAIN:
    levelran = PLAIN;
    return scanall(in, out);
#ifdef SCAN_X86
  case SSE2:
    return scansse2(in, out);
#endif
#ifdef __x86_64__
  case AVX2:
    return scanavx2(in, out);
  case AVX512:
    return scanavx512(in, out);
#endif
#ifdef SCAN_NEON
  case NEON:
    return scanneon(in, out);
#endif
  default:
    return scanportable(in, out);
  }
}
