// The program end to end: what it writes, where, and with what status.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Call {
  std::vector<std::string> args = {"scandec"}; // argv, from argv[0]
  std::string input;                           // standard input
  bool closein = false, closeout = false, full = false;
};

struct Result {
  std::string out, err;
  int status; // exit status, or 128 + signal
};

std::string slurp(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::string tmp(const char *name) {
  const char *dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/scandec-test-" +
         std::to_string(getpid()) + "-" + name;
}

Result run(const Call &r) {
  std::string in = tmp("in"), out = tmp("out"), err = tmp("err");
  std::ofstream(in, std::ios::binary) << r.input;
  pid_t pid = fork();
  if (pid == 0) {
    auto redirect = [](const std::string &path, int flags, int to) {
      int fd = open(path.c_str(), flags, 0644);
      dup2(fd, to);
      close(fd);
    };
    redirect(in, O_RDONLY, 0);
    redirect(r.full ? "/dev/full" : out, O_WRONLY | O_CREAT | O_TRUNC, 1);
    redirect(err, O_WRONLY | O_CREAT | O_TRUNC, 2);
    if (r.closein)
      close(0);
    if (r.closeout)
      close(1);
    std::vector<char *> argv;
    for (const std::string &a : r.args)
      argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    char *envp[] = {nullptr};
    execve(SCANDEC, argv.data(), envp);
    _exit(127);
  }
  int st;
  waitpid(pid, &st, 0);
  Result res{r.full || r.closeout ? "" : slurp(out), slurp(err),
             WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st)};
  unlink(in.c_str());
  unlink(out.c_str());
  unlink(err.c_str());
  return res;
}

Result scan(const std::string &input) {
  Call r;
  r.input = input;
  return run(r);
}

} // namespace

TEST(Output, OneLinePerTokenThenEOF) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {" ;\t\n", ""},
      {"x1 017 09;", "identifier\noctal\ndecimal\ndecimal\n"},
      {"0x1F", "decimal\nidentifier\n"},
      {"0", "decimal\n"},
  };
  for (const auto &[in, want] : cases) {
    Result r = scan(in);
    EXPECT_EQ(r.out, want + "EOF found\n") << in;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
}

// Tokens straddle the program's read buffer many times over; no pattern
// length divides a power of two.
TEST(Output, TokensAcrossReadBuffers) {
  std::string in, want;
  for (int i = 0; i < 60000; i++) {
    in += "ab1 0777 9;";
    want += "identifier\noctal\ndecimal\n";
  }
  in += "x" + std::string(3 << 20, 'y') + " 0" + std::string(3 << 20, '1');
  want += "identifier\noctal\nEOF found\n";
  Result r = scan(in);
  EXPECT_TRUE(r.out == want) << "output differs; " << r.out.size() << " bytes";
  EXPECT_EQ(r.status, 0);
}

TEST(Arguments, FirstNamesTheInputTheRestAreIgnored) {
  Call r;
  r.args = {"scandec", SAMPLE, "/nonexistent"};
  r.input = "stdin is not read";
  Result res = run(r);
  EXPECT_NE(res.out.find("identifier\noctal\n"), std::string::npos);
  EXPECT_NE(res.out.find("decimal\n"), std::string::npos);
  EXPECT_EQ(res.out.substr(res.out.size() - 10), "EOF found\n");
  EXPECT_EQ(res.status, 0);
}

TEST(Arguments, EmptyArgumentVectorReadsStandardInput) {
  Call r;
  r.args.clear();
  r.input.push_back('a');
  Result res = run(r);
  EXPECT_EQ(res.out, "identifier\nEOF found\n");
  EXPECT_EQ(res.status, 0);
}

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

// A line must not wait in the buffer while the program waits for input:
// someone typing, or a pipe from a log that is still being written.
TEST(Interactive, LinesAppearBeforeTheInputEnds) {
  int in[2], out[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(pipe(out), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[0]), close(in[1]), close(out[0]), close(out[1]);
    execl(SCANDEC, "scandec", (char *)nullptr);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  auto line = [&] {
    std::string s;
    char c;
    struct pollfd p = {out[0], POLLIN, 0};
    while (poll(&p, 1, 10000) == 1 && read(out[0], &c, 1) == 1 && c != '\n')
      s += c;
    return s;
  };
  ASSERT_EQ(write(in[1], "abc ", 4), 4);
  EXPECT_EQ(line(), "identifier");
  ASSERT_EQ(write(in[1], "017\n", 4), 4);
  EXPECT_EQ(line(), "octal");
  close(in[1]);
  EXPECT_EQ(line(), "EOF found");
  int st;
  waitpid(pid, &st, 0);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  close(out[0]);
}
