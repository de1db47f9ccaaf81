#include "common/child_wait.h"

#include <cerrno>
#include <csignal>
#include <ctime>

#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/unique_fd.h"

// A child that never ends must not hold the helper, and with it the run lock and a staged
// file, for ever. The wait is bounded by the monotonic clock alone: the helper blocks every
// signal once it has staged its file, so neither a SIGCHLD handler nor an alarm can be used.
// A pidfd (Linux 5.3) wakes the wait the moment the child ends; without one the child is
// looked at every few milliseconds. At the deadline the child's whole process group is
// killed, so that a program it started cannot outlive it, and the child is reaped.

namespace {

/// How long one look waits when no pidfd can be had.
constexpr long kNapMs = 5;

long long monotonic_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

/// Returns 1 when |pid| has ended and is reaped (|*status| set), 0 while it runs, or -1 when
/// it cannot be waited for.
int reap_if_ended(pid_t pid, int* status) {
  for (;;) {
    const pid_t got = waitpid(pid, status, WNOHANG);
    if (got == pid) return 1;
    if (got == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

/// Waits until |pidfd| says the child ended or |ms| milliseconds passed; without a pidfd,
/// sleeps a little.
void pause_for(int pidfd, long long ms) {
  if (pidfd >= 0) {
    pollfd ready{pidfd, POLLIN, 0};
    poll(&ready, 1, static_cast<int>(ms));  // EINTR only ends the pause early
    return;
  }
  const long nap = ms < kNapMs ? static_cast<long>(ms) : kNapMs;
  const timespec span{0, nap * 1000000};
  nanosleep(&span, nullptr);
}

}  // namespace

int wait_for_child(pid_t pid, int timeout_ms, int* status) {
  // pidfd_open sets close-on-exec itself.
  UniqueFd pidfd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
  const long long deadline = monotonic_ms() + timeout_ms;
  for (;;) {
    const int ended = reap_if_ended(pid, status);
    if (ended == 1) return 0;
    if (ended < 0) return 1;  // not our child to wait for, or to kill
    const long long left = deadline - monotonic_ms();
    if (left <= 0) break;
    pause_for(pidfd.get(), left);
  }
  kill(-pid, SIGKILL);
  int ignored = 0;
  while (waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
  }
  return 1;
}
