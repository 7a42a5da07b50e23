// Where tokens start: every token that starts in 64 bytes decided at once,
// with bit arithmetic on the classes of the bytes and no branch at all.
//
// Within a run of letters and digits the grammar leaves little choice.  The
// run's leading digits make one number, or two: a '0' followed by octal
// digits is octal up to the first digit that is not, and an 8 or 9 there (or
// just after a '0' that stands alone) starts a decimal of the digits that
// remain.  The run's first letter starts one identifier, which takes the
// rest of the run.  So where tokens start follows from where runs start and
// where their leading digits and octal prefixes end, and an addition finds
// those ends: adding a run's first bit to the mask of its class carries
// through the run and lands on the byte just past it.
#pragma once

#include <cstdint>

// The classes of the 64 bytes of a block, bit i for byte i.
struct Masks {
  uint64_t letter, digit, octal, zero;
};

// What a block needs to know of the bytes before it.  Each is 0 or 1.
struct Carry {
  uint64_t alnum;  // the last byte was a letter or digit
  uint64_t octal;  // it was in the octal prefix of a run that '0' began
  uint64_t digits; // it was in the leading digits of a run
  uint64_t zero;   // it was a '0' that began a run, still undecided
};

// Where tokens start, one mask per class.
struct Starts {
  uint64_t ident, octal, decimal;
};

// The bit just past each run of m that begins at a bit of starts, and in
// carry whether a run reaches past bit 63.  A carry into bit 0 is a run that
// goes on from the block before; it can be taken for one more start, since
// no run begins where one goes on.
inline uint64_t past(uint64_t starts, uint64_t m, uint64_t &carry) {
  uint64_t s;
  carry = __builtin_add_overflow(starts | carry, m, &s);
  return s & ~m;
}

// The tokens that start in a block of n bytes (1 to 64) of data; the bytes
// past them are not yet known, and a run that reaches the last byte may go
// on in the next block.  A '0' that begins a run at the last byte is left
// undecided: whether it is octal depends on the byte after it.
template <bool Full> inline Starts decide(Masks m, unsigned n, Carry &k) {
  uint64_t valid = Full ? ~uint64_t{0} : ~uint64_t{0} >> (64 - n);
  uint64_t L = m.letter & valid, D = m.digit & valid, O = m.octal & valid,
           Z = m.zero & valid;
  uint64_t A = L | D;
  uint64_t S = A & ~(A << 1 | k.alnum); // runs begin
  uint64_t ZS = Z & S, DS = D & S;
  // Past the data the classes are taken to go on, so that a run cut by the
  // end of the block carries into the next one.
  uint64_t Of = O | ~valid, Df = D | ~valid;
  uint64_t pastoct = past(ZS, Of, k.octal);
  uint64_t pastdig = past(DS, Df, k.digits);
  uint64_t next = O >> 1; // the byte after is octal
  uint64_t last = uint64_t{1} << (n - 1);
  Starts t;
  t.ident = L & (S | pastdig);
  t.octal = ZS & next;
  t.decimal = (DS & ~Z) | (ZS & ~next & ~last) | (D & pastoct);
  k.alnum = A >> (n - 1) & 1;
  k.zero = ZS >> (n - 1) & 1;
  return t;
}
