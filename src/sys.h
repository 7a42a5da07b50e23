// System calls as the rest of the program wants them: interrupted calls are
// retried, and a non-blocking descriptor is waited on rather than failed.
#pragma once

#include <cstddef>
#include <sys/types.h>

// read(2): bytes read, 0 at the end, -1 with errno set.
ssize_t readsome(int fd, void *buf, size_t n);
// write(2) until all of buf is written; false with errno set, EIO when a
// write takes nothing.
bool writeall(int fd, const void *buf, size_t n);
