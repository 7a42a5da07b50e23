// The program end to end: what it writes for its input and arguments.
#include <string>
#include <utility>

#include "run.h"

TEST(Output, OneLinePerTokenThenEOF) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {" ;\t\n", ""},
      {"x1 017 09;", "identifier\noctal\ndecimal\ndecimal\n"},
      {"0x1F", "decimal\nidentifier\n"},
      {"0", "decimal\n"},
      // A NUL is a byte like any other that begins no token.
      {std::string("a\0b\0\0"
                   "07\0",
                   8),
       "identifier\nidentifier\noctal\n"},
      // The last block of the read buffer ends at each of its last bytes.
      {std::string(262144, '7') + std::string(63, ' ') + "0",
       "decimal\ndecimal\n"},
      {std::string(262144 - 1, 'a') + "0" + "7" + std::string(64, ' ') + "07",
       "identifier\noctal\n"},
      {std::string(262144 - 1, ' ') + "0" + "7", "octal\n"},
      {std::string(262144 - 1, ' ') + "0" + "9", "decimal\ndecimal\n"},
  };
  for (const auto &[in, want] : cases) {
    Result r = scan(in);
    EXPECT_EQ(r.out, want + "EOF found\n") << in.substr(0, 40);
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

// The level whose code runs is the one pinned; with none pinned, the best
// the processor has, as the program chooses it (the pinned program with no
// level is the same main making the same choice).  A level that quietly
// runs another's code would leave every other test passing.
TEST(Levels, TheLevelAskedForIsTheOneThatRuns) {
  const char *want = pinned() ? pinned() : levelname[cpubest()];
  int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  ASSERT_GE(null, 0);
  unlink(ranpath().c_str());
  pid_t pid =
      spawn({"scandec"}, null, null, -1, false, 30, pinned() ? pinned() : "");
  close(null);
  EXPECT_EQ(reap(pid).status, 0);
  EXPECT_EQ(slurp(ranpath()), want);
  unlink(ranpath().c_str());
}
