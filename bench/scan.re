/* The grammar for re2c, over the whole input read into one buffer. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static char obuf[64 * 1024];

int main(void) {
  size_t cap = 1 << 20, len = 0;
  unsigned char *buf = malloc(cap + 1);
  for (;;) {
    if (!buf) {
      fputs("re2c: out of memory\n", stderr);
      return 1;
    }
    if (len == cap)
      buf = realloc(buf, (cap *= 2) + 1);
    else {
      ssize_t n = read(0, buf + len, cap - len);
      if (n == 0)
        break;
      if (n < 0) {
        if (errno == EINTR)
          continue;
        perror("re2c: read");
        return 1;
      }
      len += (size_t)n;
    }
  }
  buf[len] = 0; /* the sentinel; a NUL before it is checked against lim */
  setvbuf(stdout, obuf, _IOFBF, sizeof obuf);

  const unsigned char *cur = buf, *lim = buf + len;
  for (;;) {
    /*!re2c
      re2c:define:YYCTYPE = "unsigned char";
      re2c:define:YYCURSOR = cur;
      re2c:define:YYLIMIT = lim;
      re2c:yyfill:enable = 0;
      re2c:eof = 0;

      [A-Za-z][A-Za-z0-9]*  { fputs("identifier\n", stdout); continue; }
      "0" [0-7]+            { fputs("octal\n", stdout); continue; }
      "0" | [1-9][0-9]*     { fputs("decimal\n", stdout); continue; }
      [^A-Za-z0-9]+         { continue; }
      *                     { continue; }
      $                     { break; }
    */
  }
  fputs("EOF found\n", stdout);
  return 0;
}
