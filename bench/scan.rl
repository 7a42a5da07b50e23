/* The grammar for ragel, as a state chart over 256 KiB blocks read with
 * read(2); generated with -G2.
 *
 * A scanner of ragel's own (|* ... *|) keeps the text of the token in
 * progress, as flex does; a plain machine needs none.  Within a run of
 * letters and digits each class is certain at a token's first byte, except
 * that a '0' waits for the next byte, to be octal or a lone decimal.  So
 * every line is written on the transition that makes its class certain,
 * the state is all that is carried from one block to the next, and the
 * memory is fixed however long a token is.  A '0' that ends the input is
 * decided by the EOF action of its state. */
#include "io.h"

%%{
  machine scan;
  alphtype unsigned char;

  letter = [A-Za-z];
  other = any - [A-Za-z0-9];

  action id { PUT(op, "identifier\n"); }
  action oct { PUT(op, "octal\n"); }
  action dec { PUT(op, "decimal\n"); }
  # The same line for a lone '0': ragel would merge two dec on one arc.
  action zero { PUT(op, "decimal\n"); }

  main := (
    start: (
      letter @id -> ident |
      '0' -> zero |
      [1-9] @dec -> number |
      other -> start
    ),
    ident: (
      [A-Za-z0-9] -> ident |
      other -> start
    ),
    zero: (
      [0-7] @oct -> octal |
      [89] @zero @dec -> number |
      letter @zero @id -> ident |
      other @zero -> start
    ) >eof(zero),
    octal: (
      [0-7] -> octal |
      [89] @dec -> number |
      letter @id -> ident |
      other -> start
    ),
    number: (
      [0-9] -> number |
      letter @id -> ident |
      other -> start
    )
  );
}%%

%% write data noerror nofinal noentry;

static unsigned char buf[INSIZE];

int main(int argc, char **argv) {
  openin(argc, argv);
  char *op = outbuf;
  int cs;
  %% write init;
  for (;;) {
    size_t n = readin(buf, INSIZE);
    const unsigned char *p = buf, *pe = buf + n, *eof = n ? NULL : pe;
    %% write exec;
    if (n == 0)
      return finish(op);
  }
}
