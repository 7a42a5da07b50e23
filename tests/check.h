// Streams and sinks for the tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "out.h"

// A stream over a string that holds the recognizers to the contract: only
// the character last read is pushed back, never more than two are pending,
// and the end of input, once met, stays met.  It offers no bulk skip, so the
// recognizers run their plain one-character loops over it.
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
