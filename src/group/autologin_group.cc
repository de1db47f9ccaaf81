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
//  2. The undo reads the files again just before each tool it runs, and runs none where a line
//     is no longer exactly what this run left: someone else changed the group meanwhile (an
//     administrator's usermod -aG), and that change is theirs to keep. The tools take the
//     shadow lock (lckpwdf) themselves, so the helper cannot hold it across the read and the
//     tool: a change that lands in that window, between the read and the tool's own lock, is
//     still undone with this run's (docs/safety.md).
//  3. A group this run created is deleted; where groupdel refuses (it is some account's
//     primary group), the membership is taken back at least, and the warning names the lines
//     left.
//  4. A membership this run added is taken back; members listed before stay.
//  5. A tool that did not end even when it was killed may still write both files: no undo is
//     claimed then, and the warning names the files that may still change.
// The shadow files are never written here: only the tools write them, with their own locks.

namespace {

// One run reads the group a few times; each copy is kept off a caller's small stack.
GroupFiles g_now;
// The group as this run's last tool left it: what an undo may take back.
GroupFiles g_left;
// A tool of this run did not end when it was killed.
bool g_tool_left_running;

/// Runs the command that |format| writes, and warns when the tool does not end even when
/// killed. The result is read from the files, not from this.
template <typename Format>
void run_formatted(const char* tool, Format format) {
  char command[COMMAND_BUFFER_SIZE];
  if (format(command, sizeof command) != 0) return;
  if (run_tool_command(command) != ToolEnd::kLeftRunning) return;
  g_tool_left_running = true;
  say("tool-outlived-kill", tool, GROUP_FILE_PATH, GSHADOW_FILE_PATH);
}

void show_lines(const GroupFiles& files, char (*group)[SHOWN_GROUP_LINE_SIZE],
                char (*gshadow)[SHOWN_GROUP_LINE_SIZE]) {
  show_group_line(files.group, *group, sizeof *group);
  show_group_line(files.gshadow, *gshadow, sizeof *gshadow);
}

void warn_left(const GroupFiles& before, const GroupFiles& now) {
  static char group_now[SHOWN_GROUP_LINE_SIZE];
  static char group_before[SHOWN_GROUP_LINE_SIZE];
  static char gshadow_now[SHOWN_GROUP_LINE_SIZE];
  static char gshadow_before[SHOWN_GROUP_LINE_SIZE];
  show_lines(now, &group_now, &gshadow_now);
  show_lines(before, &group_before, &gshadow_before);
  say("group-change-left", AUTOLOGIN_GROUP, GROUP_FILE_PATH, group_now, group_before,
      GSHADOW_FILE_PATH, gshadow_now, gshadow_before);
}

/// Says that the group changed since this run left it, so the undo leaves it alone.
void warn_changed_meanwhile(const GroupFiles& now) {
  static char group_now[SHOWN_GROUP_LINE_SIZE];
  static char gshadow_now[SHOWN_GROUP_LINE_SIZE];
  show_lines(now, &group_now, &gshadow_now);
  say("group-changed-before-undo", AUTOLOGIN_GROUP, GROUP_FILE_PATH, group_now, GSHADOW_FILE_PATH,
      gshadow_now);
}

/// Reads the files into g_now and keeps them as what this run left. Returns 0, or 1 after
/// writing why not into |why|.
int note_left(char* why, std::size_t size) {
  if (read_group_files(&g_now, why, size) != 0) return 1;
  return copy_group_files(g_now, &g_left) == 0 ? 0 : 1;
}

/// Reads the files into g_now just before an undo acts. Returns 0 when they are exactly as this
/// run left them, or 1 after saying why the undo stops.
int still_as_left() {
  char why[256];
  if (read_group_files(&g_now, why, sizeof why) != 0) {
    say("group-change-not-undone", AUTOLOGIN_GROUP, why);
    return 1;
  }
  if (same_group_lines(g_now, g_left)) return 0;
  warn_changed_meanwhile(g_now);
  return 1;
}

}  // namespace

int read_group_before_enable(const char* user, GroupFiles* before) {
  char why[256];
  WordId reason = 0;
  if (read_group_files(before, why, sizeof why, &reason) != 0) {
    say_because(reason, "group-unreadable", user, why);
    return 1;
  }
  if (copy_group_files(*before, &g_left) != 0) {
    say("group-unreadable", user, std::strerror(ENOMEM));
    return 1;
  }
  if (group_files_agree(*before)) return 0;
  static char group_line[SHOWN_GROUP_LINE_SIZE];
  static char gshadow_line[SHOWN_GROUP_LINE_SIZE];
  show_lines(*before, &group_line, &gshadow_line);
  say("group-files-disagree", user, GROUP_FILE_PATH, GSHADOW_FILE_PATH, AUTOLOGIN_GROUP,
      GROUP_FILE_PATH, group_line, GSHADOW_FILE_PATH, gshadow_line);
  return 1;
}

void ensure_autologin_member(const char* user, const GroupFiles& before) {
  char why[256];
  const GroupFiles* now = &before;
  if (!before.group.present) {
    run_formatted("groupadd", format_create_command);
    if (note_left(why, sizeof why) != 0 || !g_now.group.present) {
      say("group-not-created", AUTOLOGIN_GROUP);
      return;
    }
    now = &g_now;
  }
  if (line_lists(now->group, user)) return;
  run_formatted("usermod", [user](char* buf, std::size_t size) {
    return format_add_command(user, buf, size);
  });
  if (note_left(why, sizeof why) != 0 || !line_lists(g_now.group, user)) {
    say("group-member-not-added", user, AUTOLOGIN_GROUP);
  }
}

void undo_autologin_change(const GroupFiles& before, const char* user) {
  if (g_tool_left_running) {
    say("group-undo-after-tool-outlived-kill", AUTOLOGIN_GROUP, GROUP_FILE_PATH,
        GSHADOW_FILE_PATH);
    return;
  }
  char why[256];
  if (still_as_left() != 0 || same_group_lines(g_now, before)) return;
  if (!before.group.present && !before.gshadow.present) {
    run_formatted("groupdel", format_delete_group_command);
    if (note_left(why, sizeof why) != 0) {
      say("group-change-not-undone", AUTOLOGIN_GROUP, why);
      return;
    }
  }
  if (files_list(g_now, user) && !files_list(before, user)) {
    if (still_as_left() != 0) return;
    run_formatted("gpasswd", [user](char* buf, std::size_t size) {
      return format_undo_add_command(user, buf, size);
    });
    if (note_left(why, sizeof why) != 0) {
      say("group-change-not-undone", AUTOLOGIN_GROUP, why);
      return;
    }
  }
  if (!same_group_lines(g_now, before)) warn_left(before, g_now);
}

void remove_autologin_member(const char* user) {
  char why[256];
  if (read_group_files(&g_now, why, sizeof why) != 0) {
    say("group-member-not-removed", user, AUTOLOGIN_GROUP, why);
    return;
  }
  // gpasswd takes the user out of whichever file lists it, so files that disagreed about this
  // user end up agreeing; where neither lists it, there is nothing to run.
  if (!files_list(g_now, user)) return;
  run_formatted("gpasswd", [user](char* buf, std::size_t size) {
    return format_remove_command(user, buf, size);
  });
  if (read_group_files(&g_now, why, sizeof why) != 0 || files_list(g_now, user)) {
    say("group-member-still-listed", user, AUTOLOGIN_GROUP);
  }
}
