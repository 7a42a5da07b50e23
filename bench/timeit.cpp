// timeit: check that every scanner writes what scandec writes, then time
// them all, interleaved, and print the table (also to a file).
//
//   timeit REPS CORPDIR WORKDIR RESULTS name=path...
//
// The first program is the one under test; "literal" and "re2c" are the
// baselines the ratios are taken against, "floor" the one that only reads,
// so it is left out of the output check.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "corpus.h"

namespace {

struct Prog {
  std::string name, path;
};

enum Mode { NUL, PIPE, FILEOUT };
const char *const modename[] = {"file → /dev/null", "pipe → /dev/null",
                                "file → file"};

[[noreturn]] void die(const std::string &what) {
  std::fprintf(stderr, "timeit: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

int openat0(const std::string &path, int flags) {
  int fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0)
    die(path);
  return fd;
}

// Copies the file into fd in 256 KiB blocks, as a pipe from a reader would.
pid_t feed(const std::string &path, int fd) {
  pid_t pid = fork();
  if (pid < 0)
    die("fork");
  if (pid == 0) {
    static char buf[256 * 1024];
    int in = openat0(path, O_RDONLY);
    for (;;) {
      ssize_t n = read(in, buf, sizeof buf);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        _exit(n < 0);
      for (ssize_t off = 0; off < n;) {
        ssize_t w = write(fd, buf + off, static_cast<size_t>(n - off));
        if (w < 0 && errno == EINTR)
          continue;
        if (w < 0)
          _exit(errno != EPIPE);
        off += w;
      }
    }
  }
  return pid;
}

struct Run {
  double secs;
  long rsskib;
};

// Runs prog with stdin and stdout as given; both are closed here.
Run spawn(const Prog &p, int in, int out, pid_t feeder) {
  timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  pid_t pid = fork();
  if (pid < 0)
    die("fork");
  if (pid == 0) {
    dup2(in, 0);
    dup2(out, 1);
    execl(p.path.c_str(), p.name.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  close(in);
  close(out);
  int st;
  rusage ru;
  while (wait4(pid, &st, 0, &ru) < 0)
    if (errno != EINTR)
      die("wait4");
  clock_gettime(CLOCK_MONOTONIC, &t1);
  if (feeder > 0)
    waitpid(feeder, nullptr, 0);
  if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) {
    std::fprintf(stderr, "timeit: %s failed (status %d)\n", p.name.c_str(), st);
    std::exit(1);
  }
  return {static_cast<double>(t1.tv_sec - t0.tv_sec) +
              static_cast<double>(t1.tv_nsec - t0.tv_nsec) * 1e-9,
          ru.ru_maxrss};
}

Run timed(const Prog &p, const std::string &corp, Mode m,
          const std::string &work) {
  int out = m == FILEOUT ? openat0(work + "/out", O_WRONLY | O_CREAT | O_TRUNC)
                         : openat0("/dev/null", O_WRONLY);
  if (m != PIPE)
    return spawn(p, openat0(corp, O_RDONLY), out, 0);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    die("pipe");
  pid_t f = feed(corp, fds[1]);
  close(fds[1]);
  return spawn(p, fds[0], out, f);
}

// Runs p on the corpus and compares what it writes with the file ref, byte
// for byte; returns the offset of the first difference, or -1.
long long differs(const Prog &p, const std::string &corp,
                  const std::string &ref, bool piped) {
  int fds[2], in[2] = {-1, -1};
  if (pipe2(fds, O_CLOEXEC) != 0 || (piped && pipe2(in, O_CLOEXEC) != 0))
    die("pipe");
  pid_t f = piped ? feed(corp, in[1]) : 0;
  if (piped)
    close(in[1]);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(piped ? in[0] : openat0(corp, O_RDONLY), 0);
    dup2(fds[1], 1);
    execl(p.path.c_str(), p.name.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  if (piped)
    close(in[0]);
  close(fds[1]);
  FILE *want = std::fopen(ref.c_str(), "rb");
  if (!want)
    die(ref);
  static char a[1 << 16], b[1 << 16];
  long long off = 0, bad = -1;
  for (;;) {
    ssize_t n = read(fds[0], a, sizeof a);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      die("read");
    size_t m = std::fread(b, 1, n ? static_cast<size_t>(n) : 1, want);
    if (n == 0) {
      if (m != 0)
        bad = off;
      break;
    }
    if (m != static_cast<size_t>(n) || std::memcmp(a, b, m) != 0) {
      size_t i = 0;
      while (i < m && a[i] == b[i])
        i++;
      bad = off + static_cast<long long>(i);
      break;
    }
    off += n;
  }
  close(fds[0]);
  std::fclose(want);
  int st;
  waitpid(pid, &st, 0);
  if (f > 0)
    waitpid(f, nullptr, 0);
  if (bad < 0 && (!WIFEXITED(st) || WEXITSTATUS(st) != 0))
    bad = off;
  return bad;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string cpu() {
  FILE *f = std::fopen("/proc/cpuinfo", "r");
  char line[512];
  std::string name = "unknown cpu";
  while (f && std::fgets(line, sizeof line, f))
    if (!std::strncmp(line, "model name", 10) && std::strchr(line, ':')) {
      name = std::strchr(line, ':') + 2;
      name.erase(name.find_last_not_of("\n ") + 1);
      break;
    }
  if (f)
    std::fclose(f);
  return name + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores";
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 6) {
    std::fprintf(stderr,
                 "usage: timeit reps corpdir workdir results name=path...\n");
    return 2;
  }
  int reps = std::atoi(argv[1]);
  std::string corpdir = argv[2], work = argv[3], results = argv[4];
  std::vector<Prog> progs;
  for (int i = 5; i < argc; i++) {
    std::string a = argv[i];
    size_t eq = a.find('=');
    progs.push_back({a.substr(0, eq), a.substr(eq + 1)});
  }
  const Prog &self = progs[0];

  // The gate: nothing is timed unless every scanner agrees everywhere.
  std::fprintf(stderr, "checking outputs:");
  for (const char *k : corpus::kinds) {
    std::string corp = corpdir + "/" + k, ref = work + "/ref";
    int out = openat0(ref, O_WRONLY | O_CREAT | O_TRUNC);
    spawn(self, openat0(corp, O_RDONLY), out, 0);
    for (size_t i = 0; i <= progs.size(); i++) {
      bool piped = i == progs.size(); // the program under test, from a pipe
      const Prog &p = piped ? self : progs[i];
      if (i == 0 || (!piped && p.name == "floor"))
        continue;
      long long at = differs(p, corp, ref, piped);
      if (at >= 0) {
        std::fprintf(stderr,
                     "\ntimeit: %s%s differs from %s on %s at output byte "
                     "%lld\n",
                     p.name.c_str(), piped ? " (pipe)" : "", self.name.c_str(),
                     k, at);
        return 1;
      }
    }
    std::fprintf(stderr, " %s", k);
  }
  unlink((work + "/ref").c_str());
  std::fprintf(stderr, ": all equal\n");

  struct Row {
    std::string corpus;
    Mode mode;
    std::vector<std::vector<Run>> runs; // per program
  };
  std::vector<Row> rows;
  for (const char *k : corpus::kinds)
    for (Mode m : {NUL, PIPE, FILEOUT})
      if (m == NUL || std::string(k) == "code")
        rows.push_back({k, m, std::vector<std::vector<Run>>(progs.size())});

  std::map<std::string, double> mib;
  for (Row &r : rows) {
    struct stat st;
    std::string corp = corpdir + "/" + r.corpus;
    if (stat(corp.c_str(), &st) != 0)
      die(corp);
    mib[r.corpus] = static_cast<double>(st.st_size) / (1 << 20);
    std::fprintf(stderr, "timing %s, %s:", r.corpus.c_str(), modename[r.mode]);
    // Rotating the order each round spreads drift over all programs.
    for (int rep = 0; rep < reps; rep++) {
      for (size_t j = 0; j < progs.size(); j++) {
        size_t i = (j + static_cast<size_t>(rep)) % progs.size();
        r.runs[i].push_back(timed(progs[i], corp, r.mode, work));
      }
      std::fprintf(stderr, " %d", rep + 1);
    }
    std::fprintf(stderr, "\n");
  }
  unlink((work + "/out").c_str());

  auto index = [&](const char *name) {
    for (size_t i = 0; i < progs.size(); i++)
      if (progs[i].name == name)
        return static_cast<int>(i);
    return -1;
  };
  int lit = index("literal"), re2c = index("re2c"), flo = index("floor");

  std::string t;
  auto add = [&](const char *fmt, auto... a) {
    char line[512];
    std::snprintf(line, sizeof line, fmt, a...);
    t += line;
  };
  time_t now = time(nullptr);
  char date[64];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", std::localtime(&now));
  add("Run of %s on %s; median of %d runs each, programs interleaved.\n\n",
      date, cpu().c_str(), reps);
  add("| corpus | input → output | program | MiB/s median | min | max | "
      "× literal | × re2c | of floor | peak RSS MiB |\n");
  add("|---|---|---|---:|---:|---:|---:|---:|---:|---:|\n");
  std::map<std::string, double> self_ratio_re2c, self_ratio_lit, self_speed;
  std::map<std::string, long> self_rss;
  for (const Row &r : rows) {
    std::vector<double> med(progs.size());
    for (size_t i = 0; i < progs.size(); i++) {
      std::vector<double> s;
      for (const Run &x : r.runs[i])
        s.push_back(mib[r.corpus] / x.secs);
      med[i] = median(s);
    }
    for (size_t i = 0; i < progs.size(); i++) {
      std::vector<double> s;
      long rss = 0;
      for (const Run &x : r.runs[i]) {
        s.push_back(mib[r.corpus] / x.secs);
        rss = std::max(rss, x.rsskib);
      }
      auto [lo, hi] = std::minmax_element(s.begin(), s.end());
      add("| %s %.4g MiB | %s | %s | %.0f | %.0f | %.0f | %.2f | %.2f | "
          "%.1f%% | %.1f |\n",
          r.corpus.c_str(), mib[r.corpus], modename[r.mode],
          progs[i].name.c_str(), med[i], *lo, *hi,
          lit >= 0 ? med[i] / med[static_cast<size_t>(lit)] : 0.0,
          re2c >= 0 ? med[i] / med[static_cast<size_t>(re2c)] : 0.0,
          flo >= 0 ? 100 * med[i] / med[static_cast<size_t>(flo)] : 0.0,
          static_cast<double>(rss) / 1024);
    }
    std::string key = r.corpus + "/" + modename[r.mode];
    self_speed[key] = med[0];
    self_rss[key] = 0;
    for (const Run &x : r.runs[0])
      self_rss[key] = std::max(self_rss[key], x.rsskib);
    if (lit >= 0)
      self_ratio_lit[key] = med[0] / med[static_cast<size_t>(lit)];
    if (re2c >= 0)
      self_ratio_re2c[key] = med[0] / med[static_cast<size_t>(re2c)];
  }

  // The targets, as ratios from this run.
  auto verdict = [](bool ok) { return ok ? "yes" : "**no**"; };
  std::string nul = modename[NUL], code = std::string("code/");
  add("\n| target | measured | met |\n|---|---:|---|\n");
  add("| code: ≥ 20 × literal | %.1f × | %s |\n", self_ratio_lit[code + nul],
      verdict(self_ratio_lit[code + nul] >= 20));
  add("| code: ≥ 4 × re2c | %.2f × | %s |\n", self_ratio_re2c[code + nul],
      verdict(self_ratio_re2c[code + nul] >= 4));
  for (const char *k : corpus::kinds) {
    double x = self_ratio_re2c[std::string(k) + "/" + nul];
    add("| %s: ≥ 3 × re2c | %.2f × | %s |\n", k, x, verdict(x >= 3));
  }
  double rss = static_cast<double>(self_rss["longtoken/" + nul]) / 1024;
  add("| longtoken: peak RSS ≤ 4 MiB | %.1f MiB | %s |\n", rss,
      verdict(rss <= 4));
  double half = self_speed[code + modename[PIPE]] / self_speed[code + nul];
  add("| code: pipe ≥ ½ × file input | %.2f × | %s |\n", half,
      verdict(half >= 0.5));

  std::fputs(t.c_str(), stdout);
  FILE *f = std::fopen(results.c_str(), "w");
  if (!f || std::fprintf(f, "# Benchmark results\n\n%s", t.c_str()) < 0 ||
      std::fclose(f) != 0)
    die(results);
  return 0;
}
