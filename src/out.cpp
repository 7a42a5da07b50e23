// The output's flush, and the program's sink.
#include "out.h"

#include <algorithm>

#include "sys.h"

void init(Out &o, Sink sink, void *ctx, size_t cap) {
  o.sink = sink;
  o.ctx = ctx;
  o.err = 0;
  o.n = 0;
  o.cap = std::clamp(cap, OUTMIN, sizeof o.buf);
}

bool flush(Out &o) {
  if (o.err)
    return false;
  if (o.n == 0)
    return true;
  if (int e = o.sink(o.ctx, o.buf, o.n)) {
    o.err = e; // a failure must stay one
    return false;
  }
  o.n = 0;
  return true;
}

int fdwrite(void *ctx, const char *buf, size_t n) {
  return writeall(*static_cast<int *>(ctx), buf, n);
}
