#include "common/run_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Two runs at once would interleave their group steps, and the later rename would silently
// undo the earlier run's change. Every run that changes something therefore holds one
// exclusive flock from before it reads the configuration until it exits. The kernel drops the
// lock when the process ends, however it ends, so a crashed run never blocks the next one. The
// descriptor is close-on-exec: a tool still running after the helper died must not keep it.

namespace {

/// Opens the lock file at |path|. Returns the descriptor, or -1 with errno set.
int open_lock_file(const char* path) {
  // O_NONBLOCK: a FIFO at the path must not hold the helper up; the check below refuses it.
  const int fd = open(path, O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK,
                      0600);
  if (fd < 0) return -1;
  struct stat st {};
  int error = 0;
  if (fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    error = EINVAL;
  } else {
    return fd;
  }
  close(fd);
  errno = error;
  return -1;
}

}  // namespace

int acquire_lock_at(const char* path) {
  const int fd = open_lock_file(path);
  int result = fd < 0 ? -1 : 0;
  while (result == 0 && flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) result = -1;
  }
  if (result != 0) {
    const int error = errno;
    if (fd >= 0) close(fd);
    std::fprintf(stderr, "Cannot lock %s: %s\n", path, std::strerror(error));
    return 1;
  }
  return 0;  // |fd| stays open: the lock lasts as long as the process.
}

int acquire_run_lock() { return acquire_lock_at(RUN_LOCK_PATH); }
