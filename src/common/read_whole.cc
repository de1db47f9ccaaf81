#include "common/read_whole.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

int open_to_read(const char* path) {
  for (int tries = 0;; ++tries) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0 || errno != EINTR || tries == INTERRUPTED_TRIES) return fd;
  }
}

int read_whole(int fd, char* buf, std::size_t cap, std::size_t* len) {
  std::size_t total = 0;
  for (;;) {
    ssize_t n = read(fd, buf + total, cap - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 1;
    if (n == 0) break;
    total += static_cast<std::size_t>(n);
    if (total == cap) {
      errno = EFBIG;
      return 1;
    }
  }
  *len = total;
  return 0;
}
