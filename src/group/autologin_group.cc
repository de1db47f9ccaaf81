#include "group/autologin_group.h"

#include <cstdio>
#include <cstring>

#include <grp.h>

#include "common/constants.h"
#include "common/message_queue.h"
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

GroupChange ensure_autologin_member(const char* user) {
  GroupChange change{false, false};
  char command[COMMAND_BUFFER_SIZE];
  const group* entry = getgrnam(AUTOLOGIN_GROUP);
  if (entry == nullptr) {
    if (format_create_command(command, sizeof command) != 0 || !run_tool_command(command)) {
      msg_err("Warning: could not create group '%s'\n", AUTOLOGIN_GROUP);
      return change;
    }
    change.created_group = true;
    entry = getgrnam(AUTOLOGIN_GROUP);
    if (entry == nullptr) return change;
  }
  if (is_listed_member(*entry, user)) return change;
  if (format_add_command(user, command, sizeof command) != 0 || !run_tool_command(command)) {
    msg_err("Warning: could not add user '%s' to group '%s'\n", user,
                 AUTOLOGIN_GROUP);
    return change;
  }
  change.added_user = true;
  return change;
}

void undo_autologin_change(const GroupChange& change, const char* user) {
  char command[COMMAND_BUFFER_SIZE];
  int formatted = 1;
  if (change.created_group) {
    formatted = format_delete_group_command(command, sizeof command);
  } else if (change.added_user) {
    formatted = format_undo_add_command(user, command, sizeof command);
  } else {
    return;
  }
  if (formatted != 0 || !run_tool_command(command)) {
    msg_err("Warning: could not undo this run's change to group '%s'\n",
                 AUTOLOGIN_GROUP);
  }
}

void remove_autologin_member(const char* user) {
  char command[COMMAND_BUFFER_SIZE];
  if (getgrnam(AUTOLOGIN_GROUP) == nullptr) return;
  if (format_remove_command(user, command, sizeof command) != 0) return;
  // The tool fails too when the user was not listed, so only a user still listed afterwards
  // means the step failed.
  (void)run_tool_command(command);
  const group* entry = getgrnam(AUTOLOGIN_GROUP);
  if (entry != nullptr && is_listed_member(*entry, user)) {
    msg_err("Warning: could not remove user '%s' from group '%s'\n", user,
                 AUTOLOGIN_GROUP);
  }
}
