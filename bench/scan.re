/* The grammar for re2c, over 256 KiB blocks read with read(2); generated
 * with -b (bit vectors), the fastest of re2c's code styles here.
 *
 * Every state of this automaton after the first byte accepts, so it never
 * backtracks, and nothing looks at a token's text: a refill keeps only the
 * bytes that re2c asks to have ahead of the cursor (fewer than YYMAXFILL)
 * and drops the rest, even the token in progress, which the automaton goes
 * on matching in the state where the block ran out.  So the memory is fixed
 * however long a token is, and a token or a '0' cut by a block boundary is
 * decided as if there were none.
 *
 * The end of the input is marked by YYMAXFILL NUL bytes after it; a NUL of
 * the input is told from the first of them by its place.  (re2c's sentinel
 * scheme, re2c:eof, would spare a check per byte, but it does not go with
 * -b, and -b with this scheme is the faster of the two.) */
#include "io.h"

/*!max:re2c*/
static unsigned char buf[INSIZE + YYMAXFILL];

int main(int argc, char **argv) {
  openin(argc, argv);
  unsigned char *cur = buf, *lim = buf, *end = NULL;
  char *op = outbuf;

#define FILL(n)                                                                \
  do {                                                                         \
    size_t keep = (size_t)(lim - cur), got;                                    \
    memmove(buf, cur, keep);                                                   \
    cur = buf;                                                                 \
    lim = buf + keep;                                                          \
    if ((got = readin(lim, INSIZE)) == 0) {                                    \
      end = lim;                                                               \
      memset(lim, 0, YYMAXFILL);                                               \
      got = YYMAXFILL;                                                         \
    }                                                                          \
    lim += got;                                                                \
  } while (0)

next:
  /*!re2c
    re2c:define:YYCTYPE = "unsigned char";
    re2c:define:YYCURSOR = cur;
    re2c:define:YYLIMIT = lim;
    re2c:define:YYFILL = "FILL";

    [A-Za-z][A-Za-z0-9]*  { PUT(op, "identifier\n"); goto next; }
    "0" [0-7]+            { PUT(op, "octal\n"); goto next; }
    "0" | [1-9][0-9]*     { PUT(op, "decimal\n"); goto next; }
    [^A-Za-z0-9\x00]+     { goto next; }
    "\x00"                { if (cur - 1 == end) return finish(op); goto next; }
  */
}
