#ifndef BRINDLEWAY_COMMON_CHILD_WAIT_H_
#define BRINDLEWAY_COMMON_CHILD_WAIT_H_

#include <cstddef>

#include <sys/types.h>

/// How long the helper waits for a child it killed to be reaped. A child asleep in the kernel
/// on a file system that never answers (FUSE, a lost NFS server, a frozen file system)
/// outlives SIGKILL; after this it is left to init and the helper goes on.
inline constexpr int REAP_AFTER_KILL_MS = 1000;

/// How a wait for a child ended.
enum class ChildEnd {
  kEnded,        // it ended by itself; the status is set
  kKilled,       // killed at the deadline with its process group, and reaped
  kLeftRunning,  // killed at the deadline, but it or a process of its group had not ended
                 // REAP_AFTER_KILL_MS later: left to init
};

/// Returns 1 when the child |pid| has ended and is reaped (|*status| set, as waitpid sets it),
/// 0 while it runs, or -1 when it cannot be waited for. Never waits.
int reap_if_ended(pid_t pid, int* status);

/// Waits for |pid|, a child of this process that leads a process group of its own, until the
/// monotonic clock reaches |deadline_ms|. Returns as ChildEnd says; a child that cannot be
/// waited for counts as kKilled. Uses no signal handler and no timer, so it works with every
/// signal blocked; a stopped child is not waited for past the deadline either.
ChildEnd wait_for_child(pid_t pid, long long deadline_ms, int* status);

/// Kills |pid| with its whole process group and waits at most REAP_AFTER_KILL_MS for it to be
/// reaped and the group to be gone. Returns kKilled, or kLeftRunning.
ChildEnd kill_child(pid_t pid);

/// Writes into |buf| (|size| bytes), in the reader's language, that a child "did not answer
/// within N seconds" of |timeout_ms|, for a child wait_for_child had to kill.
void describe_missed_deadline(int timeout_ms, char* buf, std::size_t size);

#endif  // BRINDLEWAY_COMMON_CHILD_WAIT_H_
