#include "group/tool_runner.h"

#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

#include "common/child_wait.h"
#include "common/clean_child.h"
#include "common/i18n.h"

extern char** environ;  // NOLINT: the process environment has no other name.

// The tools run as root with an environment built from scratch, as doas does: whatever the
// caller set (PATH, IFS, ENV, BASH_ENV, LD_*) could otherwise choose which program runs or
// what the shell does first. Only the locale survives, so the tools still speak the caller's
// language, and only values that pass the helper's own locale rule: names, never paths.
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

/// Returns true if every ':'-separated element of |value| passes the locale rule.
bool language_is_safe(const char* value) {
  char kept[256];
  return filter_language_value(value, kept, sizeof kept) && std::strcmp(kept, value) == 0;
}

/// The helper's own locale rule (common/i18n.h), so that the tools read what it reads.
bool is_locale_entry(const char* entry) {
  const char* equals = entry;
  while (*equals != '\0' && *equals != '=') ++equals;
  if (*equals != '=') return false;
  if (has_prefix(entry, "LANGUAGE=")) return language_is_safe(equals + 1);
  if (!has_prefix(entry, "LANG=") && !has_prefix(entry, "LC_")) return false;
  return locale_value_is_safe(equals + 1);
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
