// The buffered stream: pushback across refills, the end of input, read
// failures, and the chain over it against the chain over the plain stream.
#include <cerrno>
#include <iterator>
#include <random>
#include <vector>

#include "check.h"
#include "cursor.h"
#include "scan.h"
#include "stream.h"

// Hands out the input a few bytes per read, then the end or a failure.
struct Trickle {
  std::string data;
  size_t chunk = 1;
  int fail = 0; // errno to fail with once the data is out, 0 for the end
  size_t pos = 0;
  int calls = 0;
};

static ssize_t trickle(void *ctx, unsigned char *buf, size_t n) {
  auto *t = static_cast<Trickle *>(ctx);
  t->calls++;
  if (t->pos == t->data.size()) {
    errno = t->fail;
    return t->fail ? -1 : 0;
  }
  n = std::min({n, t->chunk, t->data.size() - t->pos});
  std::copy_n(t->data.begin() + static_cast<ptrdiff_t>(t->pos), n, buf);
  t->pos += n;
  return static_cast<ssize_t>(n);
}

// A stream whose buffer holds only `size` bytes of data.  What lies past
// the data is never to be taken for input; filling it with a digit or a
// space makes a scan that does show.
struct Tiny {
  Trickle t;
  std::vector<unsigned char> buf;
  Stream s;
  Tiny(std::string data, size_t size, size_t chunk, int fail = 0,
       char fill = '7')
      : t{std::move(data), chunk, fail}, buf(PUSHBACK + size + SLACK) {
    init(s, buf.data(), buf.size(), trickle, &t);
    std::fill(buf.begin() + PUSHBACK, buf.end(), fill);
  }
};

// With one byte of buffer every character comes from its own refill, so
// each pushback below crosses one.
TEST(Stream, PushbackSurvivesRefills) {
  Tiny in("08", 1, 1);
  EXPECT_EQ(scanoct(in.s), 0);
  EXPECT_EQ(get(in.s), '0');
  EXPECT_EQ(get(in.s), '8');
  EXPECT_EQ(get(in.s), -1);

  Tiny z("0", 1, 1);
  EXPECT_EQ(scanoct(z.s), 0);
  EXPECT_EQ(scandec(z.s), 1);
  EXPECT_EQ(get(z.s), -1);
}

TEST(Stream, EndRepeatsWithoutAskingTheSourceAgain) {
  Tiny in("ab", 4, 4);
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
  Tiny in("abc 12", 4, 3, EIO);
  Lines out;
  EXPECT_TRUE(scanall(in.s, out));
  EXPECT_EQ(out.text, "identifier\ndecimal\n");
  EXPECT_EQ(in.s.err, EIO);
  EXPECT_EQ(get(in.s), -1);
  EXPECT_EQ(in.t.calls, 3);
}

// Each level of vector support the processor has, then the scalar one again
// for whatever runs after the test.
struct Levels {
  std::vector<int> all;
  Levels() {
    for (int l : {SCALAR, SSE2, AVX2})
      if (setsimd(l) == l)
        all.push_back(l);
  }
  ~Levels() { setsimd(AVX2); }
};

// Runs of the characters the grammar turns on, short and long, so that
// they start and end at every place in a 64-byte block and cross blocks.
static std::string runs(std::mt19937 &rng, size_t size) {
  static const char *const sets[] = {"0",  "01234567", "0123456789",
                                     "89", "aZ",       "azAZ09",
                                     " ",  "_@[`{",    "\n\xff\x80"};
  std::string text;
  while (text.size() < size) {
    std::string set = sets[rng() % std::size(sets)];
    size_t n = rng() % 4 ? 1 + rng() % 4 : rng() % 150;
    while (n-- > 0)
      text += set[rng() % set.size()];
  }
  return text;
}

// Random texts through every combination of small buffers and read sizes,
// at every level: the bulk skips and pushback across refills must give
// what the plain loops give over the checking stream.
TEST(Stream, ChainAgreesWithThePlainStream) {
  Levels levels;
  std::mt19937 rng(12345);
  for (int round = 0; round < 300; round++) {
    std::string text = runs(rng, rng() % 400);
    CheckStream plain{text};
    Lines want;
    scanall(plain, want);
    for (int level : levels.all) {
      setsimd(level);
      for (size_t size : {1, 2, 3, 8, 64, 65, 300}) {
        for (size_t chunk : {1, 5, 100, 1000}) {
          Tiny in(text, size, chunk);
          Lines got;
          scanall(in.s, got);
          ASSERT_EQ(got.text, want.text)
              << "input '" << text << "' level " << level << " size " << size
              << " chunk " << chunk;
        }
      }
    }
    // The stream's own get, unget and skip, without a cursor.
    Tiny in(text, 8, 5);
    Lines got;
    scanall<Stream, Lines>(in.s, got);
    ASSERT_EQ(got.text, want.text) << "input '" << text << "'";
  }
}

// A token far longer than the buffer is still one token.
TEST(Stream, LongTokensCrossManyRefills) {
  std::string text = "x" + std::string(100000, '7') + " 0" +
                     std::string(100000, '7') + " " + std::string(100000, '9');
  Levels levels;
  for (int level : levels.all) {
    setsimd(level);
    Tiny in(text, 16, 7);
    Lines out;
    scanall(in.s, out);
    EXPECT_EQ(out.text, "identifier\noctal\ndecimal\n") << "level " << level;
  }
}
