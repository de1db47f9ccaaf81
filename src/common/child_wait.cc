#include "common/child_wait.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>

#include <sys/wait.h>
#include <unistd.h>

#include "common/i18n.h"
#include "common/monotonic_clock.h"

// A child that never ends must not hold the helper, and with it the run lock and a staged
// file, for ever. The wait is bounded by the monotonic clock alone: the helper blocks every
// signal once it has staged its file, so neither a SIGCHLD handler nor an alarm can be used.
// The child is looked at after pauses that grow from 1 ms to 16 ms: a quick tool costs the
// helper about a millisecond, a slow one few wake-ups. (A pidfd would wake the wait at once,
// but valgrind, which the tests run the helper under, does not know pidfd_open.) At the
// deadline the child's whole process group is killed, so that a program it started cannot
// outlive it, and the child is reaped.

namespace {

/// The longest pause between two looks at the child.
constexpr long kLongestPauseMs = 16;

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

/// Sleeps |ms| milliseconds (less than a second), or less when interrupted.
void pause_for(long ms) {
  const timespec span{0, ms * 1000000};
  nanosleep(&span, nullptr);
}

}  // namespace

int wait_for_child(pid_t pid, int timeout_ms, int* status) {
  const long long deadline = monotonic_ms() + timeout_ms;
  long pause = 1;
  for (;;) {
    const int ended = reap_if_ended(pid, status);
    if (ended == 1) return 0;
    if (ended < 0) return 1;  // not our child to wait for, or to kill
    const long long left = deadline - monotonic_ms();
    if (left <= 0) break;
    pause_for(left < pause ? static_cast<long>(left) : pause);
    if (pause < kLongestPauseMs) pause *= 2;
  }
  // A child that does not lead a group of its own is at least killed itself, or the wait
  // below would last as long as it does.
  if (kill(-pid, SIGKILL) != 0) kill(pid, SIGKILL);
  int ignored = 0;
  while (waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
  }
  return 1;
}

void describe_missed_deadline(int timeout_ms, char* buf, std::size_t size) {
  const int seconds = timeout_ms / 1000;
  std::snprintf(buf, size,
                i18n_plural("it did not answer within %d second",
                            "it did not answer within %d seconds",
                            static_cast<unsigned long>(seconds)),
                seconds);
}
