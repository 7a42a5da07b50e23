// The program under faults: input and output that fail or are missing,
// writers that trickle or stall, readers that leave, and an input far
// larger than the program's memory.
#include <cerrno>
#include <chrono>
#include <string>
#include <sys/stat.h>
#include <thread>

#include "run.h"

namespace {

struct Pipe {
  int r = -1, w = -1;
  Pipe() {
    int fd[2];
    EXPECT_EQ(pipe2(fd, O_CLOEXEC), 0);
    r = fd[0], w = fd[1];
  }
  ~Pipe() {
    closer();
    closew();
  }
  void closer() {
    if (r >= 0)
      close(r);
    r = -1;
  }
  void closew() {
    if (w >= 0)
      close(w);
    w = -1;
  }
};

bool writeall(int fd, const std::string &s) {
  for (size_t n = 0; n < s.size();) {
    ssize_t w = write(fd, s.data() + n, s.size() - n);
    if (w < 0 && errno != EINTR)
      return false;
    if (w > 0)
      n += static_cast<size_t>(w);
  }
  return true;
}

std::string readall(int fd) {
  std::string s;
  char buf[65536];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) != 0) {
    if (n > 0)
      s.append(buf, static_cast<size_t>(n));
    else if (errno != EINTR)
      break;
  }
  return s;
}

void dawdle() { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }

// Under an emulator a peak also holds the emulator's own memory, and what
// the emulated test held when it forked: the peak of a run on an empty
// input, which the memory bound allows on top.
long emulatorpeak() {
  if (emulator[0] == nullptr)
    return 0;
  int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  EXPECT_GE(null, 0);
  Exit e = reap(spawn({"scandec"}, null, null, -1));
  close(null);
  EXPECT_EQ(e.status, 0);
  return e.maxrss;
}

} // namespace

TEST(Failures, FileThatCannotBeOpened) {
  for (const char *path : {"nofile", "", "-"}) {
    Call r;
    r.args = {"./prog", path};
    Result res = run(r);
    EXPECT_EQ(res.err,
              std::string("./prog: cannot open ") + path + "... exiting\n");
    EXPECT_EQ(res.out, "");
    EXPECT_EQ(res.status, 255);
  }
}

TEST(Failures, ReadErrorIsNotTheEnd) {
  Call dir;
  dir.args = {"prog", "/"};
  Result res = run(dir);
  EXPECT_EQ(res.err, "prog: cannot read /: Is a directory\n");
  EXPECT_EQ(res.out, "");
  EXPECT_EQ(res.status, 255);

  Call closed;
  closed.args = {"prog"};
  closed.closein = true;
  res = run(closed);
  EXPECT_EQ(res.err, "prog: cannot read standard input: Bad file descriptor\n");
  EXPECT_EQ(res.status, 255);
}

TEST(Failures, WriteErrorIsReported) {
  Call full;
  full.args = {"prog"};
  full.input = "abc";
  full.full = true;
  Result res = run(full);
  EXPECT_EQ(res.err,
            "prog: cannot write standard output: No space left on device\n");
  EXPECT_EQ(res.status, 255);

  Call closed = full;
  closed.full = false;
  closed.closeout = true;
  res = run(closed);
  EXPECT_EQ(res.err,
            "prog: cannot write standard output: Bad file descriptor\n");
  EXPECT_EQ(res.status, 255);
}

// With nothing to write, the closed output only shows when it is closed.
TEST(Failures, InputAndOutputBothClosed) {
  Call r;
  r.args = {"prog"};
  r.closein = r.closeout = true;
  Result res = run(r);
  EXPECT_EQ(res.err, "prog: cannot read standard input: Bad file descriptor\n"
                     "prog: cannot write standard output: Bad file "
                     "descriptor\n");
  EXPECT_EQ(res.status, 255);
}

// Once the output has failed there is no point in waiting for more input:
// a writer that never closes must not keep the program alive.
TEST(Failures, WriteErrorStopsReadingAPipe) {
  Pipe in;
  std::string errpath = tmp("err");
  int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  int err =
      open(errpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  pid_t pid = spawn({"prog"}, in.r, full, err);
  close(full), close(err);
  in.closer();
  ASSERT_TRUE(writeall(in.w, "abc "));
  EXPECT_EQ(reap(pid).status, 255);
  EXPECT_EQ(slurp(errpath),
            "prog: cannot write standard output: No space left on device\n");
  unlink(errpath.c_str());
}

// A line must not wait in the buffer while the program waits for input:
// someone typing, or a pipe from a log that is still being written.
TEST(Interactive, LinesAppearBeforeTheInputEnds) {
  Pipe in, out;
  pid_t pid = spawn({"scandec"}, in.r, out.w, -1);
  in.closer();
  out.closew();
  ASSERT_TRUE(writeall(in.w, "abc "));
  EXPECT_EQ(readline(out.r), "identifier");
  ASSERT_TRUE(writeall(in.w, "017\n"));
  EXPECT_EQ(readline(out.r), "octal");
  in.closew();
  EXPECT_EQ(readline(out.r), "EOF found");
  EXPECT_EQ(reap(pid).status, 0);
}

// Each line is due as soon as the byte that ends its token arrives, though
// the writer is still there: a '0' ends at the '9' after it, since no
// octal number can follow.
TEST(Interactive, FifoFedOneByteAtATime) {
  std::string fifo = tmp("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  Pipe out;
  pid_t pid = spawn({"scandec", fifo}, -1, out.w, -1);
  out.closew();
  int w = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(w, 0);
  const std::string in = "x1 017 09;";
  const char *due[] = {"", "", "identifier", "",        "",
                       "", "", "octal",      "decimal", "decimal"};
  for (size_t i = 0; i < in.size(); i++) {
    dawdle();
    ASSERT_EQ(write(w, &in[i], 1), 1);
    if (*due[i]) {
      EXPECT_EQ(readline(out.r), due[i]) << "after byte " << i;
    }
  }
  close(w);
  EXPECT_EQ(readline(out.r), "EOF found");
  EXPECT_EQ(reap(pid).status, 0);
  unlink(fifo.c_str());
}

// A writer that stays open after a complete token must not hold its line
// back, whatever the token and however it ended.
TEST(Interactive, CompleteTokenWhileTheWriterWaits) {
  const std::pair<const char *, const char *> cases[] = {
      {"abc ", "identifier"}, {"Zz9\n", "identifier"}, {"017;", "octal"},
      {"08", "decimal"},      {"0 ", "decimal"},       {"42_", "decimal"},
  };
  for (const auto &[input, want] : cases) {
    Pipe in, out;
    pid_t pid = spawn({"scandec"}, in.r, out.w, -1);
    in.closer();
    out.closew();
    ASSERT_TRUE(writeall(in.w, input));
    EXPECT_EQ(readline(out.r), want) << input;
    in.closew();
    reap(pid);
  }
}

// Someone else may have made a shared pipe or terminal non-blocking: the
// program must wait on it rather than fail or spin, both ways.
TEST(Interactive, NonBlockingDescriptorsAreWaitedOn) {
  Pipe in, out;
  ASSERT_EQ(fcntl(in.r, F_SETFL, O_NONBLOCK), 0);
  ASSERT_EQ(fcntl(out.w, F_SETFL, O_NONBLOCK), 0);
  pid_t pid = spawn({"scandec"}, in.r, out.w, -1);
  in.closer();
  out.closew();
  std::string input, want;
  for (int i = 0; i < 50000; i++)
    input += "a 7 ", want += "identifier\ndecimal\n";
  want += "EOF found\n";
  // The input comes late and the output is read late and in full only
  // after both pipes have filled.
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(writeall(in.w, input));
    in.closew();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::string got = readall(out.r);
  writer.join();
  EXPECT_TRUE(got == want) << got.size() << " bytes of " << want.size();
  EXPECT_EQ(reap(pid).status, 0);
}

// A reader that goes away (scandec big | head -1) ends the program by the
// signal, without a word; where SIGPIPE is ignored, the failed write is an
// error like any other.
TEST(Pipes, ReaderThatLeaves) {
  std::string path = tmp("big");
  std::string text;
  for (int i = 0; i < 100000; i++)
    text += "a 1 ";
  std::ofstream(path, std::ios::binary) << text;
  struct {
    bool ignored;
    int status;
    const char *err;
  } cases[] = {
      {false, 128 + SIGPIPE, ""},
      {true, 255, "prog: cannot write standard output: Broken pipe\n"},
  };
  for (const auto &c : cases) {
    Pipe out;
    std::string errpath = tmp("err");
    int err =
        open(errpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_t pid = spawn({"prog", path}, -1, out.w, err, c.ignored);
    close(err);
    out.closew();
    out.closer();
    EXPECT_EQ(reap(pid).status, c.status) << "SIGPIPE ignored: " << c.ignored;
    EXPECT_EQ(slurp(errpath), c.err);
    unlink(errpath.c_str());
  }
  unlink(path.c_str());
}

// One token of a gibibyte through a pipe: the program keeps nothing of a
// token, so its memory stays that of its buffers.
TEST(Memory, GibibyteTokenThroughAPipe) {
  signal(SIGPIPE, SIG_IGN);
  [[maybe_unused]] long base = emulatorpeak();
  Pipe in, out;
  pid_t pid = spawn({"scandec"}, in.r, out.w, -1);
  in.closer();
  out.closew();
  std::thread reader(
      [&] { EXPECT_EQ(readall(out.r), "identifier\ndecimal\nEOF found\n"); });
  std::string chunk(1 << 20, 'q');
  chunk[0] = 'x';
  ASSERT_TRUE(writeall(in.w, chunk));
  chunk[0] = 'q';
  for (int i = 1; i < 1024; i++)
    ASSERT_TRUE(writeall(in.w, chunk));
  ASSERT_TRUE(writeall(in.w, " 7"));
  in.closew();
  reader.join();
  Exit e = reap(pid);
  EXPECT_EQ(e.status, 0);
#ifndef SANITIZED // the sanitizers' own memory would swamp the program's
  EXPECT_LT(e.maxrss, base + 8 * 1024) << "KiB, of which the emulator " << base;
#endif
}
