// The scan as the program runs it: the block engine at the best level of
// vector support the processor has, or the recognizers themselves.
#pragma once

#include "out.h"
#include "stream.h"

// PLAIN is the recognizers' chain, a character at a time; the others are
// the block engine with the classifier of that name (simd.h).
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
// The level whose code the last scan() ran, -1 before any: for the tests,
// which can tell by it that a level runs its own code and no other's.
extern int levelran;

// Writes the line of every token of the input to out, in order; true at the
// end of the input (or when it fails: see in.err), false as soon as the
// output fails.  "EOF found" is the caller's.
bool scan(Stream &in, Out &out);
