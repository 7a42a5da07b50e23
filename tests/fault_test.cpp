// The program under faults: input and output that fail or are missing,
// writers that trickle or stall, readers that leave, and an input far
// larger than the program's memory.
#include <cerrno>
#include <chrono>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
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

// Names go into messages with their control bytes escaped as in C, so that
// a message stays one line and sends the terminal no escape sequence, and
// every other byte as it is; an empty program name is the program's own.
TEST(Failures, FileThatCannotBeOpened) {
  const char *cases[][4] = {
      // argv[0], path; then as the message shows them
      {"./prog", "nofile", "./prog", "nofile"},
      {"./prog", "", "./prog", ""},
      {"./prog", "-", "./prog", "-"},
      {"", "nofile", "scandec", "nofile"},
      {"p\033[2J", "a\nb\tc\x7f", "p\\033[2J", "a\\nb\\tc\\177"},
      {"p", "\a\b\v\f\r\x01\x06\x0e\x1f", "p",
       "\\a\\b\\v\\f\\r\\001\\006\\016\\037"},
      {"p", "caf\xc3\xa9 \\ ~\x80\xff", "p", "caf\xc3\xa9 \\ ~\x80\xff"},
      // Every byte at its longest escape: the copy's room to the last byte.
      {"p", "\x01", "p", "\\001"},
  };
  for (const auto &c : cases) {
    Call r;
    r.args = {c[0], c[1]};
    Result res = run(r);
    EXPECT_EQ(res.err,
              std::string(c[2]) + ": cannot open " + c[3] + "... exiting\n");
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
  std::string d = tmp("dir\n");
  ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
  dir.args[1] = d;
  EXPECT_EQ(run(dir).err,
            "prog: cannot read " + tmp("dir") + "\\n: Is a directory\n");
  rmdir(d.c_str());

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

// A file opened while standard input or output is closed must not take its
// place: the input is the file all the same, and the output stays closed.
TEST(Failures, FileOpenedWhileAStandardDescriptorIsClosed) {
  const std::string f = tmp("named");
  std::ofstream(f) << "abc 7";
  const char *const ebadf =
      "prog: cannot write standard output: Bad file descriptor\n";
  const struct {
    bool closein, closeout;
    const char *out, *err;
  } cases[] = {
      {true, false, "identifier\ndecimal\nEOF found\n", ""},
      {false, true, "", ebadf},
      {true, true, "", ebadf},
  };
  for (const auto &c : cases) {
    Call r;
    r.args = {"prog", f};
    r.closein = c.closein;
    r.closeout = c.closeout;
    Result res = run(r);
    EXPECT_EQ(res.out, c.out) << c.closein << c.closeout;
    EXPECT_EQ(res.err, c.err) << c.closein << c.closeout;
    EXPECT_EQ(res.status, *c.err ? 255 : 0) << c.closein << c.closeout;
  }
  unlink(f.c_str());
}

// Reading back its own lines, scandec f >> f would grow f until the disk is
// full: the program refuses before writing anything, by whatever name or
// descriptor the file comes.  It may still write over a file it has nothing
// left to read of.
TEST(Failures, InputFileIsOutputFile) {
  const std::string text = "x1 017 09;", f = tmp("self"), g = tmp("other"),
                    ln = tmp("link\t"), errpath = tmp("err");
  const std::string lines = "identifier\noctal\ndecimal\ndecimal\nEOF found\n";
  enum { NAMED, STDIN, STDINATEND };
  const struct {
    const char *shell;
    const std::string &in;
    int how;
    const std::string &out;
    int flags;
    std::string want, err; // out afterwards; standard error
  } cases[] = {
      {"f >> f", f, NAMED, f, O_WRONLY | O_APPEND, text, f},
      {"f 1<> f", f, NAMED, f, O_RDWR, text, f},
      {"link >> f", ln, NAMED, f, O_WRONLY | O_APPEND, text,
       tmp("link") + "\\t"},
      {"< f >> f", f, STDIN, f, O_WRONLY | O_APPEND, text, "standard input"},
      {"< f, read, >> f", f, STDINATEND, f, O_WRONLY | O_APPEND,
       text + "EOF found\n", ""},
      {"f > f", f, NAMED, f, O_WRONLY | O_TRUNC, "EOF found\n", ""},
      {"f >> g", f, NAMED, g, O_WRONLY | O_APPEND, text + lines, ""},
  };
  std::ofstream(f) << text;
  unlink(ln.c_str());
  ASSERT_EQ(link(f.c_str(), ln.c_str()), 0);
  for (const auto &c : cases) {
    std::ofstream(f) << text; // the same inode, so the link follows
    std::ofstream(g) << text;
    int in = c.how == NAMED ? -1 : open(f.c_str(), O_RDONLY | O_CLOEXEC);
    if (c.how == STDINATEND)
      lseek(in, 0, SEEK_END);
    int out = open(c.out.c_str(), c.flags | O_CLOEXEC);
    int err =
        open(errpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::vector<std::string> args = {"prog"};
    if (c.how == NAMED)
      args.push_back(c.in);
    pid_t pid = spawn(args, in, out, err);
    close(in), close(out), close(err);
    int status = reap(pid).status;
    std::string wanterr =
        c.err.empty() ? "" : "prog: " + c.err + ": input file is output file\n";
    EXPECT_EQ(slurp(c.out), c.want) << c.shell;
    EXPECT_EQ(slurp(errpath), wanterr) << c.shell;
    EXPECT_EQ(status, c.err.empty() ? 0 : 255) << c.shell;
  }
  for (const std::string &p : {f, g, ln, errpath})
    unlink(p.c_str());

  // A FIFO or pipe that is both hands each line back to the reader, which
  // then waits on itself as the writer.
  const std::string fifo = tmp("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int rw = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(rw, 0);
  Pipe p;
  const struct {
    const char *shell;
    std::vector<std::string> args;
    int in, out;
    std::string err;
  } pipes[] = {
      {"p 1<> p", {"prog", fifo}, -1, rw, fifo},
      {"a pipe as input and output", {"prog"}, p.r, p.w, "standard input"},
  };
  for (const auto &c : pipes) {
    ASSERT_TRUE(writeall(c.out, text));
    int err =
        open(errpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_t pid = spawn(c.args, c.in, c.out, err, false, 10);
    close(err);
    EXPECT_EQ(reap(pid).status, 255) << c.shell;
    EXPECT_EQ(slurp(errpath),
              "prog: " + c.err + ": input file is output file\n")
        << c.shell;
  }
  close(rw);
  unlink(fifo.c_str());
  unlink(errpath.c_str());

  // A terminal, or an inetd service's socket, is both input and output.
  int sv[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
  pid_t pid = spawn({"prog"}, sv[0], sv[0], -1);
  close(sv[0]);
  ASSERT_TRUE(writeall(sv[1], text));
  shutdown(sv[1], SHUT_WR);
  EXPECT_EQ(readall(sv[1]), lines);
  EXPECT_EQ(reap(pid).status, 0);
  close(sv[1]);
}

// A file past 4 GiB, sparse so that it takes no room on the disk, with its
// tokens at its two ends and NULs between that no case reads through: a
// 32-bit build must open it, know it for the output too, and read it at
// offsets past 32 bits.  The test's own calls are the 64-bit ones, so that
// it makes and reads the file whatever the build's offsets.
TEST(Failures, FilePastFourGibibytes) {
  const std::string big = tmp("big"), out = tmp("out"), errpath = tmp("err");
  const off64_t size = (off64_t{4} << 30) + 10;
  int fd = open64(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite64(fd, "a 07 ", 5, 0), 5);
  ASSERT_EQ(pwrite64(fd, " 9 b ", 5, size - 5), 5);
  close(fd);
  const struct {
    const char *shell;
    bool named;
    off64_t at; // where standard input is
    const std::string &to;
    std::string want, err; // standard output, standard error
  } cases[] = {
      {"big >> big", true, 0, big, "", big},
      {"< big >> big", false, 0, big, "", "standard input"},
      {"< big, near its end, > out", false, size - 5, out,
       "decimal\nidentifier\nEOF found\n", ""},
  };
  for (const auto &c : cases) {
    int in = open64(big.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(lseek64(in, c.at, SEEK_SET), c.at);
    int to =
        open64(c.to.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    ASSERT_EQ(ftruncate64(to, c.to == big ? size : 0), 0);
    int err =
        open(errpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::vector<std::string> args = {"prog"};
    if (c.named)
      args.push_back(big);
    pid_t pid = spawn(args, c.named ? -1 : in, to, err);
    close(in), close(err);
    int status = reap(pid).status;
    struct stat64 st;
    ASSERT_EQ(fstat64(to, &st), 0);
    close(to);
    if (c.to == big)
      EXPECT_EQ(st.st_size, size) << c.shell;
    else
      EXPECT_EQ(slurp(out), c.want) << c.shell;
    EXPECT_EQ(
        slurp(errpath),
        c.err.empty() ? "" : "prog: " + c.err + ": input file is output file\n")
        << c.shell;
    EXPECT_EQ(status, c.err.empty() ? 0 : 255) << c.shell;
  }
  for (const std::string &p : {big, out, errpath})
    unlink(p.c_str());
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
  // The program takes a pipe's worth of its buffer at a read, and its
  // reader a mebibyte of lines, or as much as a pipe may hold here.
  EXPECT_GE(fcntl(in.w, F_GETPIPE_SZ), 256 * 1024);
  long most = 1 << 20;
  std::ifstream("/proc/sys/fs/pipe-max-size") >> most;
  EXPECT_EQ(fcntl(out.r, F_GETPIPE_SZ), std::min(most, 1L << 20));
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

// A pseudo-file of /proc reports a size of 0 and may wait (/proc/kmsg waits
// for the kernel's next message), so its lines go out before each read, as
// a pipe's do; other regular files are read to the end before the first
// write.  Nothing here waits: an output that fails ends the scan at its
// first write, and how far the input was read by then tells which it was.
TEST(Interactive, PseudoFilesAreReadLikePipes) {
  // Protections taking turns keep the kernel from merging these mappings,
  // so this process's /proc/self/maps takes many reads.
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE)), n = 256;
  void *m =
      mmap(nullptr, n * page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(m, MAP_FAILED);
  for (size_t i = 0; i < n; i += 2)
    ASSERT_EQ(mprotect(static_cast<char *>(m) + i * page, page, PROT_NONE), 0);
  std::string buf(1 << 18, '\0'), big = tmp("big");
  struct stat st;
  int probe = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  bool fit = fstat(probe, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 &&
             read(probe, buf.data(), buf.size()) > 0 &&
             read(probe, buf.data(), buf.size()) > 0;
  close(probe);
  if (!fit) {
    munmap(m, n * page);
    GTEST_SKIP() << "no /proc/self/maps of size 0 that takes two reads";
  }
  std::ofstream(big) << "a" << std::string(1 << 20, ' ') << "b";
  const struct {
    const char *path;
    bool whole; // read to the end before the first write
  } cases[] = {{"/proc/self/maps", false}, {big.c_str(), true}};
  for (const auto &c : cases) {
    int in = open(c.path, O_RDONLY | O_CLOEXEC);
    int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    pid_t pid = spawn({"prog"}, in, full, -1);
    close(full);
    EXPECT_EQ(reap(pid).status, 255) << c.path;
    EXPECT_EQ(read(in, buf.data(), buf.size()) == 0, c.whole) << c.path;
    close(in);
  }
  munmap(m, n * page);
  unlink(big.c_str());
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

// A file takes the lines in pieces of a mebibyte, a pipe in pieces of
// what it holds: the same bytes, pieces cut anywhere.
TEST(Pipes, FileAndPipeGetTheSameLines) {
  std::string path = tmp("lines"), outpath = tmp("out"), text, want;
  for (int i = 0; i < 300000; i++)
    text += "x1 017 09;";
  for (int i = 0; i < 300000; i++)
    want += "identifier\noctal\ndecimal\ndecimal\n";
  want += "EOF found\n";
  std::ofstream(path, std::ios::binary) << text;
  int file =
      open(outpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(file, 0);
  EXPECT_EQ(reap(spawn({"scandec", path}, -1, file, -1)).status, 0);
  close(file);
  EXPECT_TRUE(slurp(outpath) == want);
  Pipe out;
  pid_t pid = spawn({"scandec", path}, -1, out.w, -1);
  out.closew();
  EXPECT_TRUE(readall(out.r) == want);
  EXPECT_EQ(reap(pid).status, 0);
  unlink(path.c_str());
  unlink(outpath.c_str());
}

// One token of a gibibyte through a pipe: the program keeps nothing of a
// token, so its memory stays that of its buffers.
TEST(Memory, GibibyteTokenThroughAPipe) {
  signal(SIGPIPE, SIG_IGN);
  [[maybe_unused]] long base = emulatorpeak();
  Pipe in, out;
  pid_t pid = spawn({"scandec"}, in.r, out.w, -1, false, 240);
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
