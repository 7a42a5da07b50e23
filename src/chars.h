// Character classes, shared by the recognizers and the stream's bulk skips.
#pragma once

#include <array>

enum : unsigned char {
  LETTER = 1, // A-Z a-z
  DIGIT = 2,  // 0-9
  OCTAL = 4,  // 0-7
  OTHER = 8,  // any byte that begins no token
  ALNUM = LETTER | DIGIT,
};

// Indexed by character value + 1, so the end of input (-1) lands on entry 0,
// which is in no class, and no test needs a branch for it.  The locale is
// never changed, so upper-casing only ever maps a-z onto A-Z: a table gives
// the same answers as toupper() and a range test, without a call per byte.
inline constexpr std::array<unsigned char, 257> chartab = [] {
  std::array<unsigned char, 257> t{};
  for (int c = 0; c < 256; c++) {
    unsigned char k = 0;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
      k = LETTER;
    else if (c >= '0' && c <= '9')
      k = c <= '7' ? DIGIT | OCTAL : DIGIT;
    else
      k = OTHER;
    t[c + 1] = k;
  }
  return t;
}();

inline bool is(int c, unsigned k) { return chartab[c + 1] & k; }
