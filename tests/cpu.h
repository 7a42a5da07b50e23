// Which levels this processor has, told from the processor itself (cpuid
// on x86) rather than from the program, so that a program that never picks
// a level it should, or picks one it must not, fails a test rather than
// skipping it.
#pragma once

#include <initializer_list>

#include "engine.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>

// The OS must save the vector registers too: bits of XCR0.
inline unsigned long long xcr0() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE))
    return 0;
  unsigned lo, hi;
  asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return (static_cast<unsigned long long>(hi) << 32) | lo;
}

inline bool cpuhas(int level) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  __get_cpuid(1, &a, &b, &c, &d);
  bool sse2 = d & bit_SSE2, popcnt = c & bit_POPCNT;
  unsigned family = (a >> 8 & 15) + (a >> 20 & 255);
  __get_cpuid(0, &a, &b, &c, &d);
  bool amd = b == signature_AMD_ebx;
  unsigned b7 = 0;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d))
    b7 = b;
  unsigned long long x = xcr0();
  [[maybe_unused]] bool ymm = (x & 6) == 6, zmm = (x & 0xe6) == 0xe6;
  // pext is slow microcode on AMD's families 15h and 17h.
  [[maybe_unused]] bool pext = (b7 & bit_BMI) && (b7 & bit_BMI2) && popcnt &&
                               !(amd && (family == 0x15 || family == 0x17));
  switch (level) {
  case PLAIN:
  case PORTABLE:
    return true;
  case SSE2:
    return sse2;
#ifdef __x86_64__
  case AVX2:
    return ymm && (b7 & bit_AVX2) && pext;
  case AVX512:
    return zmm && (b7 & bit_AVX512BW) && pext;
#endif
  default:
    return false;
  }
}
#else
inline bool cpuhas(int level) {
#if defined(__aarch64__)
  if (level == NEON)
    return true;
#endif
  return level == PLAIN || level == PORTABLE;
}
#endif

// The fastest level the processor has, in the program's order of preference.
inline int cpubest() {
  for (int l : {AVX512, AVX2, SSE2, NEON})
    if (cpuhas(l))
      return l;
  return PORTABLE;
}
