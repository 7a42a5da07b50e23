// System calls as the rest of the program wants them: interrupted calls are
// retried, and a non-blocking descriptor is waited on rather than failed.
#pragma once

#include <cstddef>
#include <sys/types.h>

// Each says its error as a value, read from errno as soon as the failing
// call has set it, so that no later call can change it on the way.

// read(2): bytes read, 0 at the end, or minus the number of the error.
ssize_t readsome(int fd, void *buf, size_t n);
// write(2) until all of buf is written: 0, or the number of the error; EIO
// for a write that takes nothing.
int writeall(int fd, const void *buf, size_t n);
