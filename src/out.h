// The output: whole lines gathered in one buffer and written with write(2).
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

struct Out {
  int fd;
  int err; // errno of the write that failed; once set, nothing more is written
  size_t n;
  char buf[64 * 1024];
};

void init(Out &o, int fd);
bool flush(Out &o);

inline bool put(Out &o, const Line &l) {
  if (sizeof o.buf - o.n < sizeof l.text) [[unlikely]]
    if (!flush(o))
      return false;
  std::memcpy(o.buf + o.n, l.text, sizeof l.text);
  o.n += l.len;
  return true;
}
