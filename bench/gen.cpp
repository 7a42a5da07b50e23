// gen KIND MIB FILE: write a benchmark text of MIB mebibytes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "corpus.h"

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: gen kind mib file\n");
    return 2;
  }
  size_t size = static_cast<size_t>(std::atof(argv[2]) * (1 << 20));
  FILE *f = std::fopen(argv[3], "wb");
  if (!f) {
    std::perror(argv[3]);
    return 1;
  }
  corpus::make(argv[1], size,
               [&](const char *p, size_t n) { std::fwrite(p, 1, n, f); });
  // fwrite's failures show in the stream's error flag, or at the close.
  if (std::ferror(f) | (std::fclose(f) != 0)) {
    std::perror(argv[3]);
    return 1;
  }
}
