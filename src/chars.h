// Character classes, as the recognizers test them a byte at a time.
#pragma once

enum : unsigned char {
  LETTER = 1, // A-Z a-z
  DIGIT = 2,  // 0-9
  OCTAL = 4,  // 0-7
  OTHER = 8,  // any byte that begins no token
  ALNUM = LETTER | DIGIT,
};

// Range tests on the value, with no call and no load: the class of a byte
// the scan has just read is known at once, and a mispredicted branch on it
// costs that much less.  The locale is never changed, so upper-casing only
// ever maps a-z onto A-Z, and a letter is a byte that lands in A-Z once its
// case bit is cleared.  The end of input (-1) wraps round to a large unsigned
// value and so is in no class.
inline bool is(int c, unsigned k) {
  bool letter = static_cast<unsigned>((c & ~0x20) - 'A') < 26;
  bool digit = static_cast<unsigned>(c - '0') < 10;
  return ((k & LETTER) && letter) || ((k & DIGIT) && digit) ||
         ((k & OCTAL) && static_cast<unsigned>(c - '0') < 8) ||
         ((k & OTHER) && c >= 0 && !letter && !digit);
}
