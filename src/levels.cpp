// Which levels the processor has, and the one the scan runs at.
#include "levels.h"

#include <initializer_list>

const char *const levelname[LEVELS] = {"plain", "portable", "sse2",
                                       "avx2",  "avx512",   "neon"};

namespace {

// Chosen on first use rather than at start-up, so that no other
// initializer can run before the choice and find it unmade.
int level = -1;

#ifdef __x86_64__
// The AVX2 and AVX-512 levels write their lines through pext.  Every
// processor with AVX2 has BMI2 and popcnt, but AMD's before Zen 3 run pext
// as a loop of microcode, hundreds of cycles where Intel's take three:
// there the SSE2 level, which does without, is the faster.
bool fastpext() {
  return __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
         __builtin_cpu_supports("popcnt") && !__builtin_cpu_is("amdfam15h") &&
         !__builtin_cpu_is("amdfam17h");
}
#endif

} // namespace

bool haslevel(int l) {
#ifdef SCAN_X86
  // The processor's features are read by a constructor of the runtime, which
  // another constructor asking first might run before.
  __builtin_cpu_init();
#endif
  switch (l) {
  case PLAIN:
  case PORTABLE:
    return true;
#ifdef SCAN_X86
  case SSE2:
    return __builtin_cpu_supports("sse2");
#endif
#ifdef __x86_64__
  case AVX2:
    return __builtin_cpu_supports("avx2") && fastpext();
  case AVX512:
    return __builtin_cpu_supports("avx512bw") && fastpext();
#endif
#ifdef SCAN_NEON
  case NEON:
    return true;
#endif
  default:
    return false;
  }
}

int bestlevel() {
  for (int l : {AVX512, AVX2, SSE2, NEON})
    if (haslevel(l))
      return l;
  return PORTABLE;
}

bool setlevel(int l) {
  if (!haslevel(l))
    return false;
  level = l;
  return true;
}

int getlevel() {
  if (level < 0)
    level = bestlevel();
  return level;
}
