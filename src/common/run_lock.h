#ifndef BRINDLEWAY_COMMON_RUN_LOCK_H_
#define BRINDLEWAY_COMMON_RUN_LOCK_H_

/// The lock file that keeps two runs from changing the system at the same time. /run belongs
/// to root alone, so no one else can make the file or hold its lock; it is gone at boot.
inline constexpr char RUN_LOCK_PATH[] = "/run/brindleway-helper.lock";

/// Takes the exclusive lock on RUN_LOCK_PATH, creating the file if need be, and waits while
/// another run holds it. The lock stays held until the process exits. Returns 0, or 1 after
/// reporting on standard error why it could not be had.
int acquire_run_lock();

/// Does the same for the lock file at |path|; acquire_run_lock passes the fixed path.
int acquire_lock_at(const char* path);

#endif  // BRINDLEWAY_COMMON_RUN_LOCK_H_
