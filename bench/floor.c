/* The floor: read the input in 256 KiB blocks and do nothing else. */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static char buf[256 * 1024];

int main(int argc, char **argv) {
  int fd = 0;
  if (argc > 1 && (fd = open(argv[1], O_RDONLY)) < 0) {
    fprintf(stderr, "floor: cannot open %s: %s\n", argv[1], strerror(errno));
    return 255;
  }
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n == 0)
      break;
    if (n < 0 && errno != EINTR) {
      perror("floor: read");
      return 255;
    }
  }
  puts("EOF found");
  return 0;
}
