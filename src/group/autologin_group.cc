#include "group/autologin_group.h"

#include <cstdio>
#include <cstring>

#include <grp.h>

#include "common/constants.h"
#include "group/group_command.h"
#include "group/tool_runner.h"

namespace {

/// Returns true if |user| is listed among the members of |group|. A user whose primary group
/// this is but who is not listed does not count.
bool is_listed_member(const group& group, const char* user) {
  for (char** member = group.gr_mem; member != nullptr && *member != nullptr; ++member) {
    if (std::strcmp(*member, user) == 0) return true;
  }
  return false;
}

}  // namespace

void ensure_autologin_member(const char* user) {
  char command[COMMAND_BUFFER_SIZE];
  const group* entry = getgrnam(AUTOLOGIN_GROUP);
  if (entry == nullptr) {
    if (format_create_command(command, sizeof command) != 0 || !run_tool_command(command)) {
      std::fprintf(stderr, "Warning: could not create group '%s'\n", AUTOLOGIN_GROUP);
      return;
    }
    entry = getgrnam(AUTOLOGIN_GROUP);
    if (entry == nullptr) return;
  }
  if (is_listed_member(*entry, user)) return;
  if (format_add_command(user, command, sizeof command) != 0 || !run_tool_command(command)) {
    std::fprintf(stderr, "Warning: could not add user '%s' to group '%s'\n", user,
                 AUTOLOGIN_GROUP);
  }
}

void remove_autologin_member(const char* user) {
  char command[COMMAND_BUFFER_SIZE];
  if (getgrnam(AUTOLOGIN_GROUP) == nullptr) return;
  if (format_remove_command(user, command, sizeof command) != 0) return;
  (void)run_tool_command(command);  // Its status does not matter: the user may not be listed.
}
