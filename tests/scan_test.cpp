// The recognizers and the chain, over the checking stream.
#include <cctype>

#include "check.h"
#include "scan.h"

// The classes as the grammar states them: a letter is what upper-cases into
// 'A'..'Z'; digits are tested raw.
TEST(Classes, AgreeWithTheGrammarForEveryValue) {
  for (int c = -1; c < 256; c++) {
    int u = std::toupper(c);
    SCOPED_TRACE(c);
    EXPECT_EQ(is(c, LETTER), u > '@' && u <= 'Z');
    EXPECT_EQ(is(c, DIGIT), c >= '0' && c <= '9');
    EXPECT_EQ(is(c, OCTAL), c >= '0' && c <= '7');
    EXPECT_EQ(is(c, OTHER), c >= 0 && !is(c, LETTER | DIGIT));
  }
}

struct Case {
  const char *name;
  std::string input;
  int (*scan)(CheckStream &);
  int code;     // what the recognizer returns
  size_t after; // how many bytes it consumed
};

// Declining must leave the position where it was; accepting must stop just
// after the longest token.
TEST(Recognizers, ConsumeTheLongestTokenOrNothing) {
  const Case cases[] = {
      {"identifier then space", "abc123 ", scanid<CheckStream>, 3, 6},
      {"underscore first", "_a", scanid<CheckStream>, 0, 0},
      {"underscore ends it", "a_b", scanid<CheckStream>, 3, 1},
      {"identifier to the end", "Zz9", scanid<CheckStream>, 3, 3},
      {"neighbours of the letters", "@", scanid<CheckStream>, 0, 0},
      {"high byte ends identifier", "a\xe9", scanid<CheckStream>, 3, 1},
      {"NUL ends identifier", std::string("a\0b", 3), scanid<CheckStream>, 3,
       1},
      {"digit first", "1a", scanid<CheckStream>, 0, 0},
      {"00", "00", scanoct<CheckStream>, 2, 2},
      {"0000", "0000", scanoct<CheckStream>, 2, 4},
      {"07", "07", scanoct<CheckStream>, 2, 2},
      {"octal stops at 9", "079", scanoct<CheckStream>, 2, 2},
      {"0 at the end", "0", scanoct<CheckStream>, 0, 0},
      {"08 pushes back two", "08", scanoct<CheckStream>, 0, 0},
      {"0a", "0a", scanoct<CheckStream>, 0, 0},
      {"octal needs 0", "17", scanoct<CheckStream>, 0, 0},
      {"lone 0 is decimal", "08", scandec<CheckStream>, 1, 1},
      {"0 before digits", "0123", scandec<CheckStream>, 1, 1},
      {"decimal stops at letter", "123abc", scandec<CheckStream>, 1, 3},
      {"decimal to the end", "9", scandec<CheckStream>, 1, 1},
      {"letter is no decimal", "a1", scandec<CheckStream>, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    CheckStream s{c.input};
    EXPECT_EQ(c.scan(s), c.code);
    EXPECT_EQ(s.pos, c.after);
  }
}

TEST(Recognizers, DeclineAtTheEndAndLeaveItThere) {
  CheckStream s{""};
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(scanid(s), 0);
    EXPECT_EQ(scanoct(s), 0);
    EXPECT_EQ(scandec(s), 0);
    EXPECT_EQ(get(s), -1);
  }
}

// '0' then '8': octal declines, the next reads see '0' and '8' again, and
// decimal takes them one at a time.
TEST(Recognizers, ZeroBeforeEightIsTwoDecimals) {
  CheckStream s{"08"};
  EXPECT_EQ(scanoct(s), 0);
  EXPECT_EQ(s.maxpending, 2);
  EXPECT_EQ(scandec(s), 1);
  EXPECT_EQ(s.pos, 1u);
  EXPECT_EQ(scandec(s), 1);
  EXPECT_EQ(get(s), -1);
}

TEST(Chain, WritesOneLinePerTokenInOrder) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {" \t\n;,.!_@[`{", ""},
      {"x1 017 09;", "identifier\noctal\ndecimal\ndecimal\n"},
      {"1.5e3", "decimal\ndecimal\nidentifier\n"},
      {"foo_bar", "identifier\nidentifier\n"},
      {"0x1F", "decimal\nidentifier\n"},
      {"abc123 123abc", "identifier\ndecimal\nidentifier\n"},
      {"0", "decimal\n"},
      {"079", "octal\ndecimal\n"},
      {"caf\xc3\xa9s", "identifier\nidentifier\n"},
      {std::string("a\0b\x80\xff"
                   "7",
                   6),
       "identifier\nidentifier\ndecimal\n"},
  };
  for (const auto &[in, want] : cases)
    EXPECT_EQ(chain(in), want) << "input: " << in;
}

// Whichever class the failing line is for, nothing more is read or written.
TEST(Chain, StopsWhenTheOutputFails) {
  const struct {
    const char *input, *written;
    size_t pos;
  } cases[] = {
      {"a b c d", "identifier\nidentifier\n", 5},
      {"a b 07 d", "identifier\nidentifier\n", 6},
      {"a b 9 d", "identifier\nidentifier\n", 5},
  };
  for (const auto &c : cases) {
    CheckStream s{c.input};
    Lines out;
    out.room = 2;
    EXPECT_FALSE(scanall(s, out)) << c.input;
    EXPECT_EQ(out.text, c.written);
    EXPECT_EQ(s.pos, c.pos) << c.input;
  }
}
