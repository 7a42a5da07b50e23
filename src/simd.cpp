#include "simd.h"

#include <algorithm>

int setsimd(int level) {
  // The AVX2 scan is compiled to use BMI's shifts and counts as well; every
  // processor with AVX2 has them, but they are asked for all the same.
  if (level >= AVX2 &&
      !(__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
        __builtin_cpu_supports("bmi2")))
    level = SSE2;
  return simd = std::clamp(level, int(SCALAR), int(AVX2));
}

int simd = setsimd(AVX2);
