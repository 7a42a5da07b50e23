// The recognizers: the definition of a token.
//
// Each one is a template over the input stream so that the same code runs
// over the program's buffered stream and over the checking streams of the
// tests.  A stream offers get(s) (a byte 0..255, or -1 at the end),
// unget(s, c) (push back the character last read; -1 is ignored) and
// failed(s) (whether the end was a read that failed).  They are
// the plain level of the scan, and the reference that the block engine
// (engine.h) is tested against at every level.
#pragma once

#include "chars.h"
#include "out.h"

// Reads while the byte is in class K and pushes back the first that is not;
// says whether it consumed anything.
template <unsigned K, class S> bool skip(S &in) {
  bool moved = false;
  int c;
  while (is(c = get(in), K))
    moved = true;
  unget(in, c);
  return moved;
}

// identifier: a letter, then letters and digits.
template <class S> int scanid(S &in) {
  int c = get(in);
  if (!is(c, LETTER)) {
    unget(in, c);
    return 0;
  }
  skip<ALNUM>(in);
  return 3;
}

// octal: '0', then one or more octal digits.  The only recognizer that may
// push back two characters: when no octal digit follows the '0', the
// character that showed it goes back, and the '0' after it.
template <class S> int scanoct(S &in) {
  int c = get(in);
  if (c != '0') {
    unget(in, c);
    return 0;
  }
  int d = get(in);
  if (!is(d, OCTAL)) {
    unget(in, d);
    unget(in, c);
    return 0;
  }
  skip<OCTAL>(in);
  return 2;
}

// decimal: a '0' alone, or 1-9 followed by digits.
template <class S> int scandec(S &in) {
  int c = get(in);
  if (!is(c, DIGIT)) {
    unget(in, c);
    return 0;
  }
  if (c != '0')
    skip<DIGIT>(in);
  return 1;
}

// The next byte, left unread.
template <class S> int peek(S &in) {
  int c = get(in);
  unget(in, c);
  return c;
}

// The driver's chain, in its fixed order: trying octal before decimal is
// what makes a '0' followed by an octal digit an octal number, and any other
// '0' a decimal number by itself.  A byte that no recognizer takes begins no
// token, and neither does any byte of the run it starts, so the whole run
// is dropped at once.  Returns true at the end of input, false as soon as
// the output fails.
template <class S, class O> bool scanall(S &in, O &out) {
  for (;;) {
    if (scanid(in)) {
      if (!put(out, IDENT))
        return false;
    } else if (scanoct(in)) {
      if (!put(out, OCTNUM))
        return false;
    } else if (int c = peek(in); scandec(in)) {
      // A '0' whose next byte could not be read may yet begin an octal
      // number: its class is unknown, so it has no line.
      if (c == '0' && failed(in))
        return true;
      if (!put(out, DECNUM))
        return false;
    } else if (get(in) < 0) {
      return true;
    } else {
      skip<OTHER>(in);
    }
  }
}
