#include "group/tool_runner.h"

#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/child_wait.h"

extern char** environ;  // NOLINT: the process environment has no other name.

// The tools run as root with an environment built from scratch, as doas does: whatever the
// caller set (PATH, IFS, ENV, BASH_ENV, LD_*) could otherwise choose which program runs or
// what the shell does first. Only the locale survives, so the tools still speak the caller's
// language, and never a value with a '/', which could point at a file of the caller's.
// Signal dispositions and the signal mask survive exec, so the helper's are not passed on
// either: the tools start with no signal blocked and every signal at its default but SIGPIPE.
// That one stays ignored, as the process front door set it: a tool that prints to a standard
// output whose reader has gone then gets an error instead of dying. gpasswd announces a
// removal before it makes it, and was killed there, leaving the user in the group. The helper
// waits for the tools with SIGCHLD at its default, which the front door sees to.
// Each tool starts a session of its own, with /dev/null as standard input. The caller's
// terminal then has no way to it: Ctrl-C, Ctrl-Z and a hang-up go to the terminal's foreground
// process group, which was the tool's too, and killed gpasswd half-way or stopped it while the
// helper waited for ever; a tool that asked a question would wait for an answer nobody gives.
// A tool that still does not end in TOOL_DEADLINE_MS (a hung name service, say) is killed,
// with anything it started, and counts as failed.

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


/// Spawn attributes that give the child a session of its own, an empty mask and default signal
/// dispositions, but for SIGPIPE.
class ToolAttr {
 public:
  ToolAttr() {
    posix_spawnattr_init(&attr_);
    sigset_t defaults;
    sigfillset(&defaults);
    sigdelset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr_, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr_, &none);
    posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF |
                                         POSIX_SPAWN_SETSIGMASK);
  }
  ToolAttr(const ToolAttr&) = delete;
  ToolAttr& operator=(const ToolAttr&) = delete;
  ~ToolAttr() { posix_spawnattr_destroy(&attr_); }

  const posix_spawnattr_t* get() const { return &attr_; }

 private:
  posix_spawnattr_t attr_{};
};

/// Spawn file actions that put /dev/null on the child's standard input.
class ToolFiles {
 public:
  ToolFiles() {
    posix_spawn_file_actions_init(&actions_);
    posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
  }
  ToolFiles(const ToolFiles&) = delete;
  ToolFiles& operator=(const ToolFiles&) = delete;
  ~ToolFiles() { posix_spawn_file_actions_destroy(&actions_); }

  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
};

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
  char sh_name[] = "sh";
  char dash_c[] = "-c";
  char* argv[] = {sh_name, dash_c, const_cast<char*>(command), nullptr};
  ToolAttr attr;
  ToolFiles files;
  pid_t pid = 0;
  if (posix_spawn(&pid, kShell, files.get(), attr.get(), argv, const_cast<char**>(env.vars)) !=
      0) {
    return false;
  }
  int status = 0;
  if (wait_for_child(pid, TOOL_DEADLINE_MS, &status) != 0) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
