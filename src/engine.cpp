// The block engine at each level, a block at a time, and the loop around it
// and around the recognizers: the input refilled, the output flushed.
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
[[gnu::always_inline]] inline unsigned char *
over(unsigned char *p, const unsigned char *e, uint64_t all) {
  while (e - p >= 128 && alnum<classify>(p + 64) == all)
    p += 64;
  return p;
}

// Where the engine stopped: past the last byte it was given, or nullptr
// when its lines could not go out; and the end of the lines it stored.
struct Cut {
  unsigned char *p;
  char *w;
};

// The block engine: the lines of the tokens from p to e, stored from w on.
// It knows no file, source or sink: when less room is left before end than
// a block's lines may take, it hands them to room(w), the loop's, which
// writes them out and moves w back to the start, or says they could not go
// out.  The last bytes short of a block are decided at once, not kept for
// the next read: their lines must not wait on it.
template <Masks (*classify)(const unsigned char *),
          char *(*emit)(char *, const Starts &) = emit, class Room>
[[gnu::always_inline]] inline Cut blocks(unsigned char *p, unsigned char *e,
                                         char *w, char *const end, Carry &k,
                                         Room room) {
  levelran = LEVELOF<classify>;
  while (e - p >= 64) {
    if (w > end - ROOM && !room(w))
      return {nullptr, w};
    // As many blocks as surely fit in the output, with no call among them:
    // a call would take with it the constants that the classifier keeps in
    // vector registers.
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
    if (w > end - ROOM && !room(w))
      return {nullptr, w};
    Masks m = classify(p);
    w = settle(w, m, k);
    w = emit(w, decide<false>(m, static_cast<unsigned>(e - p), k));
    p = e;
  }
  return {p, w};
}

// The loop around the engine at one level: it writes out the lines when
// the output is full, refills the input when its bytes are used up, and
// decides the '0' that may be left waiting at the end.  (The write position
// goes back into the output only between reads: the engine keeps it in a
// register, and a line stored through it can't be taken to change it.)
template <Masks (*classify)(const unsigned char *),
          char *(*emit)(char *, const Starts &) = emit>
[[gnu::always_inline]] inline bool run(Stream &in, Out &out) {
  auto room = [&](char *&w) {
    out.n = static_cast<size_t>(w - out.buf);
    w = out.buf;
    return flush(out);
  };
  Carry k{};
  do {
    Cut c = blocks<classify, emit>(in.p, in.e, out.buf + out.n,
                                   out.buf + out.cap, k, room);
    if (c.p == nullptr)
      return false;
    in.p = c.p;
    out.n = static_cast<size_t>(c.w - out.buf);
  } while (more(in, out));
  if (out.err)
    return false;
  // At the end, a '0' still waiting has nothing after it; after a failed
  // read, what follows it is unknown, and so is its class.
  return !k.zero || in.err || put(out, DECNUM);
}

[[gnu::flatten]] bool scanportable(Stream &in, Out &out) {
  return run<portable::classify>(in, out);
}

#ifdef SCAN_X86
[[gnu::flatten, gnu::target("sse2")]] bool scansse2(Stream &in, Out &out) {
  return run<sse2::classify>(in, out);
}
#endif

#ifdef __x86_64__
// These two write their lines four at a time with BMI2 (emitquads).
[[gnu::flatten, gnu::target("avx2,bmi,bmi2,popcnt")]] bool scanavx2(Stream &in,
                                                                    Out &out) {
  return run<avx2::classify, emitquads>(in, out);
}

[[gnu::flatten, gnu::target("avx512bw,bmi,bmi2,popcnt")]] bool
scanavx512(Stream &in, Out &out) {
  return run<avx512::classify, emitquads>(in, out);
}
#endif

#ifdef SCAN_NEON
[[gnu::flatten]] bool scanneon(Stream &in, Out &out) {
  return run<neon::classify>(in, out);
}
#endif

bool plain(Stream &in, Out &out) {
  levelran = PLAIN;
  Plain s{in, out};
  return scanall(s, out) && !out.err;
}

} // namespace

// The one place the input is refilled (engine.h).
bool more(Stream &in, Out &out) {
  return !in.end && (!in.waits || flush(out)) && fill(in);
}

bool scan(Stream &in, Out &out) {
  switch (getlevel()) {
  case PLAIN:
    return plain(in, out);
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
