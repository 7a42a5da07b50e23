// The program's reads and writes over real descriptors, with the faults a
// kernel may give put between them: this program is linked with
// --wrap=read,--wrap=write,--wrap=poll, so the calls of sys.cpp come here
// first, and each call on the descriptors under test takes the next step
// of a plan: fewer bytes than asked, EINTR, or EAGAIN (after which the
// descriptor must be waited on before it is tried again).  At every level
// the lines must be the plain level's, with none lost or sent twice.
#include <cstdio>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "check.h"

namespace {

// A step > 0 lets the call move at most that many bytes.
constexpr int INTR = -1, AGAIN = -2;

struct Plan {
  int fd = -1;
  short events = 0; // what a wait on fd must ask for
  std::vector<int> steps;
  size_t next = 0;
  bool mustwait = false; // EAGAIN given, no wait since
  bool pollintr = false; // the next wait is interrupted first
  int faults = 0;        // EINTR and EAGAIN given
};

Plan rd, wr;

// The step for a call on fd, and whether the call may go ahead at all.
int step(Plan &p, const char *call) {
  EXPECT_FALSE(p.mustwait) << call << " tried again after EAGAIN, unwaited";
  if (p.steps.empty())
    return 0;
  int s = p.steps[p.next++ % p.steps.size()];
  if (s == INTR || s == AGAIN) {
    p.faults++;
    p.mustwait = s == AGAIN;
    p.pollintr = s == AGAIN;
    errno = s == INTR ? EINTR : EAGAIN;
  }
  return s;
}

} // namespace

extern "C" {
ssize_t __real_read(int, void *, size_t);
ssize_t __real_write(int, const void *, size_t);
int __real_poll(struct pollfd *, nfds_t, int);

ssize_t __wrap_read(int fd, void *buf, size_t n) {
  if (fd != rd.fd)
    return __real_read(fd, buf, n);
  int s = step(rd, "read");
  if (s < 0)
    return -1;
  return __real_read(fd, buf, s > 0 ? std::min(n, size_t(s)) : n);
}

ssize_t __wrap_write(int fd, const void *buf, size_t n) {
  if (fd != wr.fd)
    return __real_write(fd, buf, n);
  int s = step(wr, "write");
  if (s < 0)
    return -1;
  return __real_write(fd, buf, s > 0 ? std::min(n, size_t(s)) : n);
}

// A wait is interrupted once, by a signal that came first.
int __wrap_poll(struct pollfd *fds, nfds_t n, int timeout) {
  for (Plan *p : {&rd, &wr}) {
    if (n != 1 || fds[0].fd != p->fd)
      continue;
    EXPECT_EQ(fds[0].events, p->events);
    if (p->pollintr) {
      p->pollintr = false;
      errno = EINTR;
      return -1;
    }
    p->mustwait = false;
  }
  return __real_poll(fds, n, timeout);
}
}

namespace {

// Scans text from a file through the program's own source and sink, at a
// level, with the plans on the input's and the output's descriptor; with
// `waits`, the output is flushed before each read, as for a pipe.
std::string run(int level, const std::string &text, std::vector<int> reads,
                std::vector<int> writes, bool waits) {
  FILE *in = std::tmpfile(), *out = std::tmpfile();
  EXPECT_TRUE(in && out);
  EXPECT_EQ(std::fwrite(text.data(), 1, text.size(), in), text.size());
  std::fflush(in);
  std::rewind(in);
  rd = {fileno(in), POLLIN, std::move(reads)};
  wr = {fileno(out), POLLOUT, std::move(writes)};
  EXPECT_TRUE(setlevel(level));
  static Out o;
  static unsigned char buf[PUSHBACK + 4096 + SLACK];
  int outfd = fileno(out);
  init(o, fdwrite, &outfd);
  FdSource src = {fileno(in), nullptr, nullptr};
  if (waits)
    src.flush = [](void *x) { return flush(*static_cast<Out *>(x)); };
  src.arg = &o;
  Stream s;
  init(s, buf, sizeof buf, fdread, &src);
  EXPECT_TRUE(scan(s, o) && put(o, ATEOF) && flush(o)) << levelname[level];
  EXPECT_EQ(s.err, 0);
  EXPECT_EQ(o.err, 0);
  EXPECT_EQ(rd.mustwait || wr.mustwait, false);
  for (const Plan &p : {rd, wr})
    EXPECT_EQ(p.faults > 0, std::count_if(p.steps.begin(), p.steps.end(),
                                          [](int s) { return s < 0; }) > 0)
        << "the calls did not come through the plan";
  std::string got;
  std::rewind(out);
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;)
    got.append(chunk, n);
  rd = wr = Plan{};
  std::fclose(in);
  std::fclose(out);
  return got;
}

// Every kind of token, cut by reads and writes everywhere.
std::string text(size_t times) {
  std::string t;
  for (size_t i = 0; i < times; i++)
    t += "ab1 0777 9;0 08 x" + std::to_string(i) + "\t07a 0";
  return t;
}

} // namespace

// Reads and writes of every size from 1 to 65 bytes, each side alone and
// both at once, and a few larger ones.
TEST(Descriptors, ShortReadsAndWritesOfEverySize) {
  const std::string small = text(30);
  Levels levels;
  std::string want = run(PLAIN, small, {}, {}, false);
  EXPECT_EQ(want, chain(small) + "EOF found\n");
  std::vector<int> sizes;
  for (int n = 1; n <= 65; n++)
    sizes.push_back(n);
  for (int n : {127, 4095, 4097})
    sizes.push_back(n);
  for (int level : levels.all) {
    for (int n : sizes) {
      SCOPED_TRACE(testing::Message() << levelname[level] << " size " << n);
      EXPECT_EQ(run(level, small, {n}, {}, n % 2), want);
      EXPECT_EQ(run(level, small, {}, {n}, n % 2), want);
      EXPECT_EQ(run(level, small, {n}, {n + 1}, true), want);
    }
  }
}

// Interrupted calls and descriptors that would block, on either side or
// both, among short reads and writes; with a text whose lines overflow the
// output buffer, so that writes come from a full buffer too.
TEST(Descriptors, InterruptedAndWouldBlock) {
  const std::string big = text(3000);
  const struct {
    const char *fault;
    std::vector<int> reads, writes;
  } cases[] = {
      {"EINTR reading", {INTR, 100, INTR, INTR, 7}, {}},
      {"EINTR writing", {}, {INTR, 100, INTR, INTR, 5000}},
      {"EAGAIN reading", {AGAIN, 300, AGAIN, AGAIN, 1}, {}},
      {"EAGAIN writing", {}, {AGAIN, 3000, AGAIN, AGAIN, 1}},
      {"both, both sides",
       {INTR, AGAIN, 3, AGAIN, INTR, 64},
       {AGAIN, INTR, 4096, INTR, AGAIN, 9}},
  };
  Levels levels;
  std::string want = run(PLAIN, big, {}, {}, false);
  EXPECT_EQ(want, chain(big) + "EOF found\n");
  for (const auto &c : cases) {
    for (int level : levels.all) {
      for (bool waits : {false, true}) {
        EXPECT_TRUE(run(level, big, c.reads, c.writes, waits) == want)
            << c.fault << " at " << levelname[level] << ", waits " << waits;
      }
    }
  }
}
