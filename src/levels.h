// The levels of vector support: which this build has, which the processor
// can run, and which the scan runs at.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#define SCAN_X86 1
#elif defined(__aarch64__) && defined(__ARM_NEON)
#define SCAN_NEON 1
#endif

// PLAIN is the recognizers' chain, a character at a time; the others are
// the block engine with the classifier of that name (classes.h).
enum Level { PLAIN, PORTABLE, SSE2, AVX2, AVX512, NEON, LEVELS };

extern const char *const levelname[LEVELS];

// Whether this build, on this processor, can run the level.
bool haslevel(int level);
// The level the program starts at: the fastest it has.
int bestlevel();
// The level scan() runs at from now on; false, and no change, when the
// processor lacks it.
bool setlevel(int level);
int getlevel();
