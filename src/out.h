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

// The output buffer's size.  The fuzzer's build makes it small
// (-DSCANDEC_OUTBUF=2048), so that its inputs of a few hundred bytes fill
// it to its end as only long texts fill the program's.
#ifndef SCANDEC_OUTBUF
#define SCANDEC_OUTBUF (64 * 1024)
#endif

// Takes all n bytes of buf; false with errno set when it cannot.
using Sink = bool (*)(void *ctx, const char *buf, size_t n);

struct Out {
  Sink sink;
  void *ctx;
  int err; // errno of the write that failed; once set, nothing more is written
  size_t n;
  char buf[SCANDEC_OUTBUF];
};

void init(Out &o, Sink sink, void *ctx);
bool flush(Out &o);

inline bool put(Out &o, const Line &l) {
  if (o.n > sizeof o.buf - sizeof l.text) [[unlikely]]
    if (!flush(o))
      return false;
  std::memcpy(o.buf + o.n, l.text, sizeof l.text);
  o.n += l.len;
  return true;
}

// The program's sink: ctx points to the descriptor.
bool fdwrite(void *ctx, const char *buf, size_t n);
