// The in-memory scan of one buffer of each kind of text, at each level:
// bytes per cycle (at the clock Google Benchmark reads for the processor)
// and nanoseconds per token.
#include <benchmark/benchmark.h>

#include <ctime>
#include <map>
#include <string>

#include "corpus.h"
#include "engine.h"
#include "out.h"
#include "stream.h"

namespace {

struct Mem {
  const std::string *text;
  size_t pos;
};

ssize_t memread(void *ctx, unsigned char *buf, size_t n) {
  auto *m = static_cast<Mem *>(ctx);
  n = std::min(n, m->text->size() - m->pos);
  std::copy_n(m->text->data() + m->pos, n, buf);
  m->pos += n;
  return static_cast<ssize_t>(n);
}

// Counts the lines and drops them.
bool count(void *ctx, const char *buf, size_t n) {
  *static_cast<size_t *>(ctx) +=
      static_cast<size_t>(std::count(buf, buf + n, '\n'));
  return true;
}

bool drop(void *, const char *, size_t) { return true; }

double cputime() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) +
         static_cast<double>(ts.tv_nsec) * 1e-9;
}

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
  // count against the scan.
  double start = cputime();
  for (auto _ : state)
    benchmark::DoNotOptimize(run(t, drop, nullptr));
  double took = cputime() - start;
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

} // namespace

int main(int argc, char **argv) {
  for (const char *kind : corpus::kinds)
    for (int level = PLAIN; level < LEVELS; level++)
      if (haslevel(level))
        benchmark::RegisterBenchmark(
            (std::string(kind) + "/" + levelname[level]).c_str(), scanlevel,
            std::string(kind), level)
            ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
