#ifndef BRINDLEWAY_COMMON_CHILD_WAIT_H_
#define BRINDLEWAY_COMMON_CHILD_WAIT_H_

#include <sys/types.h>

/// Waits for |pid| at most |timeout_ms|. Returns 0 with |*status| set when it ended, or 1 after
/// killing its whole process group (it leads one) with SIGKILL and reaping it.
int wait_for_child(pid_t pid, int timeout_ms, int* status);

#endif  // BRINDLEWAY_COMMON_CHILD_WAIT_H_
