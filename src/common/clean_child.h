#ifndef BRINDLEWAY_COMMON_CLEAN_CHILD_H_
#define BRINDLEWAY_COMMON_CLEAN_CHILD_H_

#include <cstddef>

/// What a child's standard streams are.
enum class ChildStreams {
  /// /dev/null on all three; the answer pipe is a descriptor of its own.
  kNull,
  /// /dev/null on standard input and error; standard output is the answer pipe (a program the
  /// child runs answers there).
  kAnswerOnOutput,
  /// /dev/null on standard input; standard output and error stay the caller's.
  kCallers,
};

/// How a child run by run_clean_child ended.
enum class ChildOutcome {
  kEnded,        // it ended by itself: its status and its answer are there
  kNotStarted,   // no pipe or no fork (errno in |error|)
  kNotClean,     // it could not leave the caller's world behind, and did nothing
  kTimedOut,     // it had not ended at the deadline: killed with its process group, reaped
  kLeftRunning,  // killed at the deadline, it had not ended a second later: left to init
};

/// What run_clean_child learnt of one child.
struct ChildRun {
  ChildOutcome outcome;
  int status;       // as waitpid sets it, for kEnded
  std::size_t len;  // bytes of the answer received
  bool cut;         // it wrote more than the answer's room; the rest was read and dropped
  int error;        // for kNotStarted
};

/// The work of a child: |out| is where it answers, |arg| what the parent passed. The child
/// ends with status 0 when it returns; it may _exit or execve instead.
using ChildBody = void (*)(int out, void* arg);

/// Turns a child just forked from the helper into one that nothing of the caller's reaches: a
/// session of its own without a controlling terminal, /dev/null on its standard streams but
/// those |streams| keeps, no descriptor above 2 but |keep| (-1 for none), no signal blocked and
/// every one at its default but SIGPIPE, which stays ignored, and an environment of a fixed
/// PATH alone (the writer of the messages, kCallers, keeps the process's own). Only calls
/// that are safe between fork and exec. Returns 0, or 1 when it cannot be had; the child must
/// then end.
int clean_child_start(int keep, ChildStreams streams);

/// Runs |body| with |arg| in a child that starts clean (clean_child_start) with |streams|, and
/// reads what it writes to its answer pipe into |answer| (|cap| bytes) while it runs. Gives up
/// on it |timeout_ms| after the start: kills it with its process group, and waits at most
/// REAP_AFTER_KILL_MS more for it (a child stuck in the kernel is then left to init). Fills
/// |run|. Needs SIGCHLD at its default, as prepare_process leaves it.
void run_clean_child(ChildBody body, void* arg, ChildStreams streams, int timeout_ms,
                     void* answer, std::size_t cap, ChildRun* run);

#endif  // BRINDLEWAY_COMMON_CLEAN_CHILD_H_
