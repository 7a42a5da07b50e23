// The scan: the loop that refills the input and flushes the output around
// the block engine at the level chosen (levels.h), or the recognizers.
#pragma once

#include "levels.h"
#include "out.h"
#include "stream.h"

// Writes the line of every token of the input to out, in order.  Within
// the scan, this is the one place the input is refilled and the output
// flushed: when the output is full, and before a read that may wait
// (in.waits), so that no line found waits on the input.  Returns true at
// the end of the input or at a read that failed (in.err), false as soon as
// a write fails (out.err); nothing is read or written after either.
// "EOF found" is the caller's.
bool scan(Stream &in, Out &out);

// The one refill of the input: the lines found so far go out first when
// the read may wait.  False at the end of the input, at a read that fails,
// and when those lines can't go out (out.err); the source is not asked
// again after its end, nor a flush made for nothing there.
bool more(Stream &in, Out &out);

// The stream as the recognizers read it, at the plain level: refilled only
// by more(), so that their lines too are out before a read that may wait.
struct Plain {
  Stream &in;
  Out &out;
};

inline int get(Plain &s) {
  if (s.in.p < s.in.e) [[likely]]
    return *s.in.p++;
  return more(s.in, s.out) ? *s.in.p++ : -1;
}

inline void unget(Plain &s, int c) { unget(s.in, c); }
inline bool failed(const Plain &s) { return failed(s.in); }

// The level whose code the last scan() ran, -1 before any: for the tests,
// which can tell by it that a level runs its own code and no other's.
extern int levelran;
