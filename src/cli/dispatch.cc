#include "cli/dispatch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <pwd.h>
#include <unistd.h>

#include "cli/audit_log.h"
#include "cli/process_setup.h"
#include "cli/status.h"
#include "cli/username.h"
#include "common/autologin_request.h"
#include "common/constants.h"
#include "common/run_lock.h"
#include "group/autologin_group.h"
#include "lightdm/config_sources.h"
#include "seatconf/conf_file.h"

// Every refusal happens before anything on the system changes: the arguments, the account and
// then the whole configuration, rewritten in memory and read as LightDM will read it. Only then
// is the new file written beside the old one and flushed (a full disk or a read-only directory
// refuses here), then the group step runs, then the new file is renamed into place. The group
// step only warns; a group change stays if the rename then fails (the file was saved by
// someone else meanwhile). A run that may change something takes the run lock before it reads
// the configuration and holds it until it exits, so two runs never interleave their reading,
// group steps and replacements.

namespace {

// One update a run; its two paths of PATH_MAX are kept off a caller's small stack.
ConfUpdate g_update;

void print_enable_usage(const char* program) {
  std::fprintf(stderr, "Usage: %s enable <username>\n", program);
}

void print_usage(const char* program) {
  print_enable_usage(program);
  std::fprintf(stderr, "       %s disable [username]\n", program);
}

/// Returns 0 if |user| may be used, or 1 after saying why not.
int check_username(const char* user) {
  if (is_valid_username(user)) return 0;
  std::fprintf(stderr, "Invalid username: %s\n", user);
  return 1;
}

/// Returns 0 if |user| names an account that may log in without a password, or 1 after saying
/// why not. LightDM's autologin PAM stack refuses root by name; any other account of uid 0
/// would get a root desktop without a password.
int check_account(const char* user) {
  // getpwnam_r says "not found" (0 and no entry) apart from a failed lookup (an error number),
  // which must not pass for an absent account. Static, as an account line can be long.
  static char buf[16384];
  passwd entry{};
  passwd* account = nullptr;
  int error = getpwnam_r(user, &entry, buf, sizeof buf, &account);
  if (account == nullptr && error == 0) {
    std::fprintf(stderr, "User does not exist: %s\n", user);
    return 1;
  }
  if (account == nullptr) {
    std::fprintf(stderr, "Cannot look up user %s: %s\n", user, std::strerror(error));
    return 1;
  }
  if (account->pw_uid == 0) {
    std::fprintf(stderr, "Cannot enable automatic login for %s: the account has user id 0\n",
                 user);
    return 1;
  }
  return 0;
}

int run_enable(const char* program, const char* user) {
  if (user == nullptr) {
    print_enable_usage(program);
    return 1;
  }
  if (check_username(user) != 0 || check_account(user) != 0) return 1;
  if (check_tool_limits() != 0 || acquire_run_lock() != 0) return 1;
  const ConfigPaths& paths = lightdm_config_paths();
  if (prepare_config_update(paths, AutologinRequest{true, user}, &g_update) != 0) return 1;
  if (stage_config_update(paths, &g_update) != 0) return 1;
  ensure_autologin_member(user);
  if (commit_config_update(&g_update) != 0) return 1;
  audit_autologin_change(user);
  std::fprintf(stdout, "Auto login enabled for user: %s\n", user);
  return 0;
}

int run_disable(const char* user) {
  if (user != nullptr && check_username(user) != 0) return 1;
  if (user != nullptr && check_tool_limits() != 0) return 1;
  if (acquire_run_lock() != 0) return 1;
  const ConfigPaths& paths = lightdm_config_paths();
  if (prepare_config_update(paths, AutologinRequest{false, nullptr}, &g_update) != 0) return 1;
  if (stage_config_update(paths, &g_update) != 0) return 1;
  if (user != nullptr) remove_autologin_member(user);
  if (commit_config_update(&g_update) != 0) return 1;
  audit_autologin_change(nullptr);
  std::fprintf(stdout, "Auto login disabled\n");
  return 0;
}

}  // namespace

int run_helper(int argc, char* const argv[]) {
  // Reading LightDM's configuration needs no privilege, and changes nothing.
  if (argc >= 2 && std::strcmp(argv[1], "status") == 0) {
    return run_status(lightdm_config_paths());
  }
  if (geteuid() != 0) {
    std::fprintf(stderr, "brindleway-helper must be run as root (use pkexec)\n");
    return 1;
  }
  const char* program = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0]
                                                                              : PROGRAM_NAME;
  if (argc < 2) {
    print_usage(program);
    return 1;
  }
  const char* command = argv[1];
  const char* user = argc > 2 ? argv[2] : nullptr;
  if (std::strcmp(command, "enable") == 0) return run_enable(program, user);
  if (std::strcmp(command, "disable") == 0) return run_disable(user);
  std::fprintf(stderr, "Unknown command: %s\n", command);
  return 1;
}
