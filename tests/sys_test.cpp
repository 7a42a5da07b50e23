// The program's reads and writes over real descriptors, with the faults a
// kernel may give put between them: this program is linked with
// --wrap=read,--wrap=write,--wrap=poll,--wrap=fcntl64, so the calls of
// sys.cpp and files.cpp come here first, and each call on the descriptors under
// test takes the next step of a plan: fewer bytes than asked, EINTR, or EAGAIN
// (after which the descriptor must be waited on before it is tried again).  At
// every level the lines must be the plain level's, with none lost or sent
// twice.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "check.h"
#include "files.h"

namespace {

// A step > 0 lets the call move at most that many bytes; NOTHING makes it
// move none and say so, as write(2) may.
constexpr int INTR = -1, AGAIN = -2, NOTHING = -3;

struct Plan {
  int fd = -1;
  short events = 0; // what a wait on fd must ask for
  std::vector<int> steps;
  size_t next = 0;
  bool mustwait = false; // EAGAIN given, no wait since
  bool pollintr = false; // the next wait is interrupted first
  int faults = 0;        // EINTR and EAGAIN given
  int nothing = 0;       // calls that moved nothing
  size_t most = 0;       // the largest call
};

Plan rd, wr;

// A pipe may grow to this many bytes and no more, as for an unprivileged
// process under pipe-max-size, or once its user's quota is spent (0); -1
// lets the kernel decide.
int pipemost = -1;

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
  wr.most = std::max(wr.most, n);
  int s = step(wr, "write");
  if (s == NOTHING) {
    // A writer that takes this for progress asks for ever: stop it with an
    // error of another kind, so that the test fails rather than hangs.
    if (++wr.nothing > 100) {
      errno = ENOSYS;
      return -1;
    }
    return 0;
  }
  if (s < 0)
    return -1;
  return __real_write(fd, buf, s > 0 ? std::min(n, size_t(s)) : n);
}

// With 64-bit file offsets, which the program is built with, fcntl is this.
int __real_fcntl64(int, int, ...);
int __wrap_fcntl64(int fd, int cmd, ...) {
  va_list ap;
  va_start(ap, cmd);
  void *arg = va_arg(ap, void *);
  va_end(ap);
  if (cmd == F_SETPIPE_SZ && pipemost >= 0 &&
      reinterpret_cast<intptr_t>(arg) > pipemost) {
    errno = EPERM;
    return -1;
  }
  return __real_fcntl64(fd, cmd, arg);
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
  init(o, fdwrite, &outfd, CAP);
  int infd = fileno(in);
  Stream s;
  init(s, buf, sizeof buf, fdread, &infd);
  s.waits = waits;
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

// A write that takes nothing is a failure (EIO, as any other write's), not
// progress: a writer that tries again takes nothing again, for ever.  The
// scan stops at the first, with its lines out as far as they went.
TEST(Descriptors, WriteThatTakesNothingFails) {
  const std::string big = text(3000); // lines past the output's piece
  Levels levels;
  for (int level : levels.all) {
    FILE *out = std::tmpfile();
    ASSERT_TRUE(out);
    wr = {fileno(out), POLLOUT, {100, NOTHING}};
    EXPECT_TRUE(setlevel(level));
    static Out o;
    int outfd = fileno(out);
    init(o, fdwrite, &outfd, CAP);
    Tiny in(big, 4096, {4096});
    EXPECT_FALSE(scan(in.s, o)) << levelname[level];
    EXPECT_EQ(o.err, EIO) << levelname[level];
    EXPECT_EQ(wr.nothing, 1) << levelname[level];
    EXPECT_LT(in.t.pos, big.size()) << "read on after the output failed";
    EXPECT_EQ(ftell(out), 100);
    wr = Plan{};
    std::fclose(out);
  }
}

// The output is written in pieces of the size its kind takes best: a file
// and a pipe a mebibyte, anything else 64 KiB.
TEST(Descriptors, PiecesFollowTheOutput) {
  constexpr size_t most = 1 << 20;
  FILE *file = std::tmpfile();
  int null = open("/dev/null", O_WRONLY | O_CLOEXEC), sock[2], fd[2];
  ASSERT_TRUE(file && null >= 0);
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sock), 0);
  ASSERT_EQ(pipe2(fd, O_CLOEXEC), 0);
  EXPECT_EQ(outpiece(fileno(file), most), most);
  EXPECT_EQ(outpiece(null, most), 64u * 1024);
  EXPECT_EQ(outpiece(sock[0], most), 64u * 1024);
  EXPECT_EQ(outpiece(fd[1], most), most);
  EXPECT_EQ(outpiece(fileno(file), 4096), 4096u) << "more than the buffer";
  std::fclose(file);
  for (int f : {null, sock[0], sock[1], fd[0], fd[1]})
    close(f);
}

// A pipe grows as far as it may towards what is asked, and the lines go
// through it in pieces of what it holds; one that can't grow at all carries
// them as it is, and one already wider is left so.
TEST(Descriptors, OutputPipeWidenedAsFarAsItMay) {
  const std::string big = text(20000); // over 2 MiB of lines
  const std::string want = chain(big) + "EOF found\n";
  constexpr size_t ask = 512 << 10;
  const struct {
    int most, before, after;
  } cases[] = {
      {-1, 64 << 10, 512 << 10},
      {300 << 10, 64 << 10, 256 << 10},
      {0, 64 << 10, 64 << 10},
      {-1, 1 << 20, 1 << 20},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "growth to " << c.most << ", from " << c.before);
    int fd[2];
    ASSERT_EQ(pipe2(fd, O_CLOEXEC), 0);
    ASSERT_EQ(fcntl(fd[1], F_SETPIPE_SZ, c.before), c.before);
    pipemost = c.most;
    size_t piece = outpiece(fd[1], ask);
    pipemost = -1;
    EXPECT_EQ(fcntl(fd[0], F_GETPIPE_SZ), c.after);
    EXPECT_EQ(piece, std::min<size_t>(c.after, ask));

    std::string got;
    std::thread reader([&] {
      char chunk[65536];
      for (ssize_t n; (n = read(fd[0], chunk, sizeof chunk)) > 0;)
        got.append(chunk, static_cast<size_t>(n));
    });
    Tiny in(big, 1 << 16, {1 << 16});
    static Out o;
    wr = {fd[1], POLLOUT, {}};
    init(o, fdwrite, &fd[1], piece);
    EXPECT_TRUE(scan(in.s, o) && put(o, ATEOF) && flush(o));
    close(fd[1]);
    reader.join();
    close(fd[0]);
    EXPECT_TRUE(got == want);
    EXPECT_LE(wr.most, piece);
    EXPECT_GT(wr.most, piece - OUTMIN) << "pieces smaller than need be";
    wr = Plan{};
  }
}
