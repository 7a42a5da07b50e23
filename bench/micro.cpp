// The in-memory scan of one buffer of each kind of text, at each level of
// vector support: bytes and tokens per second.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <map>
#include <string>
#include <unistd.h>

#include "corpus.h"
#include "cursor.h"
#include "out.h"
#include "scan.h"
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

struct Count {
  size_t n;
};

bool put(Count &c, const Line &) {
  c.n++;
  return true;
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

template <class O> bool run(const std::string &t, O &out) {
  Mem m{&t, 0};
  Stream in;
  init(in, buf, sizeof buf, memread, &m);
  return scanall(in, out);
}

void scan(benchmark::State &state, const std::string &kind, int level) {
  const std::string &t = text(kind);
  if (setsimd(level) != level) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  static Out out;
  int null = open("/dev/null", O_WRONLY);
  for (auto _ : state) {
    init(out, null);
    benchmark::DoNotOptimize(run(t, out));
    flush(out);
  }
  close(null);
  Count tokens{0};
  run(t, tokens);
  setsimd(AVX2);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.size()));
  state.counters["tokens"] =
      benchmark::Counter(static_cast<double>(tokens.n * state.iterations()),
                         benchmark::Counter::kIsRate);
}

} // namespace

int main(int argc, char **argv) {
  const char *names[] = {"scalar", "sse2", "avx2"};
  for (const char *kind : corpus::kinds)
    for (int level : {SCALAR, SSE2, AVX2})
      benchmark::RegisterBenchmark(
          (std::string(kind) + "/" + names[level]).c_str(), scan,
          std::string(kind), level)
          ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
