#include "gates/session_gate.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "common/i18n.h"
#include "common/message_queue.h"
#include "common/quote.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"
#include "common/format_text.h"
#include "common/words.h"
#include "lightdm/seat_autologin.h"
#include "lightdm/setting_origin.h"

// LightDM reads AccountsService's answer, or .dmrc and its own copy of it, for the user's
// session. The helper reads AccountsService's record itself rather than asking the daemon on
// the bus (it links nothing but libc), and reads ~/.dmrc only through the probe, which runs as
// the user. The other two files are in root's directories and are read here, by the same
// bounded, non-blocking rules as every other file.

namespace {


char g_record[DMRC_MAX];
char g_cache[DMRC_MAX];
char g_record_path[PATH_MAX];
char g_cache_path[PATH_MAX];
char g_dmrc_path[PATH_MAX];
char g_cache_problem[SESSION_WHY_MAX + 1];

/// Reads the file at |path| into |buf| (|cap| bytes) as LightDM or accounts-daemon, as root,
/// would load it. Fills |text|.
void read_root_file(const char* path, char* buf, std::size_t cap, ReadText* text) {
  text->path = path;
  text->error = 0;
  text->problem = nullptr;
  text->text = Span{buf, 0};
  UniqueFd fd(open_to_read(path));
  if (fd.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR || error == ELOOP || error == ENXIO ||
        error == ENODEV) {
      text->state = ReadText::kAbsent;
    } else if (error == EACCES && geteuid() != 0) {
      text->state = ReadText::kNotChecked;
    } else {
      text->state = ReadText::kUnreadable;
      text->error = error;
    }
    return;
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) {
    text->state = ReadText::kUnreadable;
    text->error = errno;
    return;
  }
  if (S_ISFIFO(st.st_mode)) {
    text->state = ReadText::kUnreadable;
    text->problem = _("it is a FIFO, which would be waited on for ever");
    return;
  }
  if (!S_ISREG(st.st_mode)) {  // GLib: "Not a regular file", before anything is read
    text->state = ReadText::kAbsent;
    return;
  }
  std::size_t len = 0;
  if (read_whole(fd.get(), buf, cap, &len) != 0) {
    text->state = errno == EFBIG ? ReadText::kTooLarge : ReadText::kUnreadable;
    text->error = errno;
    return;
  }
  text->state = ReadText::kRead;
  text->text.len = len;
}

/// Fills |text| from what the probe read of ~/.dmrc.
void dmrc_from_probe(const UserProbe* probe, ReadText* text) {
  text->path = g_dmrc_path;
  text->error = 0;
  text->problem = nullptr;
  text->text = Span{nullptr, 0};
  if (probe == nullptr) {
    text->state = ReadText::kNotChecked;
    return;
  }
  if (!probe->done) {
    text->state = ReadText::kUnreadable;
    text->problem = probe->why;
    return;
  }
  switch (probe->dmrc_state) {
    case DmrcState::kRead:
      text->state = ReadText::kRead;
      text->text = Span{probe->dmrc, probe->dmrc_len};
      return;
    case DmrcState::kAbsent:
      text->state = ReadText::kAbsent;
      return;
    case DmrcState::kTooLarge:
      text->state = ReadText::kTooLarge;
      return;
    case DmrcState::kCannotTell:
      text->state = ReadText::kUnreadable;
      text->error = probe->dmrc_error;
      return;
    case DmrcState::kFifo:
      text->state = ReadText::kUnreadable;
      // LightDM opens ~/.dmrc without O_NONBLOCK.
      text->problem = _("it is a FIFO, which LightDM would wait on for ever");
      return;
  }
}

/// Returns where |choice| comes from, its name quoted into |name| (|size| bytes). A user's file
/// is named with its one group only where |group|; kBuiltIn has no origin.
SettingOrigin choice_origin(const SessionChoice& choice, bool group, char* name,
                            std::size_t size) {
  quote_value(choice.name, name, size);
  if (choice.setting != nullptr) {
    const SeatSetting& setting = *choice.setting;
    return SettingOrigin{SEAT_KEY_NAMES[choice.origin == SessionOrigin::kAutologinSession
                                            ? SEAT_KEY_SESSION
                                            : SEAT_KEY_USER_SESSION],
                         name, setting.path, setting.section, setting.from_sysconfig,
                         setting.line};
  }
  const bool accounts = choice.origin == SessionOrigin::kAccountsService;
  const char* section = accounts ? "User" : "Desktop";
  return SettingOrigin{accounts ? "XSession" : "Session", name, choice.path,
                       group ? section : nullptr, false, choice.line};
}

/// Writes where |choice| comes from: "autologin-session in FILE [SECTION] line N".
void origin_phrase(const SessionChoice& choice, char* buf, std::size_t size) {
  if (choice.origin == SessionOrigin::kBuiltIn) {
    // TRANSLATORS: where the session's name comes from when no file names one; it stands in
    // parentheses after the name.
    format_text(buf, size, "%s", _("LightDM's default user-session"));
    return;
  }
  char name[quoted_size(KEYFILE_VALUE_MAX)];
  describe_origin(choice_origin(choice, false, name, sizeof name), OriginWords::kIn, buf, size);
}

}  // namespace

void read_session_sources(const SeatModel& model, const char* user, const UserProbe* probe,
                          SessionSources* sources) {
  struct stat st {};
  sources->accounts_service = stat(ACCOUNTS_SERVICE_FILE, &st) == 0;
  format_text(g_dmrc_path, sizeof g_dmrc_path, "~%s/.dmrc", user);
  if (sources->accounts_service) {
    if (!format_text(g_record_path, sizeof g_record_path, "%s/%s", ACCOUNTS_USERS_DIR, user)) {
      g_record_path[0] = '\0';
    }
    read_root_file(g_record_path, g_record, sizeof g_record, &sources->accounts_record);
  }
  dmrc_from_probe(probe, &sources->dmrc);
  ReadText& cache = sources->dmrc_cache;
  if (dmrc_cache_path(model, user, g_cache_path, sizeof g_cache_path, g_cache_problem) != 0) {
    cache = ReadText{ReadText::kUnreadable, 0, g_cache_problem, Span{nullptr, 0},
                     // TRANSLATORS: stands where a file's path would, before ": " and a reason.
                     _("LightDM's copy of .dmrc")};
    return;
  }
  read_root_file(g_cache_path, g_cache, sizeof g_cache, &cache);
}

void view_session(const SeatModel& model, std::size_t seat, const SessionSources& sources,
                  SessionView* view) {
  view->problem[0] = '\0';
  view->dirs = nullptr;
  view->file.state = SessionFile::kNotFound;
  choose_session(model, seat, sources, &view->choice);
  const SessionChoice& choice = view->choice;
  if (choice.state != SessionChoice::kChosen) {
    view->state = choice.state == SessionChoice::kNotChecked ? SessionView::kNotChecked
                                                             : SessionView::kCannotTell;
    format_text(view->problem, sizeof view->problem, "%s", choice.why);
    return;
  }
  char why[SESSION_WHY_MAX + 1];
  if (sessions_dirs(model, &view->dirs, why) != 0) {
    view->state = SessionView::kCannotTell;
    format_text(view->problem, sizeof view->problem, "%s", why);
    return;
  }
  if (!is_session_file_name(choice.name)) {
    view->state = SessionView::kCannotTell;
    format_text(view->problem, sizeof view->problem, "%s",
                _("the session's name holds a \"/\" or is too long to judge"));
    return;
  }
  find_session_file(view->dirs, choice.name, &view->file);
  switch (view->file.state) {
    case SessionFile::kNotFound:
      view->state = SessionView::kNotFound;
      return;
    case SessionFile::kCannotTell: {
      char path[quoted_size(PATH_MAX)];
      quote_name(view->file.path, path, sizeof path);
      view->state = SessionView::kCannotTell;
      format_text(view->problem, sizeof view->problem, "%s: %s", path, view->file.why);
      return;
    }
    case SessionFile::kFound:
      break;
  }
  if (view->file.x_session) {
    view->state = SessionView::kFound;
    return;
  }
  char path[quoted_size(PATH_MAX)];
  quote_name(view->file.path, path, sizeof path);
  view->state = SessionView::kCannotTell;
  format_text(view->problem, sizeof view->problem,
              _("%s is not an X session, and other kinds are not judged"), path);
}

WordId describe_session_problem(const SessionView& view, char* buf, std::size_t size) {
  if (view.state == SessionView::kCannotTell && view.choice.state != SessionChoice::kChosen) {
    return format_reason(buf, size, "session-unknown", view.problem);
  }
  if (view.state == SessionView::kNotChecked) {
    return format_reason(buf, size, "session-not-checked", view.problem);
  }
  char name[quoted_size(KEYFILE_VALUE_MAX)];
  quote_value(view.choice.name, name, sizeof name);
  char origin[SETTING_ORIGIN_SIZE];
  origin_phrase(view.choice, origin, sizeof origin);
  if (view.state == SessionView::kNotFound) {
    char dirs[quoted_size(KEYFILE_VALUE_MAX)];
    quote_name(view.dirs, dirs, sizeof dirs);
    return format_reason(buf, size, "session-not-installed", name, origin, name, dirs);
  }
  return format_reason(buf, size, "session-unjudged", name, origin, view.problem);
}

void describe_session_line(const SessionView& view, char* buf, std::size_t size) {
  const SessionChoice& choice = view.choice;
  if (choice.state != SessionChoice::kChosen) {
    // The session= lines are parsed and stay as they are; this one is a sentence.
    format_text(buf, size, _("session cannot be told: %s"), choice.why);
    return;
  }
  char name[quoted_size(KEYFILE_VALUE_MAX)];
  if (choice.origin == SessionOrigin::kBuiltIn) {
    quote_value(choice.name, name, sizeof name);
    format_text(buf, size, "session=%s from LightDM's default", name);
    return;
  }
  SettingOrigin origin = choice_origin(choice, true, name, sizeof name);
  origin.key = "session";
  describe_origin(origin, OriginWords::kFrom, buf, size);
}

int check_sessions(const SeatModel& model, const char* user, const UserProbe& probe,
                   const char* prefix) {
  static SessionSources sources;
  read_session_sources(model, user, &probe, &sources);
  static SessionView view;
  for (std::size_t seat = 0; seat < model.seats.count; ++seat) {
    view_session(model, seat, sources, &view);
    if (view.state == SessionView::kFound) continue;
    static char why[4 * (SESSION_WHY_MAX + 1)];
    say_because(describe_session_problem(view, why, sizeof why), "session-refused", prefix, why);
    return 1;
  }
  return 0;
}
