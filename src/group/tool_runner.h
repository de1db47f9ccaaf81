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

/// How long an account tool may take before it is killed and counted as failed.
inline constexpr int TOOL_DEADLINE_MS = 30000;

/// Runs |command| through /bin/sh with the environment built from the process's own, in a
/// session of its own with /dev/null as its standard streams, for at most TOOL_DEADLINE_MS.
/// Returns true if the shell ran and exited with status 0 in time. Needs SIGCHLD at its default and
/// SIGPIPE ignored, as prepare_process leaves them.
bool run_tool_command(const char* command);

#endif  // BRINDLEWAY_GROUP_TOOL_RUNNER_H_
