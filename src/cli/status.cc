#include "cli/status.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "cli/process_setup.h"
#include "cli/username.h"
#include "common/format_text.h"
#include "common/i18n.h"
#include "common/message_queue.h"
#include "common/quote.h"
#include "common/words.h"
#include "gates/home_verdict.h"
#include "gates/pam_gate.h"
#include "gates/seats.h"
#include "gates/session_gate.h"
#include "gates/user_probe.h"
#include "lightdm/lightdm_sources.h"
#include "lightdm/outcome_words.h"
#include "lightdm/pam_service.h"
#include "lightdm/seat_autologin.h"
#include "lightdm/setting_origin.h"

// The first line speaks the vocabulary of the success lines, so that a settings program parses
// one set of texts: "Auto login enabled for user: NAME" and "Auto login disabled" stand for
// exactly what enable and disable promise, and every other state gets a plain sentence. Only
// root may ask PAM and look at the account as the user; without root the first line stands for
// what LightDM's files say, and a line names the session's file that could not be read.

namespace {

/// Returns the prefix of status's refusals, in the reader's language once any text has been
/// translated: a status whose lines are all untranslated sets up no catalog for it.
const char* status_prefix() {
  static char words[128];
  i18n_late_text("Cannot tell what LightDM does: ", nullptr, words, sizeof words);
  return words;
}

/// Room for a line that says what LightDM does on a seat: whom, a seat's name and the
/// sentence around them.
constexpr std::size_t kOutcomeLineSize = AUTOLOGIN_WHO_SIZE + SEAT_NAME_MAX + 1024;

/// PAM's answers so far, so that seats asking the same service about the same user ask once.
/// A seat asks at most two services (its own and the one "[LightDM]" names), on its display, so
/// every answer of a run has its own entry.
struct PamMemo {
  struct Entry {
    char service[PAM_SERVICE_NAME_MAX + 1];
    char display[DISPLAY_NAME_MAX];
    const char* user;
    PamVerdict verdict;
  } entries[2 * SEATS_MAX];
  std::size_t count;
};

/// What LightDM does on one seat, PAM's answer and the session included.
struct SeatView {
  SeatAutologin state;
  /// The answer of the service that refuses the user LightDM would log in there; null when
  /// every service lets the user in, or when PAM is not asked.
  const PamMemo::Entry* refused;
  /// The session LightDM would start there, for seat0's user; kFound where it is not looked at.
  SessionView::State session;
  /// Why LightDM would not start it (kNotFound), as enable says it; cut short if it must be.
  char session_why[1024];
};

/// The user seat0 would log in, and what their session is read from.
struct UserSessions {
  const char* user;  // null: seat0 logs nobody in
  const UserProbe* probe;  // null: not looked at (without root)
  SessionSources sources;
  SessionView seat0;
};

/// Returns the user LightDM logs in on a seat in |state| after the greeter or at once, or null.
const char* user_logged_in(const SeatAutologin& state) {
  if (state.who != AutologinWho::kUser || state.when == AutologinWhen::kNever) return nullptr;
  const char* user = state.settings[SEAT_KEY_USER]->value.text;
  return is_valid_username(user) ? user : nullptr;
}

/// Reads what seat0's user's session is read from: as root, ~/.dmrc through the probe, run
/// once. Returns 0, or 1 after saying why the account cannot be looked at.
int read_user_sessions(const SeatModel& model, const SeatAutologin& seat0, UserSessions* out) {
  out->user = user_logged_in(seat0);
  if (out->user == nullptr) return 0;
  static UserProbe probe;
  const bool root = geteuid() == 0;
  out->probe = root ? &probe : nullptr;
  if (root && probe_user(out->user, &probe) != 0) {
    say("account-not-probed", status_prefix(), out->user, probe.why);
    return 1;
  }
  read_session_sources(model, out->user, root ? &probe : nullptr, &out->sources);
  return 0;
}

/// Looks, as root, at the home LightDM would start the session of |view| in on the seat at
/// |seat|, an X session when |x_session|: a home it could not start it in shows the greeter
/// there, with enable's reason. Returns 0, or 1 after saying why it cannot be told.
int view_seat_home(const SeatModel& model, std::size_t seat, const UserSessions& sessions,
                   bool x_session, SeatView* view) {
  if (sessions.probe == nullptr) return 0;
  static PamServiceList services;
  services.count = 0;
  if (add_seat_pam_service(model, seat, &services, status_prefix()) != 0 ||
      add_lightdm_pam_service(model, &services, status_prefix()) != 0) {
    return 1;
  }
  static char reason[PATH_MAX * 4 + 256];
  if (home_serves_session(sessions.user, *sessions.probe,
                          home_rules(*sessions.probe, model, services, x_session), reason,
                          sizeof reason)) {
    return 0;
  }
  view->session = SessionView::kNotFound;
  format_text(view->session_why, sizeof view->session_why, "%s", reason);
  return 0;
}

/// Fills the session of |view| for the seat at |seat|. Returns 0, or 1 after saying why it
/// cannot be told.
int view_seat_session(const SeatModel& model, std::size_t seat, UserSessions* sessions,
                      SeatView* view) {
  view->session = SessionView::kFound;
  view->session_why[0] = '\0';
  const char* user = user_logged_in(view->state);
  if (sessions->user == nullptr || user == nullptr || std::strcmp(user, sessions->user) != 0) {
    return 0;
  }
  // Seat0's view is printed later; another seat's is done with once its state is kept.
  static SessionView other;  // cppcheck-suppress unassignedVariable
  SessionView& session = seat == SEAT_INDEX_SEAT0 ? sessions->seat0 : other;
  view_session(model, seat, sessions->sources, &session);
  // A program missing on the way to the session ends in the greeter, as a missing session does.
  view->session = session.state == SessionView::kBlocked ? SessionView::kNotFound : session.state;
  // LightDM writes the X authority for each X session it starts, and for no other.
  if (session.state == SessionView::kFound) {
    return view_seat_home(model, seat, *sessions, session.file.kind == SessionKind::kX, view);
  }
  if (session.state == SessionView::kNotChecked) return 0;
  static char why[4 * (SESSION_WHY_MAX + 1)];
  const WordId reason = describe_session_problem(session, why, sizeof why);
  if (session.state == SessionView::kCannotTell) {
    say_because(reason, "status-session-unknown", status_prefix(), why);
    return 1;
  }
  // Only the other seats' lines use it, and a line cut short still names the session.
  format_text(view->session_why, sizeof view->session_why, "%s", why);
  return 0;
}

/// Returns PAM's answer for |service| and |user| on |display|, asking only the first time.
const PamMemo::Entry& ask_once(PamMemo* memo, const char* service, const char* display,
                               const char* user) {
  for (std::size_t i = 0; i < memo->count; ++i) {
    const PamMemo::Entry& entry = memo->entries[i];
    if (std::strcmp(entry.service, service) == 0 && std::strcmp(entry.display, display) == 0 &&
        std::strcmp(entry.user, user) == 0) {
      return entry;
    }
  }
  PamMemo::Entry& entry = memo->entries[memo->count++];
  std::snprintf(entry.service, sizeof entry.service, "%s", service);
  std::snprintf(entry.display, sizeof entry.display, "%s", display);
  entry.user = user;
  entry.verdict = ask_pam(service, user, display);
  return entry;
}

/// Fills |view| for the seat at |seat|. Run as root, asks the PAM services LightDM would ask
/// there about the user it would log in. Returns 0, or 1 after saying why it cannot be told.
int view_seat(const SeatModel& model, std::size_t seat, PamMemo* memo, SeatView* view) {
  view->state = seat_autologin(model, seat, GlibRule::kKeepsBadEscapes);
  view->refused = nullptr;
  const SeatAutologin& state = view->state;
  if (geteuid() != 0 || state.who != AutologinWho::kUser || state.when == AutologinWhen::kNever ||
      !is_valid_username(state.settings[SEAT_KEY_USER]->value.text)) {
    return 0;
  }
  const char* user = state.settings[SEAT_KEY_USER]->value.text;
  static PamServiceList services;
  services.count = 0;
  if (add_seat_pam_service(model, seat, &services, status_prefix()) != 0) return 1;
  if (add_lightdm_pam_service(model, &services, status_prefix()) != 0) return 1;
  for (std::size_t i = 0; i < services.count; ++i) {
    const PamMemo::Entry& entry = ask_once(memo, services.names[i], services.displays[i], user);
    if (!entry.verdict.asked) {
      say("status-pam-not-asked", status_prefix(), entry.service, entry.verdict.reason);
      return 1;
    }
    if (!entry.verdict.allowed) {
      view->refused = &entry;
      return 0;
    }
  }
  return 0;
}

/// Returns true if LightDM shows the greeter on a seat of |view| where its configuration says
/// it logs someone in.
bool greets_instead(const SeatView& view) {
  return view.refused != nullptr || view.session == SessionView::kNotFound;
}

bool same_view(const SeatView& a, const SeatView& b) {
  return same_outcome(a.state, b.state) && a.refused == b.refused &&
         a.session == b.session && std::strcmp(a.session_why, b.session_why) == 0;
}

/// Prints the first line when the seat0 view is neither of the success lines. Every outcome
/// is a whole sentence of its own, so that it translates; none of them is parsed.
void print_seat0_line(const SeatView& view) {
  if (view.refused != nullptr) {
    msg_out(_("LightDM will show the greeter and log nobody in on seat0: its PAM service %s "
              "refuses %s (%s)\n"),
            view.refused->service, view.refused->user, view.refused->verdict.reason);
    return;
  }
  if (view.session == SessionView::kNotFound) {
    msg_out(_("LightDM will show the greeter and log nobody in on seat0: %s\n"),
            view.session_why);
    return;
  }
  char who[AUTOLOGIN_WHO_SIZE];
  const int timeout = view.state.timeout;
  const OutcomeWords& words = outcome_words(autologin_outcome(view.state, who), false);
  static char line[kOutcomeLineSize];
  format_outcome(line, sizeof line, words.seat0, static_cast<unsigned long>(timeout), who,
                 timeout);
  msg_out("%s", line);
}

void print_first_line(const SeatView& view) {
  const SeatAutologin& state = view.state;
  if (state.who == AutologinWho::kNobody) {
    msg_out("Auto login disabled\n");
    return;
  }
  const SeatSetting* user = state.settings[SEAT_KEY_USER];
  if (!greets_instead(view) && state.who == AutologinWho::kUser &&
      state.when == AutologinWhen::kAtOnce && is_valid_username(user->value.text) &&
      user->value.len <= KEYFILE_VALUE_MAX) {
    msg_out("Auto login enabled for user: %s\n", user->value.text);
    return;
  }
  print_seat0_line(view);
}

void print_origin(const SeatSetting* setting, SeatKey key) {
  if (setting == nullptr) {
    msg_out("%s is not set\n", SEAT_KEY_NAMES[key]);
    return;
  }
  char value[quoted_size(KEYFILE_VALUE_MAX)];
  static char line[SETTING_ORIGIN_SIZE];
  describe_origin(seat_setting_origin(*setting, SEAT_KEY_NAMES[key], value, sizeof value),
                  OriginWords::kFrom, line, sizeof line);
  msg_out("%s\n", line);
}

/// Prints what LightDM would do on |seat| (null: a machine without logind) where seat0 differs.
void print_other_seat(const char* seat, const SeatView& view) {
  char who[AUTOLOGIN_WHO_SIZE];
  const AutologinOutcome outcome = autologin_outcome(view.state, who);
  const int timeout = view.state.timeout;
  const auto n = static_cast<unsigned long>(timeout);
  const PamMemo::Entry* refused = view.refused;
  const bool no_session = refused == nullptr && view.session == SessionView::kNotFound;
  if (seat == nullptr && no_session) {
    msg_out(_("Without logind, LightDM would show the greeter and log nobody in instead: %s\n"),
            view.session_why);
  } else if (no_session) {
    msg_out(_("On %s, LightDM would show the greeter and log nobody in instead: %s\n"), seat,
            view.session_why);
  } else if (seat == nullptr && refused != nullptr) {
    msg_out(_("Without logind, LightDM would show the greeter and log nobody in instead: its PAM "
              "service %s refuses %s (%s)\n"),
            refused->service, refused->user, refused->verdict.reason);
  } else if (refused != nullptr) {
    msg_out(_("On %s, LightDM would show the greeter and log nobody in instead: its PAM service "
              "%s refuses %s (%s)\n"),
            seat, refused->service, refused->user, refused->verdict.reason);
  } else {
    const PluralText& text = outcome_words(outcome, seat == nullptr).other_seat;
    static char line[kOutcomeLineSize];
    if (seat == nullptr) {
      format_outcome(line, sizeof line, text, n, who, timeout);
    } else {
      format_outcome(line, sizeof line, text, n, seat, who, timeout);
    }
    msg_out("%s", line);
  }
}

/// Prints a line for every seat other than seat0 where LightDM would do otherwise.
void print_other_seats(const SeatModel& model, const SeatView views[]) {
  for (std::size_t seat = 1; seat < model.seats.count; ++seat) {
    const SeatView& view = views[seat];
    if (same_view(views[SEAT_INDEX_SEAT0], view)) continue;
    print_other_seat(seat == SEAT_INDEX_NO_LOGIND ? nullptr : model.seats.names[seat], view);
  }
}

}  // namespace

int run_status(const ConfigPaths& paths, const char* seats_dir,
               const DisplayManagerPaths& display_manager) {
  static SeatList seats;
  seat_list_reset(&seats);
  const char* prefix = status_prefix();
  if (add_logind_seats(seats_dir, &seats, prefix) != 0) return 1;
  LightdmReading reading{};  // the main file as it stands, as LightDM reads it
  if (read_lightdm_sources(paths, seats, prefix, &reading) != 0 ||
      check_glib_readings(*reading.model, prefix) != 0) {
    return 1;
  }
  const SeatModel* model = reading.model;
  // Both GLib versions read the same now; either rule gives the answer. Every seat is worked
  // out, PAM asked, before anything is printed, so that a failure prints no half answer.
  static PamMemo memo;
  memo.count = 0;
  static SeatView views[SEATS_MAX];
  for (std::size_t seat = 0; seat < model->seats.count; ++seat) {
    if (view_seat(*model, seat, &memo, &views[seat]) != 0) return 1;
  }
  static UserSessions sessions;
  if (read_user_sessions(*model, views[SEAT_INDEX_SEAT0].state, &sessions) != 0) return 1;
  for (std::size_t seat = 0; seat < model->seats.count; ++seat) {
    if (view_seat_session(*model, seat, &sessions, &views[seat]) != 0) return 1;
  }
  const SeatView& seat0 = views[SEAT_INDEX_SEAT0];
  print_first_line(seat0);
  print_origin(seat0.state.settings[SEAT_KEY_USER], SEAT_KEY_USER);
  for (int key = SEAT_KEY_USER + 1; key < SEAT_KEY_AUTOLOGIN_END; ++key) {
    if (seat0.state.settings[key] != nullptr) {
      print_origin(seat0.state.settings[key], static_cast<SeatKey>(key));
    }
  }
  if (sessions.user != nullptr) {
    if (sessions.seat0.state == SessionView::kNotChecked) {
      msg_out(_("Not checked without root: %s\n"), sessions.seat0.problem);
    } else {
      static char line[4 * (SESSION_WHY_MAX + 1)];
      describe_session_line(sessions.seat0, line, sizeof line);
      msg_out("%s\n", line);
    }
  }
  print_other_seats(*model, views);
  char warning[DISPLAY_MANAGER_WARNING_SIZE];
  if (other_display_manager(display_manager, warning, sizeof warning)) {
    msg_out("%s\n", warning);
  }
  // What status prints is all it does: an answer that did not arrive is a failure.
  msg_out_is_answer();
  return 0;
}
