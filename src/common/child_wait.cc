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
// outlive it, and the child is reaped. That wait has an end too: a process asleep in the kernel
// on a FUSE server that reads requests and never answers, or on a frozen file system, does
// not die of SIGKILL until the file system lets it go. After REAP_AFTER_KILL_MS it is left
// behind (init reaps it when the helper has gone); it holds no descriptor of the helper's but
// the pipe or streams it was given, so not the run lock.

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

ChildEnd wait_for_child(pid_t pid, long long deadline_ms, int* status) {
  long pause = 1;
  for (;;) {
    const int ended = reap_if_ended(pid, status);
    if (ended == 1) return ChildEnd::kEnded;
    if (ended < 0) return ChildEnd::kKilled;  // not our child to wait for, or to kill
    const long long left = deadline_ms - monotonic_ms();
    if (left <= 0) break;
    pause_for(left < pause ? static_cast<long>(left) : pause);
    if (pause < kLongestPauseMs) pause *= 2;
  }
  return kill_child(pid);
}

ChildEnd kill_child(pid_t pid) {
  // A child that does not lead a group of its own is at least killed itself.
  if (kill(-pid, SIGKILL) != 0) kill(pid, SIGKILL);
  const long long give_up = monotonic_ms() + REAP_AFTER_KILL_MS;
  int ignored = 0;
  while (reap_if_ended(pid, &ignored) == 0) {
    if (monotonic_ms() >= give_up) return ChildEnd::kLeftRunning;
    pause_for(kLongestPauseMs);
  }
  return ChildEnd::kKilled;
}

void describe_missed_deadline(int timeout_ms, char* buf, std::size_t size) {
  const int seconds = timeout_ms / 1000;
  std::snprintf(buf, size,
                i18n_plural("it did not answer within %d second",
                            "it did not answer within %d seconds",
                            static_cast<unsigned long>(seconds)),
                seconds);
}
