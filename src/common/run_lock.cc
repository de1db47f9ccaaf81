#include "common/run_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/message_queue.h"
#include "common/monotonic_clock.h"
#include "common/words.h"

// Two runs at once would interleave their group steps, and the later rename would silently
// undo the earlier run's change. Every run that changes something therefore holds one
// exclusive flock from before it reads the configuration until it exits. The kernel drops the
// lock when the process ends, however it ends, so a crashed run never blocks the next one. The
// descriptor is close-on-exec: a tool still running after the helper died must not keep it.
// The wait for it has an end: a run that holds it longer than RUN_LOCK_WAIT_MS is stuck or
// misused, and a caller is better told so than kept waiting behind it. The lock is tried
// without blocking, with short pauses in between, as no signal or timer may be used to end a
// blocking flock.

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

/// The descriptor that holds the lock, or -1.
int g_lock_fd = -1;

/// The pause between two tries.
constexpr long kPauseMs = 20;

/// Takes the exclusive lock on |fd|, trying for |wait_ms|. Returns 0, or 1 with errno set
/// (EWOULDBLOCK when another process held it all that time).
int lock_within(int fd, int wait_ms) {
  const long long deadline = monotonic_ms() + wait_ms;
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || monotonic_ms() >= deadline) return 1;
    const timespec pause{0, kPauseMs * 1000000};
    nanosleep(&pause, nullptr);
  }
}

}  // namespace

int acquire_lock_at(const char* path, int wait_ms) {
  const int fd = open_lock_file(path);
  if (fd >= 0 && lock_within(fd, wait_ms) == 0) {
    g_lock_fd = fd;  // stays open: the lock lasts until release_run_lock or the exit
    return 0;
  }
  const int error = errno;
  if (fd >= 0) close(fd);
  if (error == EWOULDBLOCK) {
    say("run-in-progress", path);
  } else {
    say("run-lock-failed", path, std::strerror(error));
  }
  return 1;
}

int acquire_run_lock() { return acquire_lock_at(RUN_LOCK_PATH, RUN_LOCK_WAIT_MS); }

void release_run_lock() {
  if (g_lock_fd < 0) return;
  // Unlocked explicitly: a child that still holds a copy of the descriptor would keep the lock
  // past a close().
  flock(g_lock_fd, LOCK_UN);
  close(g_lock_fd);
  g_lock_fd = -1;
}
