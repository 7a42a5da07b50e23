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
  if (o.n > sizeof o.buf - sizeof l.text) [[unlikely]]
    if (!flush(o))
      return false;
  std::memcpy(o.buf + o.n, l.text, sizeof l.text);
  o.n += l.len;
  return true;
}

// The end of the lines of an Out, held apart from it for the length of a
// scan, for the same reason as the input's position (see cursor.h): a line
// stored into the buffer could be the count itself, as far as the compiler
// knows.  publish() writes the position back, resume() takes it up again.
struct Writer {
  char *p, *lim;
  Out *o;
};

inline Writer writer(Out &o) {
  return {o.buf + o.n, o.buf + sizeof o.buf - sizeof Line::text, &o};
}

inline void publish(Writer &w) { w.o->n = static_cast<size_t>(w.p - w.o->buf); }
inline void resume(Writer &w) { w.p = w.o->buf + w.o->n; }

inline bool put(Writer &w, const Line &l) {
  if (w.p > w.lim) [[unlikely]] {
    publish(w);
    if (!flush(*w.o))
      return false;
    resume(w);
  }
  std::memcpy(w.p, l.text, sizeof l.text);
  w.p += l.len;
  return true;
}
