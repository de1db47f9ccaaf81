#ifndef BRINDLEWAY_COMMON_CHILD_WAIT_H_
#define BRINDLEWAY_COMMON_CHILD_WAIT_H_

#include <cstddef>

#include <sys/types.h>

/// Waits for |pid|, a child of this process that leads a process group of its own, at most
/// |timeout_ms| milliseconds. Returns 0 with |*status| set (as waitpid sets it) when it ended,
/// or 1 after killing its whole process group with SIGKILL and reaping it, or when it could
/// not be waited for. Uses no signal handler and no timer, so it works with every signal
/// blocked; a stopped child is not waited for past the deadline either.
int wait_for_child(pid_t pid, int timeout_ms, int* status);

/// Writes into |buf| (|size| bytes), in the reader's language, that a child "did not answer
/// within N seconds" of |timeout_ms|, for a child wait_for_child had to kill.
void describe_missed_deadline(int timeout_ms, char* buf, std::size_t size);

#endif  // BRINDLEWAY_COMMON_CHILD_WAIT_H_
