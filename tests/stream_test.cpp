// The buffered stream under the recognizers: pushback across refills, the
// end of input, read failures.
#include <cerrno>

#include "check.h"
#include "scan.h"
#include "stream.h"

// With one byte of buffer every character comes from its own refill, so
// each pushback below crosses one.
TEST(Stream, PushbackSurvivesRefills) {
  Tiny in("08", 1, {1});
  EXPECT_EQ(scanoct(in.s), 0);
  EXPECT_EQ(get(in.s), '0');
  EXPECT_EQ(get(in.s), '8');
  EXPECT_EQ(get(in.s), -1);

  Tiny z("0", 1, {1});
  EXPECT_EQ(scanoct(z.s), 0);
  EXPECT_EQ(scandec(z.s), 1);
  EXPECT_EQ(get(z.s), -1);

  // A NUL is a character like any other, pushed back and read again.
  Tiny nul(std::string("a\0b", 3), 1, {1});
  EXPECT_EQ(scanid(nul.s), 3);
  EXPECT_EQ(get(nul.s), 0);
  EXPECT_EQ(scanid(nul.s), 3);
  EXPECT_EQ(get(nul.s), -1);
}

TEST(Stream, EndRepeatsWithoutAskingTheSourceAgain) {
  Tiny in("ab", 4, {4});
  EXPECT_EQ(scanid(in.s), 3);
  for (int i = 0; i < 5; i++)
    EXPECT_EQ(get(in.s), -1);
  unget(in.s, 'b');
  EXPECT_EQ(get(in.s), 'b');
  EXPECT_EQ(get(in.s), -1);
  EXPECT_EQ(in.t.calls, 2);
  EXPECT_EQ(in.s.err, 0);
}

TEST(Stream, ReadFailureEndsTheInputAndIsKept) {
  Tiny in("abc 12", 4, {3}, EIO);
  Lines out;
  EXPECT_TRUE(scanall(in.s, out));
  EXPECT_EQ(out.text, "identifier\ndecimal\n");
  EXPECT_EQ(in.s.err, EIO);
  EXPECT_EQ(get(in.s), -1);
  EXPECT_EQ(in.t.calls, 3);
}

// The error a read or write reports is the one its source or sink gave,
// never one that some other call left in errno.
TEST(Stream, ErrorsAreTheirCallsOwn) {
  auto full = [](void *, unsigned char *, size_t) -> ssize_t {
    return -ENOSPC;
  };
  auto gone = [](void *, const char *, size_t) { return EPIPE; };
  Stream s;
  unsigned char buf[PUSHBACK + 16 + SLACK];
  init(s, buf, sizeof buf, full, nullptr);
  errno = EIO;
  EXPECT_EQ(get(s), -1);
  EXPECT_EQ(s.err, ENOSPC);

  static Out o;
  init(o, gone, nullptr);
  EXPECT_TRUE(put(o, IDENT));
  EXPECT_FALSE(flush(o));
  EXPECT_EQ(o.err, EPIPE);
}
