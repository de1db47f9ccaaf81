#include "group/autologin_group.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/constants.h"
#include "common/i18n.h"
#include "common/message_queue.h"
#include "common/words.h"
#include "group/group_command.h"
#include "group/tool_runner.h"

// The group step is judged by what the files say afterwards: a tool killed at its deadline
// (a cache flush that hangs after the write) may have changed them, and one that reports
// success may not have. An undo puts back the lines the run found, and nothing else:
//  1. enable refuses before any change when /etc/group and /etc/gshadow disagree about the
//     group. The tools change both files at once, so no tool could put back both lines.
//  2. A group this run created is deleted; where groupdel refuses (it is some account's
//     primary group), the membership is taken back at least, and the warning names the lines
//     left.
//  3. A membership this run added is taken back; members listed before stay.
// The shadow files are never written here: only the tools write them, with their own locks.

namespace {

// One run reads the group a few times; each copy is kept off a caller's small stack.
GroupFiles g_now;

/// Returns 0 after reading the files into |files|, or 1 after writing why not into |why|.
int read_now(GroupFiles* files, char* why, std::size_t size) {
  const char* failed = nullptr;
  if (read_group_files(files, &failed) == 0) return 0;
  std::snprintf(why, size, _("cannot read %s: %s"), failed, std::strerror(errno));
  return 1;
}

/// Runs the command that |format| writes. The result is read from the files, not from this.
template <typename Format>
void run_formatted(Format format) {
  char command[COMMAND_BUFFER_SIZE];
  if (format(command, sizeof command) == 0) (void)run_tool_command(command);
}

void warn_left(const GroupFiles& before, const GroupFiles& now) {
  char group_now[GROUP_LINE_MAX + 8];
  char group_before[GROUP_LINE_MAX + 8];
  char gshadow_now[GROUP_LINE_MAX + 8];
  char gshadow_before[GROUP_LINE_MAX + 8];
  show_group_line(now.group, group_now, sizeof group_now);
  show_group_line(before.group, group_before, sizeof group_before);
  show_group_line(now.gshadow, gshadow_now, sizeof gshadow_now);
  show_group_line(before.gshadow, gshadow_before, sizeof gshadow_before);
  say("group-change-left", AUTOLOGIN_GROUP, GROUP_FILE_PATH, group_now, group_before, GSHADOW_FILE_PATH, gshadow_now, gshadow_before);
}

}  // namespace

int read_group_before_enable(const char* user, GroupFiles* before) {
  char why[256];
  if (read_now(before, why, sizeof why) != 0) {
    say("group-unreadable", user, why);
    return 1;
  }
  if (group_files_agree(*before)) return 0;
  char group_line[GROUP_LINE_MAX + 8];
  char gshadow_line[GROUP_LINE_MAX + 8];
  show_group_line(before->group, group_line, sizeof group_line);
  show_group_line(before->gshadow, gshadow_line, sizeof gshadow_line);
  say("group-files-disagree", user, GROUP_FILE_PATH, GSHADOW_FILE_PATH, AUTOLOGIN_GROUP, GROUP_FILE_PATH, group_line, GSHADOW_FILE_PATH, gshadow_line);
  return 1;
}

void ensure_autologin_member(const char* user, const GroupFiles& before) {
  char why[256];
  const GroupFiles* now = &before;
  if (!before.group.present) {
    run_formatted(format_create_command);
    if (read_now(&g_now, why, sizeof why) != 0 || !g_now.group.present) {
      say("group-not-created", AUTOLOGIN_GROUP);
      return;
    }
    now = &g_now;
  }
  if (line_lists(now->group, user)) return;
  run_formatted(
      [user](char* buf, std::size_t size) { return format_add_command(user, buf, size); });
  if (read_now(&g_now, why, sizeof why) != 0 || !line_lists(g_now.group, user)) {
    say("group-member-not-added", user, AUTOLOGIN_GROUP);
  }
}

void undo_autologin_change(const GroupFiles& before, const char* user) {
  char why[256];
  if (read_now(&g_now, why, sizeof why) != 0) {
    say("group-change-not-undone", AUTOLOGIN_GROUP, why);
    return;
  }
  if (same_group_lines(g_now, before)) return;
  bool unreadable = false;
  if (!before.group.present && !before.gshadow.present) {
    run_formatted(format_delete_group_command);
    unreadable = read_now(&g_now, why, sizeof why) != 0;
  }
  if (!unreadable && files_list(g_now, user) && !files_list(before, user)) {
    run_formatted(
        [user](char* buf, std::size_t size) { return format_undo_add_command(user, buf, size); });
    unreadable = read_now(&g_now, why, sizeof why) != 0;
  }
  if (unreadable) {
    say("group-change-not-undone", AUTOLOGIN_GROUP, why);
  } else if (!same_group_lines(g_now, before)) {
    warn_left(before, g_now);
  }
}

void remove_autologin_member(const char* user) {
  char why[256];
  if (read_now(&g_now, why, sizeof why) != 0) {
    say("group-member-not-removed", user, AUTOLOGIN_GROUP, why);
    return;
  }
  // gpasswd takes the user out of whichever file lists it, so files that disagreed about this
  // user end up agreeing; where neither lists it, there is nothing to run.
  if (!files_list(g_now, user)) return;
  run_formatted(
      [user](char* buf, std::size_t size) { return format_remove_command(user, buf, size); });
  if (read_now(&g_now, why, sizeof why) != 0 || files_list(g_now, user)) {
    say("group-member-still-listed", user, AUTOLOGIN_GROUP);
  }
}
