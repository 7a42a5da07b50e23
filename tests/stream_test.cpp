// The buffered stream under the recognizers, as the plain level reads it:
// pushback across refills, the end of input, read failures.
#include <cerrno>

#include "check.h"
#include "engine.h"
#include "scan.h"
#include "stream.h"

namespace {

int unwritten(void *, const char *, size_t) {
  ADD_FAILURE() << "the output was flushed, though no read may wait";
  return EIO;
}

// The stream through the scan's own refill (more()); nothing here may wait,
// so its output is never flushed.
Plain reader(Tiny &in) {
  Out &out = guarded();
  init(out, unwritten, nullptr, CAP);
  return {in.s, out};
}

} // namespace

// With one byte of buffer every character comes from its own refill, so
// each pushback below crosses one.
TEST(Stream, PushbackSurvivesRefills) {
  Tiny in("08", 1, {1});
  Plain s = reader(in);
  EXPECT_EQ(scanoct(s), 0);
  EXPECT_EQ(get(s), '0');
  EXPECT_EQ(get(s), '8');
  EXPECT_EQ(get(s), -1);

  Tiny z("0", 1, {1});
  Plain zs = reader(z);
  EXPECT_EQ(scanoct(zs), 0);
  EXPECT_EQ(scandec(zs), 1);
  EXPECT_EQ(get(zs), -1);

  // A NUL is a character like any other, pushed back and read again.
  Tiny nul(std::string("a\0b", 3), 1, {1});
  Plain ns = reader(nul);
  EXPECT_EQ(scanid(ns), 3);
  EXPECT_EQ(get(ns), 0);
  EXPECT_EQ(scanid(ns), 3);
  EXPECT_EQ(get(ns), -1);
}

TEST(Stream, EndRepeatsWithoutAskingTheSourceAgain) {
  Tiny in("ab", 4, {4});
  Plain s = reader(in);
  EXPECT_EQ(scanid(s), 3);
  for (int i = 0; i < 5; i++)
    EXPECT_EQ(get(s), -1);
  unget(s, 'b');
  EXPECT_EQ(get(s), 'b');
  EXPECT_EQ(get(s), -1);
  EXPECT_EQ(in.t.calls, 2);
  EXPECT_EQ(in.s.err, 0);
}

TEST(Stream, ReadFailureEndsTheInputAndIsKept) {
  Tiny in("abc 12", 4, {3}, EIO);
  Plain s = reader(in);
  Lines out;
  EXPECT_TRUE(scanall(s, out));
  EXPECT_EQ(out.text, "identifier\ndecimal\n");
  EXPECT_EQ(in.s.err, EIO);
  EXPECT_EQ(get(s), -1);
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
  EXPECT_FALSE(fill(s));
  EXPECT_EQ(s.err, ENOSPC);

  static Out o;
  init(o, gone, nullptr);
  EXPECT_TRUE(put(o, IDENT));
  EXPECT_FALSE(flush(o));
  EXPECT_EQ(o.err, EPIPE);
}
