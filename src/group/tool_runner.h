#ifndef BRINDLEWAY_GROUP_TOOL_RUNNER_H_
#define BRINDLEWAY_GROUP_TOOL_RUNNER_H_

#include <cstddef>

/// The most caller variables passed on to the account tools; any more are dropped.
inline constexpr std::size_t TOOL_ENV_MAX = 32;

/// The whole environment of an account tool, null-terminated. The entries point into string
/// constants or into the caller's environment, which outlive it.
struct ToolEnv {
  const char* vars[TOOL_ENV_MAX + 2];
};

/// Fills |env| with a fixed PATH and those of the caller's LANG, LANGUAGE and LC_* entries in
/// |caller_env| (null-terminated, may be null) whose text holds no '/'.
void build_tool_env(char* const* caller_env, ToolEnv* env);

/// The most bytes of the account tools' standard output that one run keeps; the rest is
/// read and dropped.
inline constexpr std::size_t TOOL_OUTPUT_MAX = 16384;

/// How an account tool ended.
enum class ToolEnd {
  kSucceeded,    // the shell ran and exited with status 0
  kFailed,       // it could not be run, exited otherwise, or was killed at the deadline
  kLeftRunning,  // killed at the deadline, it did not end: it may still change what it edits
};

/// Runs |command| through /bin/sh with the environment built from the process's own, in a
/// session of its own with /dev/null as its standard input and error, for at most
/// CHILD_DEADLINE_MS. Its standard output is kept (captured_tool_output), never written while
/// the run works. Returns how it ended. Needs SIGCHLD at its default and SIGPIPE ignored, as
/// prepare_process leaves them.
ToolEnd run_tool_command(const char* command);

/// Returns what the account tools of this run printed on their standard output, in order, at
/// most TOOL_OUTPUT_MAX bytes (NUL bytes left out), as a string.
const char* captured_tool_output();

#endif  // BRINDLEWAY_GROUP_TOOL_RUNNER_H_
