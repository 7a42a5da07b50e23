// The input and output as files: opening, naming and telling them apart.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

// open(2) for reading, on a descriptor above the standard three; -1 with
// errno set.
int openin(const char *path);

// A name as it goes into a message, its control bytes escaped as in C; the
// memory it is in lives until the exit.
const char *shown(const char *name);

// Whether the scan of `in`, read on from offset `at` (-1 when it can't be
// told), would read back the lines written to `out`.
bool readsback(const struct stat &in, const struct stat &out, off_t at);
// The same for the descriptors.
bool readsback(int in, int out);

// Whether a read of the descriptor may wait for a writer.
bool maywait(int fd);

// Lets a pipe hold `size` bytes, if it is one and can.
void widen(int fd, int size);
