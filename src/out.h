// The output: whole lines gathered in one buffer and handed to a sink, which
// for the program is write(2) on standard output.
#pragma once

#include <cstddef>
#include <cstring>

// Each line is padded to 16 bytes, so that adding one to the buffer is a
// single fixed-size copy whatever its length.
struct Line {
  char text[16];
  size_t len;
};

inline constexpr Line IDENT = {"identifier\n", 11};
inline constexpr Line OCTNUM = {"octal\n", 6};
inline constexpr Line DECNUM = {"decimal\n", 8};
inline constexpr Line ATEOF = {"EOF found\n", 10};

// The output buffer's size: the most that is written at once.  The
// fuzzer's build makes it small (-DSCANDEC_OUTBUF=2048), so that its inputs
// of a few hundred bytes fill it to its end as only long texts fill the
// program's.  Only the part of it in use (cap) is ever touched, so memory
// grows by the pieces the output takes, not by this.
#ifndef SCANDEC_OUTBUF
#define SCANDEC_OUTBUF (1024 * 1024)
#endif

// The least cap: room for a block's lines (the engine's ROOM) and more.
constexpr size_t OUTMIN = 2048;
static_assert(SCANDEC_OUTBUF >= OUTMIN);

// Takes all n bytes of buf: 0, or the number of the error that stopped it.
using Sink = int (*)(void *ctx, const char *buf, size_t n);

struct Out {
  Sink sink;
  void *ctx;
  int err; // error of the write that failed; once set, nothing more is written
  size_t n;
  size_t cap; // the bytes of buf in use: a flush is due when they are full
  char buf[SCANDEC_OUTBUF];
};

// cap is clamped to OUTMIN and the buffer's size.
void init(Out &o, Sink sink, void *ctx, size_t cap = SCANDEC_OUTBUF);
bool flush(Out &o);

inline bool put(Out &o, const Line &l) {
  if (o.n > o.cap - sizeof l.text) [[unlikely]]
    if (!flush(o))
      return false;
  std::memcpy(o.buf + o.n, l.text, sizeof l.text);
  o.n += l.len;
  return true;
}

// The program's sink: ctx points to the descriptor.
int fdwrite(void *ctx, const char *buf, size_t n);
