#ifndef BRINDLEWAY_COMMON_RUN_LOCK_H_
#define BRINDLEWAY_COMMON_RUN_LOCK_H_

/// The lock file that keeps two runs from changing the system at the same time. /run belongs
/// to root alone, so no one else can make the file or hold its lock; it is gone at boot.
inline constexpr char RUN_LOCK_PATH[] = "/run/brindleway-helper.lock";

/// How long a run waits for another to let go of the lock.
inline constexpr int RUN_LOCK_WAIT_MS = 10000;

/// Takes the exclusive lock on RUN_LOCK_PATH, creating the file if need be, and waits at most
/// RUN_LOCK_WAIT_MS while another run holds it. The lock stays held until release_run_lock or
/// the exit.
/// Returns 0, or 1 after reporting on standard error why it could not be had ("another run is
/// still in progress" when the wait ran out).
int acquire_run_lock();

/// Lets go of the lock taken by acquire_run_lock or acquire_lock_at, if any. The run must have
/// finished its change.
void release_run_lock();

/// Does the same for the lock file at |path|, waiting at most |wait_ms|; acquire_run_lock
/// passes the fixed path and wait.
int acquire_lock_at(const char* path, int wait_ms);

#endif  // BRINDLEWAY_COMMON_RUN_LOCK_H_
