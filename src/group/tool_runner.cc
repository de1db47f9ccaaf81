#include "group/tool_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include "common/child_wait.h"
#include "common/clean_child.h"

extern char** environ;  // NOLINT: the process environment has no other name.

// The tools run as root with an environment built from scratch, as doas does: whatever the
// caller set (PATH, IFS, ENV, BASH_ENV, LD_*) could otherwise choose which program runs or
// what the shell does first. Only the locale survives, so the tools still speak the caller's
// language, and never a value with a '/', which could point at a file of the caller's.
// Each tool starts clean (clean_child_start): a session of its own with /dev/null as its
// standard streams, so the caller's terminal has no way to it, a tool that asked a question
// would not wait for an answer nobody gives, and a tool's own words (gpasswd announces a
// removal before it makes it) never reach the caller or wait on a reader; no signal blocked,
// every one at its default but SIGPIPE.
// The helper waits for the tools with SIGCHLD at its default, which the front door sees to. A
// tool that still does not end in TOOL_DEADLINE_MS (a hung name service, say) is killed, with
// anything it started, and counts as failed.

namespace {

constexpr char kToolPath[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
constexpr char kShell[] = "/bin/sh";

template <std::size_t N>
bool has_prefix(const char* text, const char (&prefix)[N]) {
  for (std::size_t i = 0; i < N - 1; ++i) {
    if (text[i] != prefix[i]) return false;  // stops at the end of |text| too
  }
  return true;
}

bool holds(const char* text, char c) {
  for (; *text != '\0'; ++text) {
    if (*text == c) return true;
  }
  return false;
}

bool is_locale_entry(const char* entry) {
  if (!holds(entry, '=') || holds(entry, '/')) return false;
  return has_prefix(entry, "LANG=") || has_prefix(entry, "LANGUAGE=") || has_prefix(entry, "LC_");
}


}  // namespace

void build_tool_env(char* const* caller_env, ToolEnv* env) {
  std::size_t n = 0;
  env->vars[n++] = kToolPath;
  for (char* const* entry = caller_env; entry != nullptr && *entry != nullptr; ++entry) {
    if (n == TOOL_ENV_MAX + 1) break;
    if (is_locale_entry(*entry)) env->vars[n++] = *entry;
  }
  env->vars[n] = nullptr;
}

bool run_tool_command(const char* command) {
  ToolEnv env;
  build_tool_env(environ, &env);
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (clean_child_start(-1) == 0) {
      char sh_name[] = "sh";
      char dash_c[] = "-c";
      char* argv[] = {sh_name, dash_c, const_cast<char*>(command), nullptr};
      execve(kShell, argv, const_cast<char**>(env.vars));
    }
    _exit(127);
  }
  int status = 0;
  if (wait_for_child(pid, TOOL_DEADLINE_MS, &status) != 0) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
