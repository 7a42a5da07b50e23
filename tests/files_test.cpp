// Whether the output is the input read back, decided from the two files'
// status and the input's offset, for files no single file system can make.
#include <gtest/gtest.h>

#include "files.h"

namespace {

struct stat file(dev_t dev, ino_t ino, mode_t type, off_t size) {
  struct stat st = {};
  st.st_dev = dev;
  st.st_ino = ino;
  st.st_mode = type | 0644;
  st.st_size = size;
  return st;
}

} // namespace

TEST(SameFile, OnlyTheSameFileWithPartOfItUnread) {
  const off_t big = off_t{5} << 30; // past what 32 bits can hold
  const struct {
    const char *what;
    struct stat in, out;
    off_t at;
    bool refused;
  } cases[] = {
      {"f >> f", file(1, 7, S_IFREG, 10), file(1, 7, S_IFREG, 10), 0, true},
      {"read up to its last byte", file(1, 7, S_IFREG, 10),
       file(1, 7, S_IFREG, 10), 9, true},
      {"read to its end", file(1, 7, S_IFREG, 10), file(1, 7, S_IFREG, 10), 10,
       false},
      {"emptied by >", file(1, 7, S_IFREG, 0), file(1, 7, S_IFREG, 0), 0,
       false},
      {"offset unknown", file(1, 7, S_IFREG, 10), file(1, 7, S_IFREG, 10), -1,
       true},
      {"a large file", file(1, 7, S_IFREG, big), file(1, 7, S_IFREG, big),
       big - 1, true},
      {"the same inode on another device", file(1, 7, S_IFREG, 10),
       file(2, 7, S_IFREG, 10), 0, false},
      {"another inode on the same device", file(1, 7, S_IFREG, 10),
       file(1, 8, S_IFREG, 10), 0, false},
      {"a pipe or FIFO", file(1, 7, S_IFIFO, 0), file(1, 7, S_IFIFO, 0), -1,
       true},
      {"two pipes", file(1, 7, S_IFIFO, 0), file(1, 8, S_IFIFO, 0), -1, false},
      {"a terminal", file(1, 7, S_IFCHR, 0), file(1, 7, S_IFCHR, 0), -1, false},
      {"a socket", file(1, 7, S_IFSOCK, 0), file(1, 7, S_IFSOCK, 0), -1, false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(readsback(c.in, c.out, c.at), c.refused) << c.what;
}
