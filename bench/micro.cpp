// The in-memory scan of one buffer of each kind of text, at each level:
// bytes per cycle (at the clock Google Benchmark reads for the processor)
// and nanoseconds per token.  Then, for the dense texts, the engine's loop
// in three stages, to show where its time goes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <map>
#include <string>

#include "classes.h"
#include "corpus.h"
#include "engine.h"
#include "lines.h"
#include "out.h"
#include "stream.h"

namespace {

struct Mem {
  const std::string *text;
  size_t pos;
};

double cputime() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) +
         static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The time spent copying the text into the stream, which stands for
// read(2): the program's floor, not its scan, and left out of the figures.
double copying;

ssize_t memread(void *ctx, unsigned char *buf, size_t n) {
  auto *m = static_cast<Mem *>(ctx);
  double start = cputime();
  n = std::min(n, m->text->size() - m->pos);
  std::memcpy(buf, m->text->data() + m->pos, n);
  m->pos += n;
  copying += cputime() - start;
  return static_cast<ssize_t>(n);
}

// Counts the lines and drops them.
int count(void *ctx, const char *buf, size_t n) {
  *static_cast<size_t *>(ctx) +=
      static_cast<size_t>(std::count(buf, buf + n, '\n'));
  return 0;
}

int drop(void *, const char *, size_t) { return 0; }

const std::string &text(const std::string &kind) {
  static std::map<std::string, std::string> made;
  std::string &t = made[kind];
  if (t.empty())
    corpus::make(kind, 16 << 20,
                 [&](const char *p, size_t n) { t.append(p, n); });
  return t;
}

unsigned char buf[PUSHBACK + 256 * 1024 + SLACK];
Out out;

bool run(const std::string &t, Sink sink, void *ctx) {
  Mem m{&t, 0};
  Stream in;
  init(in, buf, sizeof buf, memread, &m);
  init(out, sink, ctx);
  return scan(in, out) && flush(out);
}

void scanlevel(benchmark::State &state, const std::string &kind, int level) {
  const std::string &t = text(kind);
  if (!setlevel(level)) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  // The processor time of this thread: other work on the machine does not
  // count against the scan, nor does the copy that stands for read(2).
  double took = 0;
  for (auto _ : state) {
    double start = cputime();
    copying = 0;
    benchmark::DoNotOptimize(run(t, drop, nullptr));
    double scanning = cputime() - start - copying;
    state.SetIterationTime(scanning);
    took += scanning;
  }
  size_t tokens = 0;
  run(t, count, &tokens);
  double n = static_cast<double>(state.iterations());
  double bytes = n * static_cast<double>(t.size());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["bytes_per_cycle"] =
      bytes / (took * benchmark::CPUInfo::Get().cycles_per_second);
  state.counters["ns_per_token"] =
      took * 1e9 / (n * static_cast<double>(tokens));
}

// The engine's loop over whole blocks, stopped after a stage: the classes
// of the bytes, then where tokens start, then their lines.  No stream and
// no sink: each stage's cost is its time less the one before.  The skips
// over runs are left out, being rare in these texts.
enum Stage { CLASSES, STARTS, LINES, STAGES };
const char *const stagename[STAGES] = {"classes", "starts", "lines"};

char lines[64 * 1024];

template <Masks (*classify)(const unsigned char *),
          char *(*emit)(char *, const Starts &), int S>
[[gnu::always_inline]] inline uint64_t upto(const unsigned char *p, size_t n) {
  const unsigned char *e = p + n / 64 * 64;
  Carry k{};
  uint64_t sum = 0;
  char *w = lines;
  for (; p < e; p += 64) {
    Masks m = classify(p);
    if (S == CLASSES) {
      sum += m.letter ^ m.digit ^ m.octal ^ m.zero;
    } else if (S == STARTS) {
      Starts s = decide<true>(m, 64, k);
      sum += s.ident ^ s.octal ^ s.decimal;
    } else {
      if (w > lines + sizeof lines - 65 * sizeof Line::text) {
        sum += static_cast<uint64_t>(w - lines);
        w = lines;
      }
      w = settle(w, m, k);
      w = emit(w, decide<true>(m, 64, k));
    }
  }
  return sum + static_cast<uint64_t>(w - lines);
}

template <Masks (*classify)(const unsigned char *),
          char *(*emit)(char *, const Starts &) = emit>
[[gnu::always_inline]] inline uint64_t stage(const unsigned char *p, size_t n,
                                             int s) {
  if (s == CLASSES)
    return upto<classify, emit, CLASSES>(p, n);
  if (s == STARTS)
    return upto<classify, emit, STARTS>(p, n);
  return upto<classify, emit, LINES>(p, n);
}

// One function a level, compiled for its processor, as the engine's are.
[[gnu::flatten]] uint64_t stageportable(const unsigned char *p, size_t n,
                                        int s) {
  return stage<portable::classify>(p, n, s);
}

#ifdef SCAN_X86
[[gnu::flatten, gnu::target("sse2")]] uint64_t stagesse2(const unsigned char *p,
                                                         size_t n, int s) {
  return stage<sse2::classify>(p, n, s);
}
#endif

#ifdef __x86_64__
[[gnu::flatten, gnu::target("avx2,bmi,bmi2,popcnt")]] uint64_t
stageavx2(const unsigned char *p, size_t n, int s) {
  return stage<avx2::classify, emitquads>(p, n, s);
}

[[gnu::flatten, gnu::target("avx512bw,bmi,bmi2,popcnt")]] uint64_t
stageavx512(const unsigned char *p, size_t n, int s) {
  return stage<avx512::classify, emitquads>(p, n, s);
}
#endif

#ifdef SCAN_NEON
[[gnu::flatten]] uint64_t stageneon(const unsigned char *p, size_t n, int s) {
  return stage<neon::classify>(p, n, s);
}
#endif

using Staged = uint64_t (*)(const unsigned char *, size_t, int);

Staged staged(int level) {
  switch (level) {
#ifdef SCAN_X86
  case SSE2:
    return stagesse2;
#endif
#ifdef __x86_64__
  case AVX2:
    return stageavx2;
  case AVX512:
    return stageavx512;
#endif
#ifdef SCAN_NEON
  case NEON:
    return stageneon;
#endif
  case PORTABLE:
    return stageportable;
  default:
    return nullptr;
  }
}

void stagelevel(benchmark::State &state, const std::string &kind, int level,
                int s) {
  const std::string &t = text(kind);
  Staged f = staged(level);
  // A piece of the text at a time, as the stream holds it, copied first
  // and untimed, so that the stage reads from the same cache as the engine.
  constexpr size_t PIECE = 256 * 1024;
  double took = 0;
  for (auto _ : state) {
    double scanning = 0;
    for (size_t at = 0; at < t.size(); at += PIECE) {
      size_t n = std::min(PIECE, t.size() - at);
      std::memcpy(buf, t.data() + at, n);
      double start = cputime();
      benchmark::DoNotOptimize(f(buf, n, s));
      scanning += cputime() - start;
    }
    state.SetIterationTime(scanning);
    took += scanning;
  }
  double bytes =
      static_cast<double>(state.iterations()) * static_cast<double>(t.size());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["bytes_per_cycle"] =
      bytes / (took * benchmark::CPUInfo::Get().cycles_per_second);
}

} // namespace

int main(int argc, char **argv) {
  for (const char *kind : corpus::kinds)
    for (int level = PLAIN; level < LEVELS; level++)
      if (haslevel(level))
        benchmark::RegisterBenchmark(
            (std::string(kind) + "/" + levelname[level]).c_str(), scanlevel,
            std::string(kind), level)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
  for (const char *kind : {"code", "random", "digits"})
    for (int level = PORTABLE; level < LEVELS; level++)
      for (int s = CLASSES; s < STAGES; s++)
        if (haslevel(level))
          benchmark::RegisterBenchmark(
              (std::string(kind) + "/" + levelname[level] + "/" + stagename[s])
                  .c_str(),
              stagelevel, std::string(kind), level, s)
              ->UseManualTime()
              ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
