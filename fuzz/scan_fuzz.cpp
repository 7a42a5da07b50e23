// Differential fuzzer: the recognizers over the real buffered stream, as the
// plain level reads it, fed a few bytes per read, against a plain
// index-based scan of the same bytes.
//
// An input is
//   byte 0   bits 0-2: data bytes the stream's buffer holds, minus one;
//                      7 means 200, room for a few 64-byte blocks
//            bit 3:    the source fails (EIO) instead of ending cleanly
//            bits 4-7: the output fails at this line (0: never)
//   byte 1   bits 0-4: how many read sizes follow; none means every read
//                      fills the buffer
//            bit 5:    the input may wait, so the output is flushed before
//                      every read
//   then     the read sizes, used in turn and over again (mod 8, plus one)
//   rest     the bytes to scan
//
// Passes over fresh streams: the chain one recognizer at a time, watched at
// every read and pushback; the same through the driver's loop; the driver's
// loop over the stream unwatched; and the program's own scan, at every level
// the processor has, with its output taken by a sink that fails at the
// chosen line.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine.h"
#include "out.h"
#include "scan.h"
#include "stream.h"

namespace {

[[noreturn]] void fail(const char *why) {
  std::fprintf(stderr, "scan_fuzz: %s\n", why);
  std::abort();
}

void check(bool ok, const char *why) {
  if (!ok)
    fail(why);
}

// The model, written from the grammar rather than from the recognizers:
// letters are what upper-case into A-Z, digits are tested raw, octal is
// tried before decimal, and every byte that starts no token is dropped.
struct Tok {
  int code;
  size_t start, end;
};

bool letter(int c) {
  int u = std::toupper(c);
  return u > '@' && u <= 'Z';
}
bool digit(int c) { return c >= '0' && c <= '9'; }
bool octal(int c) { return c >= '0' && c <= '7'; }

std::vector<Tok> model(const uint8_t *d, size_t n) {
  std::vector<Tok> toks;
  size_t i = 0;
  while (i < n) {
    size_t j = i + 1;
    int code = 0;
    if (letter(d[i])) {
      while (j < n && (letter(d[j]) || digit(d[j])))
        j++;
      code = 3;
    } else if (d[i] == '0' && j < n && octal(d[j])) {
      while (j < n && octal(d[j]))
        j++;
      code = 2;
    } else if (d[i] == '0') {
      code = 1;
    } else if (digit(d[i])) {
      while (j < n && digit(d[j]))
        j++;
      code = 1;
    }
    if (code)
      toks.push_back({code, i, j});
    i = j;
  }
  return toks;
}

// The source: hands out the data by the schedule, then ends or fails, and
// must never be asked again after that.
struct Feed {
  const uint8_t *data;
  size_t len;
  const uint8_t *sched;
  size_t nsched;
  bool fails;
  size_t pos = 0;   // bytes handed out
  size_t calls = 0; // reads that returned data
  bool done = false;
};

ssize_t feed(void *ctx, unsigned char *buf, size_t n) {
  auto *f = static_cast<Feed *>(ctx);
  check(!f->done, "source read again after the end");
  check(n > 0, "source asked for no bytes");
  if (f->pos == f->len) {
    f->done = true;
    return f->fails ? -EIO : 0;
  }
  size_t k = n;
  if (f->nsched)
    k = f->sched[f->calls % f->nsched] % 8 + 1;
  k = std::min({k, n, f->len - f->pos});
  std::memcpy(buf, f->data + f->pos, k);
  f->pos += k;
  f->calls++;
  return static_cast<ssize_t>(k);
}

struct Setup {
  size_t size;
  bool fails;
  size_t room;
  bool waits;
  const uint8_t *sched;
  size_t nsched;
  const uint8_t *data;
  size_t len;
};

int unwritten(void *, const char *, size_t) {
  fail("output flushed, though no read may wait");
}

// Nothing is put in it: the recognizers' passes write their lines to a
// Sink of their own.
Out &idle() {
  static Out out;
  init(out, unwritten, nullptr);
  return out;
}

// A stream over a buffer of exactly PUSHBACK + size + SLACK bytes on the
// heap, so that a pushback beyond the room in front of the data, or a read
// beyond the room after it, is an overflow.  The room is filled with a
// digit, which a scan that took it for input would show.  The recognizers
// read it as the plain level does (r), refilled by the scan's more().
struct Bed {
  Feed f;
  std::vector<unsigned char> buf;
  Stream s;
  Plain r;
  explicit Bed(const Setup &u)
      : f{u.data, u.len, u.sched, u.nsched, u.fails},
        buf(PUSHBACK + u.size + SLACK), r{s, idle()} {
    init(s, buf.data(), buf.size(), feed, &f);
    std::fill(buf.begin() + PUSHBACK, buf.end(), '7');
  }
  Bed(const Bed &) = delete;

  // How many input bytes the reader has consumed; checks on the way that
  // the bytes still to be read are the input's, pushback room included.
  size_t at() const {
    check(s.p >= buf.data() && s.p <= s.e && s.e <= buf.data() + buf.size(),
          "stream pointers out of the buffer");
    size_t ahead = static_cast<size_t>(s.e - s.p);
    check(ahead <= f.pos, "more bytes ahead than were read");
    size_t a = f.pos - ahead;
    check(std::memcmp(s.p, f.data + a, ahead) == 0,
          "bytes ahead differ from the input");
    return a;
  }
};

// Follows every read and pushback of the real stream: a pushback must give
// back the character read last, and no more than two may ever be pending.
struct Watch {
  Bed &b;
  size_t far = 0; // the furthest point read
};

int get(Watch &w) {
  int c = get(w.b.r);
  size_t a = w.b.at();
  if (c < 0) {
    check(a == w.b.f.len && w.b.f.done, "end of input before the end");
  } else {
    check(a > 0 && c == w.b.f.data[a - 1], "read a wrong character");
    w.far = std::max(w.far, a);
  }
  return c;
}

void unget(Watch &w, int c) {
  size_t before = w.b.at();
  unget(w.b.r, c);
  size_t a = w.b.at();
  if (c < 0) {
    check(a == before, "pushing back the end moved the stream");
    return;
  }
  check(a + 1 == before, "pushback did not step back one");
  check(c == w.b.f.data[a], "pushed back a character other than the last");
  check(a + 2 >= w.far, "more than two characters pending");
}

bool failed(Watch &w) { return failed(w.b.r); }

template <unsigned K> bool skip(Watch &w) {
  size_t from = w.b.at();
  bool moved = skip<K>(w.b.r);
  size_t a = w.b.at();
  const Feed &f = w.b.f;
  check(a >= from, "skip went backwards");
  for (size_t i = from; i < a; i++)
    check(is(f.data[i], K), "skip passed a byte outside its class");
  check(a == f.len || !is(f.data[a], K), "skip stopped inside its class");
  check(moved == (a != from), "skip misreported whether it moved");
  // It read the byte that stopped it.
  w.far = std::max(w.far, std::min(a + 1, f.len));
  return moved;
}

// The chain as the driver runs it, with each recognizer's answer checked
// against the model: the token it consumed, or no move at all.
void stepwise(const Setup &u, const std::vector<Tok> &want) {
  Bed b(u);
  Watch w{b};
  int (*const rec[])(Watch &) = {scanid<Watch>, scanoct<Watch>, scandec<Watch>};
  const int codes[] = {3, 2, 1};
  size_t t = 0;
  for (;;) {
    size_t here = b.at();
    int code = 0;
    for (int i = 0; i < 3 && !code; i++) {
      code = rec[i](w);
      if (code)
        check(code == codes[i], "recognizer returned another's code");
      else
        check(b.at() == here, "declining recognizer moved the stream");
    }
    if (code) {
      check(t < want.size() && want[t].start == here, "token not in model");
      check(want[t].code == code, "token of the wrong class");
      check(want[t].end == b.at(), "token of the wrong length");
      t++;
      continue;
    }
    check(t == want.size() || want[t].start > here, "missed a token");
    if (get(w) < 0)
      break;
  }
  check(t == want.size(), "tokens left over at the end");
  for (int i = 0; i < 5; i++)
    check(get(w) < 0, "end of input did not repeat");
  check(b.s.err == (u.fails ? EIO : 0), "read failure lost or invented");
}

// The output: records each line with the stream's position when it was
// written, and fails at the chosen line.
struct Sink {
  const Bed &b;
  size_t room;
  std::vector<Tok> got;
};

bool put(Sink &o, const Line &l) {
  check(o.room > 0, "line written after the output failed");
  if (--o.room == 0)
    return false;
  int code = 0;
  if (&l == &IDENT)
    code = 3;
  else if (&l == &OCTNUM)
    code = 2;
  else if (&l == &DECNUM)
    code = 1;
  check(code != 0, "a line that is no token's");
  o.got.push_back({code, 0, o.b.at()});
  return true;
}

// The driver's loop: one line per token, in order, each written once its
// token is consumed; it stops at the first line that fails and says so.
template <class S>
void driver(S &in, Bed &b, const Setup &u, const std::vector<Tok> &want) {
  Sink out{b, u.room ? u.room : SIZE_MAX, {}};
  bool ok = scanall<S, Sink>(in, out);
  if (u.room && u.room <= want.size()) {
    check(!ok, "output failure not reported");
    check(out.got.size() == u.room - 1, "lines written after a failure");
  } else {
    check(ok, "output failure invented");
    check(out.got.size() == want.size(), "driver wrote other tokens");
    check(get(in) < 0, "driver stopped before the end");
    check(b.s.err == (u.fails ? EIO : 0), "read failure lost or invented");
  }
  for (size_t i = 0; i < out.got.size(); i++) {
    check(out.got[i].code == want[i].code, "driver: token of the wrong class");
    check(out.got[i].end == want[i].end, "driver: token of the wrong length");
  }
}

// The program's scan, which writes whole buffers of lines: a sink that
// takes the lines before the chosen one and fails on the rest.  What it
// took must be the model's lines, in order, and nothing may follow a
// failure.
struct Taken {
  std::string text;
  size_t room; // lines it takes
  bool failed = false;
  bool scanning = true; // the scan has not returned yet
  bool failedscanning = false;
};

int take(void *ctx, const char *buf, size_t n) {
  auto *t = static_cast<Taken *>(ctx);
  check(!t->failed, "written to again after a failure");
  for (size_t i = 0; i < n; i++) {
    if (t->room == 0) {
      t->failed = true;
      t->failedscanning = t->scanning;
      return ENOSPC;
    }
    t->text += static_cast<char>(buf[i]);
    if (buf[i] == '\n')
      t->room--;
  }
  return 0;
}

void program(const Setup &u, const std::vector<Tok> &want) {
  static const char *const lines[] = {"", "decimal\n", "octal\n",
                                      "identifier\n"};
  std::string all;
  for (const Tok &t : want)
    all += lines[t.code];
  if (!u.fails)
    all += "EOF found\n";
  Bed b(u);
  Taken t{{}, u.room ? u.room - 1 : SIZE_MAX};
  static Out out;
  init(out, take, &t);
  b.s.waits = u.waits;
  bool scanned = scan(b.s, out);
  t.scanning = false;
  check(!scanned || !t.failedscanning, "a failed write taken for the end");
  // As the program does: no "EOF found" after a read failure.
  bool ok = scanned && (b.s.err || put(out, ATEOF)) && flush(out);
  check(ok == !t.failed, "output failure lost or invented");
  check(ok ? t.text == all : all.compare(0, t.text.size(), t.text) == 0,
        "the program's scan wrote other lines");
  check(!ok || b.s.err == (u.fails ? EIO : 0), "read failure lost or invented");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2)
    return 0;
  Setup u;
  u.size = (data[0] & 7) == 7 ? 200 : (data[0] & 7) + 1;
  u.fails = data[0] & 8;
  u.room = data[0] >> 4;
  u.nsched = std::min<size_t>(data[1] % 32, size - 2);
  u.waits = data[1] & 32;
  u.sched = data + 2;
  u.data = data + 2 + u.nsched;
  u.len = size - 2 - u.nsched;
  std::vector<Tok> want = model(u.data, u.len);
  stepwise(u, want);
  // The recognizers take a '0' whose next read failed for a decimal; the
  // driver and the program write no line for it, its class being unknown.
  std::vector<Tok> lines = want;
  if (u.fails && !lines.empty() && lines.back().start + 1 == u.len &&
      u.data[u.len - 1] == '0')
    lines.pop_back();
  {
    Bed b(u);
    Watch w{b};
    driver(w, b, u, lines);
  }
  {
    Bed b(u);
    driver(b.r, b, u, lines);
  }
  for (int level = PLAIN; level < LEVELS; level++)
    if (setlevel(level))
      program(u, lines);
  return 0;
}
