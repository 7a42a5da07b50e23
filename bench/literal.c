/* The scanner written the obvious way on the C standard streams: each
 * recognizer reads with getc and gives back with ungetc, the letter test
 * upper-cases with toupper, and every line goes out through puts. */
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>

static FILE *in;

static int isletter(int c) {
  c = toupper(c);
  return c > '@' && c <= 'Z';
}

static int isdigit10(int c) { return c >= '0' && c <= '9'; }
static int isoctal(int c) { return c >= '0' && c <= '7'; }

static int scanid(FILE *f) {
  int c = getc(f);
  if (!isletter(c)) {
    ungetc(c, f);
    return 0;
  }
  do
    c = getc(f);
  while (isletter(c) || isdigit10(c));
  ungetc(c, f);
  return 3;
}

static int scanoct(FILE *f) {
  int c = getc(f);
  if (c != '0') {
    ungetc(c, f);
    return 0;
  }
  int d = getc(f);
  if (!isoctal(d)) {
    ungetc(d, f);
    ungetc(c, f);
    return 0;
  }
  do
    d = getc(f);
  while (isoctal(d));
  ungetc(d, f);
  return 2;
}

static int scandec(FILE *f) {
  int c = getc(f);
  if (!isdigit10(c)) {
    ungetc(c, f);
    return 0;
  }
  if (c == '0')
    return 1;
  do
    c = getc(f);
  while (isdigit10(c));
  ungetc(c, f);
  return 1;
}

int main(int argc, char **argv) {
  in = stdin;
  if (argc > 1 && !(in = fopen(argv[1], "r"))) {
    fprintf(stderr, "%s: cannot open %s... exiting\n", argv[0], argv[1]);
    exit(-1);
  }
  for (;;) {
    if (scanid(in))
      puts("identifier");
    else if (scanoct(in))
      puts("octal");
    else if (scandec(in))
      puts("decimal");
    else if (getc(in) == EOF) {
      puts("EOF found");
      return 0;
    }
  }
}
