// The scan as the program runs it: the block engine's loop over the stream
// at the level chosen (levels.h), or the recognizers themselves.
#pragma once

#include "levels.h"
#include "out.h"
#include "stream.h"

// Writes the line of every token of the input to out, in order; true at the
// end of the input (or when it fails: see in.err), false as soon as the
// output fails.  "EOF found" is the caller's.
bool scan(Stream &in, Out &out);

// The level whose code the last scan() ran, -1 before any: for the tests,
// which can tell by it that a level runs its own code and no other's.
extern int levelran;
