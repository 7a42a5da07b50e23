/* The floor: read the input in 256 KiB blocks and do nothing else. */
#include <errno.h>
#include <stdio.h>
#include <unistd.h>

static char buf[256 * 1024];

int main(void) {
  for (;;) {
    ssize_t n = read(0, buf, sizeof buf);
    if (n == 0)
      break;
    if (n < 0 && errno != EINTR) {
      perror("floor: read");
      return 1;
    }
  }
  puts("EOF found");
  return 0;
}
