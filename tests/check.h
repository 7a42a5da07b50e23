// Streams, sources and sinks for the tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "engine.h"
#include "out.h"
#include "scan.h"
#include "stream.h"

// A stream over a string that holds the recognizers to the contract: only
// the character last read is pushed back, never more than two are pending,
// and the end of input, once met, stays met.  It has no buffer, so every
// character the recognizers take goes through get() and unget() here.
struct CheckStream {
  std::string data;
  size_t pos = 0;
  int pending = 0;
  int maxpending = 0;
};

inline int get(CheckStream &s) {
  if (s.pending > 0)
    s.pending--;
  if (s.pos < s.data.size())
    return static_cast<unsigned char>(s.data[s.pos++]);
  return -1;
}

inline void unget(CheckStream &s, int c) {
  if (c < 0)
    return;
  EXPECT_GT(s.pos, 0u);
  EXPECT_EQ(c, static_cast<unsigned char>(s.data[s.pos - 1]))
      << "pushed back a character other than the one last read";
  s.pos--;
  s.pending++;
  s.maxpending = std::max(s.maxpending, s.pending);
  EXPECT_LE(s.pending, 2) << "more than two characters pending";
}

// Its end is never a failure.
inline bool failed(const CheckStream &) { return false; }

// Collects the lines the driver writes; fails after `room` lines, to stand
// for an output that breaks.
struct Lines {
  std::string text;
  size_t room = SIZE_MAX;
};

inline bool put(Lines &o, const Line &l) {
  if (o.room == 0)
    return false;
  o.room--;
  o.text.append(l.text, l.len);
  return true;
}

// Hands out the input by a schedule of read sizes, used in turn, then the
// end or a failure.
struct Trickle {
  std::string data;
  std::vector<size_t> sizes = {1};
  int fail = 0; // error to fail with once the data is out, 0 for the end
  size_t pos = 0;
  int calls = 0; // reads asked for, the last one at the end included
  size_t next = 0;
};

inline ssize_t trickle(void *ctx, unsigned char *buf, size_t n) {
  auto *t = static_cast<Trickle *>(ctx);
  t->calls++;
  if (t->pos == t->data.size())
    return -t->fail;
  n = std::min(
      {n, t->sizes[t->next++ % t->sizes.size()], t->data.size() - t->pos});
  std::copy_n(t->data.begin() + static_cast<ptrdiff_t>(t->pos), n, buf);
  t->pos += n;
  return static_cast<ssize_t>(n);
}

// A stream whose buffer holds only `size` bytes of data.  What lies past
// the data is never to be taken for input; filling it with a digit or a
// letter makes a scan that does show.
struct Tiny {
  Trickle t;
  std::vector<unsigned char> buf;
  Stream s;
  Tiny(std::string data, size_t size, std::vector<size_t> sizes, int fail = 0,
       char fill = '7')
      : t{std::move(data), std::move(sizes), fail},
        buf(PUSHBACK + size + SLACK) {
    init(s, buf.data(), buf.size(), trickle, &t);
    std::fill(buf.begin() + PUSHBACK, buf.end(), fill);
  }
};

// The output's sink: takes `room` bytes, then fails as a full disk does.
struct Collect {
  std::string text;
  size_t room = SIZE_MAX;
  int calls = 0;
};

inline int collect(void *ctx, const char *buf, size_t n) {
  auto *c = static_cast<Collect *>(ctx);
  c->calls++;
  if (n > c->room)
    return ENOSPC;
  c->room -= n;
  c->text.append(buf, n);
  return 0;
}

// Every level this processor has, the recognizers' chain first; the best
// again afterwards for whatever runs next.
struct Levels {
  std::vector<int> all;
  Levels() {
    for (int l = PLAIN; l < LEVELS; l++)
      if (haslevel(l))
        all.push_back(l);
  }
  ~Levels() { setlevel(bestlevel()); }
};

// What the program's scan writes for the stream, at a level.
struct Scanned {
  std::string text;
  bool done;
};

// The part of the output buffer the scans here use: the program's for a
// terminal or /dev/null, and small enough for a test to fill many times.
constexpr size_t CAP = std::min<size_t>(64 * 1024, sizeof Out::buf);

// The output the scans write to, with the end of the part in use against
// pages that can't be touched: a line stored past it faults at once, in
// every build.  AddressSanitizer alone misses a store that is unaligned
// and only partly past the end, as a 16-byte line can be, and knows
// nothing of the cap.
inline Out &guarded() {
  static Out *const out = [] {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    auto pages = [&](size_t n) { return (n + page - 1) / page * page; };
    size_t used = offsetof(Out, buf) + CAP;
    size_t head = pages(used), tail = pages(sizeof(Out) - used + 1);
    void *m = mmap(nullptr, head + tail, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(m, MAP_FAILED);
    char *p = static_cast<char *>(m);
    EXPECT_EQ(mprotect(p + head, tail, PROT_NONE), 0);
    static_assert(offsetof(Out, buf) + sizeof Out::buf == sizeof(Out));
    return new (p + head - used) Out;
  }();
  return *out;
}

inline Scanned scanat(int level, Stream &in, size_t room = SIZE_MAX) {
  EXPECT_TRUE(setlevel(level));
  Out &out = guarded();
  Collect c{{}, room};
  init(out, collect, &c, CAP);
  bool done = scan(in, out);
  if (done)
    flush(out);
  return {c.text, done};
}

// The lines the recognizers write for the text.
inline std::string chain(const std::string &text) {
  CheckStream s{text};
  Lines out;
  EXPECT_TRUE(scanall(s, out));
  return out.text;
}

// The lines the program's scan writes at a level, given the text through a
// buffer of `size` bytes by reads of the sizes given, ending or failing.
inline Scanned scanned(int level, const std::string &text, size_t size,
                       std::vector<size_t> reads, int fail = 0) {
  Tiny in(text, size, std::move(reads), fail);
  Scanned r = scanat(level, in.s);
  EXPECT_TRUE(r.done);
  EXPECT_EQ(in.s.err, fail);
  return r;
}
