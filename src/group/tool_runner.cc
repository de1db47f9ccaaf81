#include "group/tool_runner.h"

#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

#include "common/clean_child.h"
#include "common/constants.h"
#include "common/i18n.h"

extern char** environ;  // NOLINT: the process environment has no other name.

// The tools run as root with an environment built from scratch, as doas does: whatever the
// caller set (PATH, IFS, ENV, BASH_ENV, LD_*) could otherwise choose which program runs or
// what the shell does first. Only the locale survives, so the tools still speak the caller's
// language, and only values that pass the helper's own locale rule: names, never paths.
// Each tool starts clean (run_clean_child): a session of its own with /dev/null as its
// standard input and error, so the caller's terminal has no way to it and a tool that asked a
// question would not wait for an answer nobody gives; no signal blocked, every one at its
// default but SIGPIPE. A tool's own words (gpasswd announces a removal) are read from a pipe
// while it runs and kept, up to TOOL_OUTPUT_MAX bytes: they reach the caller with the other
// messages once the run lock is let go, so a reader who does not read holds up nothing.
// A tool that does not end in CHILD_DEADLINE_MS (a hung name service, say) is killed, with
// anything it started, and counts as failed; one that does not end even then is left behind,
// and the caller is told that it may still change the files.

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

/// What one tool runs, and with which environment.
struct ToolJob {
  const char* command;
  ToolEnv env;
};

/// The child: runs the command through the shell, its standard output the answer pipe.
void run_tool(int /*out*/, void* arg) {
  ToolJob& job = *static_cast<ToolJob*>(arg);
  char sh_name[] = "sh";
  char dash_c[] = "-c";
  char* argv[] = {sh_name, dash_c, const_cast<char*>(job.command), nullptr};
  execve(kShell, argv, const_cast<char**>(job.env.vars));
  _exit(127);
}

/// Everything the tools of this run printed, with room for the terminator.
char g_output[TOOL_OUTPUT_MAX + 1];
std::size_t g_output_len;

/// Adds |len| bytes of a tool's output to what the run keeps.
void keep_output(const char* text, std::size_t len) {
  for (std::size_t i = 0; i < len && g_output_len < TOOL_OUTPUT_MAX; ++i) {
    if (text[i] != '\0') g_output[g_output_len++] = text[i];
  }
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

ToolEnd run_tool_command(const char* command) {
  ToolJob job{command, {}};
  build_tool_env(environ, &job.env);
  static char output[TOOL_OUTPUT_MAX];
  ChildRun run{};
  const std::size_t room = TOOL_OUTPUT_MAX - g_output_len;
  run_clean_child(run_tool, &job, ChildStreams::kAnswerOnOutput, CHILD_DEADLINE_MS, output, room,
                  &run);
  keep_output(output, run.len);
  if (run.outcome == ChildOutcome::kLeftRunning) return ToolEnd::kLeftRunning;
  const bool ok = run.outcome == ChildOutcome::kEnded && WIFEXITED(run.status) &&
                  WEXITSTATUS(run.status) == 0;
  return ok ? ToolEnd::kSucceeded : ToolEnd::kFailed;
}

const char* captured_tool_output() {
  g_output[g_output_len] = '\0';
  return g_output;
}
