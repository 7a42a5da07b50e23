// The input and output as files: opening, naming and telling them apart.
#pragma once

#include <cstddef>
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

// Lets a pipe hold `size` bytes, if it is one and can, or as near as it may
// under that; the pipe's size after, or -1 when fd is no pipe.
int widen(int fd, int size);

// The bytes of lines to gather before each write to fd, at most `most`;
// widens fd if it is a pipe.
size_t outpiece(int fd, size_t most);
