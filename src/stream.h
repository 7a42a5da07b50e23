// The input stream: a fixed buffer refilled from a byte source.
//
// The block engine takes the bytes between p and e a block at a time; the
// recognizers take them one at a time through the scan's stream (Plain, in
// engine.h), whose get() and unget() are in the common case a compare and a
// pointer move.  Memory is the one buffer, whatever the input: tokens are
// decided as they pass, never kept.
#pragma once

#include <cstddef>
#include <sys/types.h>

// Fills buf with up to n bytes; returns how many, 0 at the end of input,
// or minus the number of the error.
using Source = ssize_t (*)(void *ctx, unsigned char *buf, size_t n);

// Pushback room in front of the data; the recognizers never need more.
constexpr size_t PUSHBACK = 2;
// Room after the data: a scan reads a whole block of 64 bytes from any
// position in the data, and ignores what lies past its end.
constexpr size_t SLACK = 64;

struct Stream {
  unsigned char *p;  // next byte to read
  unsigned char *e;  // end of the bytes read so far
  unsigned char *lo; // where the source's bytes go; [lo - PUSHBACK, lo) is room
  unsigned char *hi; // end of the data room, then SLACK bytes
  Source src;
  void *ctx;
  bool end;   // the source is done with: it is never called again
  bool waits; // a read may wait for a writer: scan() flushes first
  int err;    // error of the read that failed, 0 if none did
};

// buf must hold PUSHBACK + SLACK + at least one byte.
void init(Stream &s, unsigned char *buf, size_t size, Source src, void *ctx);

// Reads more bytes once every byte read so far has been consumed (p == e);
// false at the end of input or when the read fails.  The scan's more()
// (engine.h) is its one caller, which flushes first when the read may wait.
bool fill(Stream &s);

// Only the character last read is ever pushed back, and it is still in the
// buffer (fill() keeps the bytes before the new data), so pushing back is a
// pointer move.
inline void unget(Stream &s, int c) {
  if (c >= 0)
    --s.p;
}

inline bool failed(const Stream &s) { return s.err != 0; }

// The program's source: read(2) of the descriptor ctx points to.
ssize_t fdread(void *ctx, unsigned char *buf, size_t n);
