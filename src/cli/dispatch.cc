#include "cli/dispatch.h"

#include <cstdio>
#include <cstring>

#include <pwd.h>
#include <unistd.h>

#include "cli/username.h"
#include "common/autologin_request.h"
#include "common/constants.h"
#include "common/run_lock.h"
#include "group/autologin_group.h"
#include "seatconf/conf_file.h"

// Every refusal happens before anything on the system changes. The group step only warns; the
// configuration update decides the outcome, and a group change stays if that update fails.
// A run that changes something holds the run lock from before its group step until it exits.

namespace {

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

int run_enable(const char* program, const char* user) {
  if (user == nullptr) {
    print_enable_usage(program);
    return 1;
  }
  if (check_username(user) != 0) return 1;
  if (getpwnam(user) == nullptr) {
    std::fprintf(stderr, "User does not exist: %s\n", user);
    return 1;
  }
  if (acquire_run_lock() != 0) return 1;
  ensure_autologin_member(user);
  if (update_lightdm_config(AutologinRequest{true, user}) != 0) return 1;
  std::printf("Auto login enabled for user: %s\n", user);
  return 0;
}

int run_disable(const char* user) {
  if (user != nullptr && check_username(user) != 0) return 1;
  if (acquire_run_lock() != 0) return 1;
  if (user != nullptr) remove_autologin_member(user);
  if (update_lightdm_config(AutologinRequest{false, nullptr}) != 0) return 1;
  std::printf("Auto login disabled\n");
  return 0;
}

}  // namespace

int run_helper(int argc, char* const argv[]) {
  if (geteuid() != 0) {
    std::fputs("brindleway-helper must be run as root (use pkexec)\n", stderr);
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
