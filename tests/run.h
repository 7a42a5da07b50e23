// Running the program as a child process, for the end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "cpu.h"
#include "emulator.h"
#include "engine.h"

// The level each suite runs the program at: ctest runs the end-to-end suites
// once as the program is, and once pinned to each level (SCANDEC_LEVEL set
// in the suite's environment, and passed on to the program built to take
// it).  A level the processor lacks is skipped, as the processor itself
// tells, and ctest counts its tests as not run (tests/CMakeLists.txt); a
// level it has but the program refuses fails.
inline const char *pinned() { return std::getenv("SCANDEC_LEVEL"); }

struct SkipLevelsTheProcessorLacks : testing::Environment {
  void SetUp() override {
    const char *want = pinned();
    if (want == nullptr)
      return;
    for (int l = PLAIN; l < LEVELS; l++)
      if (std::string(levelname[l]) == want && !cpuhas(l))
        GTEST_SKIP() << "this processor has no " << want;
  }
};

inline testing::Environment *const skiplevels =
    testing::AddGlobalTestEnvironment(new SkipLevelsTheProcessorLacks);

struct Call {
  std::vector<std::string> args = {"scandec"}; // argv, from argv[0]
  std::string input;                           // standard input
  bool closein = false, closeout = false, full = false;
};

struct Result {
  std::string out, err;
  int status; // exit status, or 128 + signal
};

inline std::string slurp(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

inline std::string tmp(const char *name) {
  const char *dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/scandec-test-" +
         std::to_string(getpid()) + "-" + name;
}

// Starts the program on the given standard input, output and error (-1
// leaves that one closed).  The test runner's own descriptors 0 to 2 may be
// closed or anything else, so the three are lifted out of the way first.
// SIGPIPE is as a shell leaves it, unless the caller ignores it.  A program
// that hangs is killed by SIGALRM after `secs` seconds, so that a test that
// waits on it fails then rather than at ctest's limit.  With a level, the
// pinned program runs at it (with "", at the level it chooses) and says
// which level ran in ranpath().
inline std::string ranpath() { return tmp("ran"); }

inline pid_t spawn(const std::vector<std::string> &args, int in, int out,
                   int err, bool nosigpipe = false, unsigned secs = 30,
                   const char *level = pinned()) {
  const char *program = level ? PINNED : SCANDEC;
  std::string pin =
      level && *level ? std::string("SCANDEC_LEVEL=") + level : "";
  std::string ran = level ? "SCANDEC_RAN=" + ranpath() : "";
  pid_t pid = fork();
  if (pid != 0)
    return pid;
  int fds[3] = {in, out, err};
  for (int &fd : fds)
    if (fd >= 0)
      fd = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  for (int i = 0; i < 3; i++) {
    if (fds[i] < 0)
      close(i);
    else if (dup2(fds[i], i) < 0)
      _exit(126);
  }
  signal(SIGPIPE, nosigpipe ? SIG_IGN : SIG_DFL);
  std::vector<const char *> argv;
  const char *path = program;
  size_t first = 0;
  if (emulator[0] != nullptr) {
    // qemu-user runs the program named after its options; -0 hands it the
    // argv[0] the test chose.  An empty vector becomes {""}, as Linux makes
    // it itself since 5.18.
    path = emulator[0];
    for (const char *const *e = emulator; *e != nullptr; e++)
      argv.push_back(*e);
    argv.push_back("-0");
    argv.push_back(args.empty() ? "" : args[0].c_str());
    argv.push_back(program);
    first = 1;
  }
  for (size_t i = first; i < args.size(); i++)
    argv.push_back(args[i].c_str());
  argv.push_back(nullptr);
  char *envp[] = {ran.empty() ? nullptr : ran.data(),
                  pin.empty() ? nullptr : pin.data(), nullptr};
  alarm(secs);
  execve(path, const_cast<char **>(argv.data()), envp);
  _exit(127);
}

struct Exit {
  int status;  // exit status, or 128 + signal
  long maxrss; // peak resident memory, KiB
};

inline Exit reap(pid_t pid) {
  int st = 0;
  struct rusage ru = {};
  while (wait4(pid, &st, 0, &ru) < 0 && errno == EINTR)
    ;
  return {WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st), ru.ru_maxrss};
}

inline Result run(const Call &r) {
  std::string in = tmp("in"), out = tmp("out"), err = tmp("err");
  std::ofstream(in, std::ios::binary) << r.input;
  int ifd = open(in.c_str(), O_RDONLY | O_CLOEXEC);
  int ofd = open(r.full ? "/dev/full" : out.c_str(),
                 O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int efd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  EXPECT_TRUE(ifd >= 0 && ofd >= 0 && efd >= 0);
  pid_t pid = spawn(r.args, r.closein ? -1 : ifd, r.closeout ? -1 : ofd, efd);
  close(ifd), close(ofd), close(efd);
  int status = reap(pid).status;
  Result res{r.full || r.closeout ? "" : slurp(out), slurp(err), status};
  unlink(in.c_str());
  unlink(out.c_str());
  unlink(err.c_str());
  return res;
}

inline Result scan(const std::string &input) {
  Call r;
  r.input = input;
  return run(r);
}

// The next line the program writes to fd, without its newline; what came
// so far if nothing more arrives within ten seconds.
inline std::string readline(int fd) {
  std::string s;
  char c;
  struct pollfd p = {fd, POLLIN, 0};
  while (poll(&p, 1, 10000) == 1 && read(fd, &c, 1) == 1 && c != '\n')
    s += c;
  return s;
}
