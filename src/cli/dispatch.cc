#include "cli/dispatch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "cli/audit_log.h"
#include "cli/call_options.h"
#include "cli/cgroup_escape.h"
#include "cli/help.h"
#include "cli/process_setup.h"
#include "cli/run_result.h"
#include "cli/status.h"
#include "cli/username.h"
#include "common/autologin_request.h"
#include "common/constants.h"
#include "common/i18n.h"
#include "common/message_queue.h"
#include "common/quote.h"
#include "common/run_lock.h"
#include "common/words.h"
#include "gates/account_lookup.h"
#include "gates/display_manager.h"
#include "gates/home_verdict.h"
#include "gates/lightdm_build.h"
#include "gates/pam_gate.h"
#include "gates/seats.h"
#include "gates/session_gate.h"
#include "gates/user_probe.h"
#include "group/autologin_group.h"
#include "group/tool_runner.h"
#include "lightdm/config_sources.h"
#include "seatconf/conf_file.h"
#include "seatconf/promise_check.h"

// The order of a run, so that an exit 1 leaves the system as it was and an exit 0 is true:
//  0. The helper leaves the caller's cgroup, whose freezer and limits the caller may hold, so
//     that nothing the caller does there reaches a run that holds the lock.
//  1. Refusals that need nothing but the arguments and the account.
//  2. The run lock, held until exit, so two runs never interleave.
//  3. The seats logind lists, every configuration source, the new text made in memory and
//     LightDM's reading of it checked on every seat. enable: the user's home looked at, and
//     ~/.dmrc read, as the user (one child, one look a run); the session LightDM would start
//     found on every seat, and the home it would start it in.
//  4. The new file written in full beside the old one and flushed (a full disk or a read-only
//     directory refuses here).
//  5. enable: the group step (some PAM stacks demand the group), then LightDM's PAM service is
//     asked about the account; a refusal undoes this run's group change and drops the new file.
//     The group is read from /etc/group and /etc/gshadow under the lock, before anything is
//     staged, and again after the step: the difference is what an undo takes back.
//  6. The new file put in place. Should that fail, enable undoes its group change too.
//  7. disable: only now is the user taken out of the group, so that a refused disable never
//     leaves the group changed. The group step only warns.
// Every message, the success line included, is queued and written out by main once the lock is
// let go: no caller's stream can hold up a run that holds the lock, or keep it from undoing.
//
// A dry run goes the same road under the same lock and stops short of every change: no file is
// staged or replaced, no account tool runs, no audit line is sent. Where the real run would ask
// PAM after its group step, the dry run asks PAM in a child that sees the group files as that
// step would leave them. What it cannot foresee is a failure of a write or of a tool.

namespace {

// One update a run; its two paths of PATH_MAX are kept off a caller's small stack.
ConfUpdate g_update;
// The autologin group as enable found it, which an undo puts back.
GroupFiles g_group_before;
// One look at the user's home and ~/.dmrc a run, shared by every check that needs it.
UserProbe g_probe;

void print_enable_usage(const char* program) {
  say("usage", program);
}

void print_usage(const char* program) {
  print_enable_usage(program);
  say_because(word_id("usage"), "usage-disable", program);
}

/// The most bytes of a refused word that a message shows.
constexpr std::size_t kShownWordMax = 200;

/// Writes the caller's |word| into |buf| for a message, quoted as a path is: a line feed or a
/// terminal control in it cannot forge a line. A longer word is cut and ends in "...".
void show_word(const char* word, char* buf, std::size_t size) {
  char head[kShownWordMax + 1];
  std::size_t len = 0;
  while (len < kShownWordMax && word[len] != '\0') ++len;
  std::memcpy(head, word, len);
  head[len] = '\0';
  quote_name(head, buf, size);
  const std::size_t used = std::strlen(buf);
  if (word[len] != '\0' && used + 4 <= size) std::memcpy(buf + used, "...", 4);
}

/// Room for a word shown by show_word.
constexpr std::size_t kShownWordSize = quoted_size(kShownWordMax);

/// Returns 0 if |user| may be used, or 1 after saying why not.
int check_username(const char* user) {
  if (is_valid_username(user)) return 0;
  char shown[kShownWordSize];
  show_word(user, shown, sizeof shown);
  say("invalid-username", shown);
  return 1;
}

/// Returns 0 if |user| names an account that may log in without a password, or 1 after saying
/// why not. LightDM's autologin PAM stack refuses root by name; any other account of uid 0
/// would get a root desktop without a password. The lookup comes before the run lock, and has
/// its deadline: a name service that never answers holds up no other run.
int check_account(const char* user) {
  static AccountInfo account;
  look_up_account(user, &account);
  switch (account.outcome) {
    case AccountLookup::kFound:
      break;
    case AccountLookup::kNotFound:
      say("user-does-not-exist", user);
      return 1;
    case AccountLookup::kFailed:
      say("user-lookup-failed", user, std::strerror(account.error));
      return 1;
    case AccountLookup::kTimedOut: {
      const int seconds = CHILD_DEADLINE_MS / 1000;
      say_n(static_cast<unsigned long>(seconds), "user-lookup-timed-out", user, seconds);
      return 1;
    }
    case AccountLookup::kNoAnswer:
      say("user-lookup-no-answer", user);
      return 1;
  }
  if (account.uid == 0) {
    say("user-is-root", user);
    return 1;
  }
  return 0;
}

/// Reads and checks everything for |request| and makes the new text in memory. Returns 0, or 1
/// after saying, after |prefix|, why not; nothing has changed then.
int prepare(const AutologinRequest& request, const char* prefix) {
  static SeatList seats;
  seat_list_reset(&seats);
  if (add_logind_seats(LOGIND_SEATS_DIR, &seats, prefix) != 0) return 1;
  return prepare_config_update(installed_config_paths(), seats, request, prefix, &g_update);
}

/// Returns 0 if LightDM can start |user|'s session in the home |probe| looked at, an X session
/// when |x_session|, or 1 after saying why not.
int check_home(const char* user, const UserProbe& probe, const SeatModel& model,
               const PamServiceList& services, bool x_session) {
  static char reason[PATH_MAX * 4 + 256];
  WordId code = 0;
  if (home_serves_session(user, probe, home_rules(probe, model, services, x_session), reason,
                          sizeof reason, &code)) {
    return 0;
  }
  say_because(code, "home-refused", user, reason);
  return 1;
}

/// Returns 0 if every PAM service of |services| lets |user| in without a password, or 1 after
/// saying which one does not, and why. With |as_member|, PAM sees the user in the autologin
/// group, as the group step would leave it.
int check_pam(const PamServiceList& services, const char* user, bool as_member) {
  for (std::size_t i = 0; i < services.count; ++i) {
    const char* service = services.names[i];
    const PamVerdict verdict = as_member ? ask_pam_as_member(service, user, services.displays[i])
                                         : ask_pam(service, user, services.displays[i]);
    if (verdict.allowed) continue;
    if (verdict.asked) {
      say("pam-refuses", user, service, user, verdict.reason);
    } else {
      say("pam-not-asked", user, service, verdict.reason);
    }
    return 1;
  }
  return 0;
}

/// Queues for standard output what the account tools printed there and was not passed on yet:
/// it comes ahead of the success line, as it did when the tools wrote to the caller's stream.
void pass_on_tool_output() {
  static std::size_t passed;
  const char* output = captured_tool_output();
  const std::size_t len = std::strlen(output);
  if (len > passed) msg_out("%s", output + passed);
  passed = len;
}

/// Says, on standard error, when LightDM is not what this system starts at boot.
void warn_other_display_manager() {
  char warning[DISPLAY_MANAGER_WARNING_SIZE];
  WordId reason = 0;
  if (other_display_manager(system_display_manager_paths(), warning, sizeof warning, &reason)) {
    say_because(reason, "other-display-manager", warning);
  }
}

/// Notes in |result| the main file as the run read it, and its text after a success.
void note_file(RunResult* result) {
  result->path = lightdm_config_paths().conf;
  result->file_read = g_update.before.data != nullptr;
  result->before = g_update.before;
  result->after = g_update.text;
}

/// Says what a dry run found would change, after its fixed first line. Never translated: a
/// caller parses these lines as it parses the success lines.
void print_would_change(const RunResult& result) {
  const bool file_changes = file_would_change(result);
  if (file_changes) msg_out("Would change %s\n", result.path);
  if (result.group.created) msg_out("Would create group %s\n", AUTOLOGIN_GROUP);
  if (result.group.added) msg_out("Would add %s to group %s\n", result.user, AUTOLOGIN_GROUP);
  if (result.group.removed) {
    msg_out("Would remove %s from group %s\n", result.user, AUTOLOGIN_GROUP);
  }
  if (!file_changes && !result.group.changed) msg_out("Nothing would change\n");
}

int run_enable(const char* program, const char* user, RunResult* result) {
  if (user == nullptr) {
    print_enable_usage(program);
    return 1;
  }
  leave_caller_cgroup();  // where it cannot move, the run goes on where it is
  // The limits first: the children that look the account up run on the stack they leave.
  if (check_username(user) != 0 || check_tool_limits() != 0 || check_account(user) != 0) return 1;
  if (acquire_run_lock() != 0) return 1;
  if (read_group_before_enable(user, &g_group_before) != 0) return 1;
  const AutologinRequest request{true, user};
  // The opening words of every refusal from here on, worked out once.
  const char* prefix = refusal_prefix(request);
  const int prepared = prepare(request, prefix);
  note_file(result);
  if (prepared != 0) return 1;
  probe_user(user, &g_probe);
  // The sessions are worked out first, since only an X session needs an X authority in the
  // home; a home that cannot serve is still refused ahead of a session that cannot start.
  static SessionsVerdict sessions;
  judge_sessions(*g_update.model, user, g_probe, &sessions);
  if (check_home(user, g_probe, *g_update.model, g_update.pam_services, sessions.x_session) != 0 ||
      check_sessions(sessions, prefix) != 0) {
    return 1;
  }
  if (result->dry_run) {
    if (check_pam(g_update.pam_services, user, !files_list(g_group_before, user)) != 0) return 1;
    note_group_would(result, g_group_before, true);
    warn_other_display_manager();
    msg_out("Would enable auto login for user: %s\n", user);
    print_would_change(*result);
    return 0;
  }
  if (stage_config_update(installed_config_paths(), &g_update) != 0) return 1;
  ensure_autologin_member(user, g_group_before);
  if (check_pam(g_update.pam_services, user, false) != 0) {
    undo_autologin_change(g_group_before, user);
    discard_config_update(&g_update);
    if (result->json) note_group_after(result, g_group_before);
    return 1;
  }
  if (commit_config_update(&g_update) != 0) {
    undo_autologin_change(g_group_before, user);
    if (result->json) note_group_after(result, g_group_before);
    return 1;
  }
  if (result->json) note_group_after(result, g_group_before);
  audit_autologin_change(user);
  warn_other_display_manager();
  pass_on_tool_output();
  msg_out("Auto login enabled for user: %s\n", user);
  return 0;
}

int run_disable(const char* user, RunResult* result) {
  leave_caller_cgroup();  // where it cannot move, the run goes on where it is
  if (user != nullptr && check_username(user) != 0) return 1;
  if (user != nullptr && check_tool_limits() != 0) return 1;
  if (acquire_run_lock() != 0) return 1;
  // Only a program's answer needs the group as it was: a plain run reads it no more than before.
  static char unread[256];  // a failure here is the group step's to say
  const bool group_read = (result->json || result->dry_run) && user != nullptr &&
                          read_group_files(&g_group_before, unread, sizeof unread) == 0;
  const AutologinRequest request{false, nullptr};
  const int prepared = prepare(request, refusal_prefix(request));
  note_file(result);
  if (prepared != 0) return 1;
  if (result->dry_run) {
    if (group_read) note_group_would(result, g_group_before, false);
    msg_out("Would disable auto login\n");
    print_would_change(*result);
    return 0;
  }
  if (stage_config_update(installed_config_paths(), &g_update) != 0) return 1;
  if (commit_config_update(&g_update) != 0) return 1;
  if (user != nullptr) remove_autologin_member(user);
  if (group_read) note_group_after(result, g_group_before);
  audit_autologin_change(nullptr);
  pass_on_tool_output();
  msg_out("Auto login disabled\n");
  return 0;
}

/// Runs the command at |args|[0] (|count| words: the command word and what follows it).
int run_command(const char* program, int count, char* const args[], RunResult* result) {
  // Reading LightDM's configuration needs no privilege, and changes nothing.
  if (count >= 1 && std::strcmp(args[0], "status") == 0) {
    if (option_after_command(count, args, 0)) {
      print_usage(program);
      return 1;
    }
    result->status_answered = result->json;
    return run_status(installed_config_paths(), LOGIND_SEATS_DIR, system_display_manager_paths(),
                      result->json);
  }
  const char* user = count > 1 ? args[1] : nullptr;
  static char shown[kShownWordSize];
  if (user != nullptr) show_word(user, shown, sizeof shown);
  result->user = user;
  result->shown_user = user != nullptr ? shown : nullptr;
  if (geteuid() != 0) {
    say("not-root");
    return 1;
  }
  if (count < 1) {
    print_usage(program);
    return 1;
  }
  const char* command = args[0];
  const bool enable = std::strcmp(command, "enable") == 0;
  if (enable || std::strcmp(command, "disable") == 0) {
    // An option after the command word would be ignored by a helper that knows no options, and
    // the run would change what the caller meant only to look at.
    if (option_after_command(count, args, 0)) {
      print_usage(program);
      return 1;
    }
    // A refused run passes on what the tools printed too, as a tool's own stream would have.
    const int status = enable ? run_enable(program, user, result) : run_disable(user, result);
    pass_on_tool_output();
    return status;
  }
  char word[kShownWordSize];
  show_word(command, word, sizeof word);
  say("unknown-command", word);
  return 1;
}

}  // namespace

int run_helper(int argc, char* const argv[]) {
  const char* program = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0]
                                                                              : PROGRAM_NAME;
  if (answer_help_or_version(argc, argv, program)) return 0;
  CallOptions options{};
  const int at = read_call_options(argc, argv, &options);
  RunResult* result = run_result();
  result->json = options.json;
  result->dry_run = options.dry_run;
  if (at < argc && std::strcmp(argv[at], "enable") == 0) result->command = "enable";
  if (at < argc && std::strcmp(argv[at], "disable") == 0) result->command = "disable";
  const int status = run_command(program, at < argc ? argc - at : 0, argv + at, result);
  result->ok = status == 0;
  // status answers with its own object, also when it could not tell. The tools' output stands
  // in the object instead of ahead of it.
  if (options.json && !result->status_answered) {
    const char* output = captured_tool_output();
    result->tool_output = Span{output, std::strlen(output)};
    answer_result_json(*result);
  }
  return status;
}
