#include "cli/status.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "cli/process_setup.h"
#include "cli/run_result.h"
#include "cli/username.h"
#include "common/format_text.h"
#include "common/json_out.h"
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
  /// The session is found, but LightDM could not start it in the home (|session_why|).
  bool home_refused;
  /// The row of |session_why|'s reason, where there is one.
  WordId why_code;
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
                          sizeof reason, &view->why_code)) {
    return 0;
  }
  view->session = SessionView::kNotFound;
  view->home_refused = true;
  format_text(view->session_why, sizeof view->session_why, "%s", reason);
  return 0;
}

/// Fills the session of |view| for the seat at |seat|. Returns 0, or 1 after saying why it
/// cannot be told.
int view_seat_session(const SeatModel& model, std::size_t seat, UserSessions* sessions,
                      SeatView* view) {
  view->session = SessionView::kFound;
  view->session_why[0] = '\0';
  view->home_refused = false;
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
  view->why_code = reason;
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

/// Which of the success lines' states seat0 is in.
enum class FirstLine { kEnabled, kDisabled, kOther };

FirstLine first_line(const SeatView& view) {
  const SeatAutologin& state = view.state;
  if (state.who == AutologinWho::kNobody) return FirstLine::kDisabled;
  const SeatSetting* user = state.settings[SEAT_KEY_USER];
  if (!greets_instead(view) && state.who == AutologinWho::kUser &&
      state.when == AutologinWhen::kAtOnce && is_valid_username(user->value.text) &&
      user->value.len <= KEYFILE_VALUE_MAX) {
    return FirstLine::kEnabled;
  }
  return FirstLine::kOther;
}

void print_first_line(const SeatView& view) {
  switch (first_line(view)) {
    case FirstLine::kDisabled:
      msg_out("Auto login disabled\n");
      return;
    case FirstLine::kEnabled:
      msg_out("Auto login enabled for user: %s\n", view.state.settings[SEAT_KEY_USER]->value.text);
      return;
    case FirstLine::kOther:
      print_seat0_line(view);
      return;
  }
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

/// The checks a program reads in status's answer, in the order a look works them out.
enum class StatusCheck { kConfiguration, kPam, kHome, kSession, kDisplayManager, kChecks };

/// The names of the checks in the answer, in StatusCheck order.
constexpr const char* kCheckNames[] = {"configuration", "pam", "home", "session",
                                       "display_manager"};

/// What status found, and how far it got.
struct StatusLook {
  const SeatModel* model;
  SeatView views[SEATS_MAX];
  UserSessions sessions;
  /// The check that was being worked out when the look failed; kChecks when it did not.
  StatusCheck failed;
};

/// Works out every seat, PAM asked and the session and the home looked at, before anything is
/// printed, so that a failure prints no half answer. Returns 0, or 1 after saying why it cannot
/// be told; |look->failed| names the check that could not be told.
int look_at_lightdm(const ConfigPaths& paths, const char* seats_dir, StatusLook* look) {
  look->model = nullptr;
  look->sessions.user = nullptr;
  look->failed = StatusCheck::kConfiguration;
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
  look->model = model;
  // Both GLib versions read the same now; either rule gives the answer.
  look->failed = StatusCheck::kPam;
  static PamMemo memo;
  memo.count = 0;
  for (std::size_t seat = 0; seat < model->seats.count; ++seat) {
    if (view_seat(*model, seat, &memo, &look->views[seat]) != 0) return 1;
  }
  look->failed = StatusCheck::kHome;
  if (read_user_sessions(*model, look->views[SEAT_INDEX_SEAT0].state, &look->sessions) != 0) {
    return 1;
  }
  look->failed = StatusCheck::kSession;
  for (std::size_t seat = 0; seat < model->seats.count; ++seat) {
    if (view_seat_session(*model, seat, &look->sessions, &look->views[seat]) != 0) return 1;
  }
  look->failed = StatusCheck::kChecks;
  return 0;
}

void print_status(const StatusLook& look, const DisplayManagerPaths& display_manager) {
  const SeatView& seat0 = look.views[SEAT_INDEX_SEAT0];
  const UserSessions& sessions = look.sessions;
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
  print_other_seats(*look.model, look.views);
  char warning[DISPLAY_MANAGER_WARNING_SIZE];
  if (other_display_manager(display_manager, warning, sizeof warning)) {
    msg_out("%s\n", warning);
  }
}

/// Room for one check's message.
constexpr std::size_t kCheckMessageSize = 2048;

/// One check's answer: its result word, and the code and message of a result other than pass.
struct CheckAnswer {
  const char* result;
  const char* code;
  char message[kCheckMessageSize];
};

/// Sets |check|'s result and code, and returns its message for the caller to fill.
char* mark(CheckAnswer* check, const char* result, const char* code) {
  check->result = result;
  check->code = code;
  return check->message;
}

void pass(CheckAnswer* check) { *check = CheckAnswer{"pass", nullptr, ""}; }
void not_checked(CheckAnswer* check) { *check = CheckAnswer{"not-checked", nullptr, ""}; }

/// Works out the five checks of a look that got as far as |look.failed|.
void answer_checks(const StatusLook& look, const DisplayManagerPaths& display_manager,
                   CheckAnswer checks[]) {
  for (int i = 0; i < static_cast<int>(StatusCheck::kChecks); ++i) not_checked(&checks[i]);
  const auto at = [&](StatusCheck check) { return &checks[static_cast<int>(check)]; };
  const bool root = geteuid() == 0;
  if (look.failed != StatusCheck::kConfiguration) pass(at(StatusCheck::kConfiguration));
  if (look.failed != StatusCheck::kChecks) {
    const SaidWord* refusal = run_refusal();
    const char* code = refusal != nullptr ? refusal->code : nullptr;
    // A main file LightDM cannot load is told for sure: LightDM would not start.
    const bool told = code != nullptr && std::strcmp(code, "conf-not-loadable") == 0;
    format_text(mark(at(look.failed), told ? "fail" : "cannot-tell", code), kCheckMessageSize,
                "%.*s", refusal != nullptr ? refusal->message_len : 0,
                refusal != nullptr ? refusal->message : "");
  }
  char warning[DISPLAY_MANAGER_WARNING_SIZE];
  if (other_display_manager(display_manager, warning, sizeof warning)) {
    format_text(mark(at(StatusCheck::kDisplayManager), "fail",
                     word_code(word_id("other-display-manager"))),
                kCheckMessageSize, "%s", warning);
  } else {
    pass(at(StatusCheck::kDisplayManager));
  }
  if (look.failed != StatusCheck::kChecks) return;
  const SeatView& seat0 = look.views[SEAT_INDEX_SEAT0];
  const UserSessions& sessions = look.sessions;
  // PAM, the home and the session are asked about the user seat0 logs in, and only as root.
  if (seat0.refused != nullptr) {
    const PamMemo::Entry& refused = *seat0.refused;
    format_text(mark(at(StatusCheck::kPam), "fail", word_code(word_id("pam-refuses"))),
                kCheckMessageSize,
              _("LightDM will show the greeter and log nobody in on seat0: its PAM service %s "
                "refuses %s (%s)\n"),
              refused.service, refused.user, refused.verdict.reason);
  } else if (root && user_logged_in(seat0.state) != nullptr) {
    pass(at(StatusCheck::kPam));
  }
  if (sessions.user == nullptr) return;
  if (sessions.seat0.state == SessionView::kNotChecked) {
    format_text(mark(at(StatusCheck::kSession), "not-checked",
                     word_code(word_id("session-not-checked"))),
                kCheckMessageSize, _("Not checked without root: %s\n"), sessions.seat0.problem);
  } else if (seat0.session == SessionView::kNotFound && !seat0.home_refused) {
    format_text(mark(at(StatusCheck::kSession), "fail", word_code(seat0.why_code)),
                kCheckMessageSize,
                _("LightDM will show the greeter and log nobody in on seat0: %s\n"),
                seat0.session_why);
  } else if (seat0.refused == nullptr) {
    pass(at(StatusCheck::kSession));
  }
  if (seat0.home_refused) {
    format_text(mark(at(StatusCheck::kHome), "fail", word_code(seat0.why_code)),
                kCheckMessageSize,
              _("LightDM will show the greeter and log nobody in on seat0: %s\n"),
              seat0.session_why);
  } else if (root && seat0.refused == nullptr && seat0.session == SessionView::kFound) {
    pass(at(StatusCheck::kHome));
  }
}

void json_quoted_value(JsonOut* out, const KeyFileString& value) {
  static char quoted[KEYFILE_VALUE_MAX * 4 + 8];
  quote_value(value, quoted, sizeof quoted);
  json_text(out, quoted);
}

void json_quoted_path(JsonOut* out, const char* path) {
  static char quoted[PATH_MAX * 4 + 8];
  quote_name(path, quoted, sizeof quoted);
  json_text(out, quoted);
}

/// Writes the setting |setting| of |key| as the answer's settings carry it.
void json_setting(JsonOut* out, const SeatSetting& setting, SeatKey key) {
  json_open(out, '{');
  json_text_at(out, "key", SEAT_KEY_NAMES[key]);
  json_key(out, "value");
  json_quoted_value(out, setting.value);
  json_key(out, "file");
  json_quoted_path(out, setting.path);
  json_key(out, "section");
  json_quoted_path(out, setting.section);
  json_int_at(out, "line", setting.line);
  json_close(out, '}');
}

/// The words for what LightDM does on a seat, in AutologinOutcome order.
constexpr const char* kOutcomeWords[] = {"nobody", "at-once", "background", "countdown"};

/// Returns the word for what LightDM does on a seat of |view|.
const char* outcome_word(const SeatView& view) {
  if (view.refused != nullptr) return "pam-refuses";
  if (view.session == SessionView::kNotFound) return "no-session";
  char who[AUTOLOGIN_WHO_SIZE];
  return kOutcomeWords[static_cast<int>(autologin_outcome(view.state, who))];
}

/// Writes whom LightDM logs in on a seat in |state|: the user's name, quoted, or null.
void json_seat_user(JsonOut* out, const SeatAutologin& state) {
  if (state.who == AutologinWho::kUser) {
    json_quoted_value(out, state.settings[SEAT_KEY_USER]->value);
  } else {
    json_null(out);
  }
}

void json_seats(JsonOut* out, const StatusLook& look) {
  json_key(out, "seats");
  json_open(out, '[');
  const SeatModel& model = *look.model;
  for (std::size_t seat = 1; seat < model.seats.count; ++seat) {
    const SeatView& view = look.views[seat];
    if (same_view(look.views[SEAT_INDEX_SEAT0], view)) continue;
    json_open(out, '{');
    json_key(out, "seat");
    // LightDM matches the seat of a machine without logind as an empty name.
    json_quoted_path(out, seat == SEAT_INDEX_NO_LOGIND ? "" : model.seats.names[seat]);
    json_text_at(out, "outcome", outcome_word(view));
    json_key(out, "user");
    json_seat_user(out, view.state);
    json_key(out, "timeout");
    if (view.state.when == AutologinWhen::kCountdown) {
      json_int(out, view.state.timeout);
    } else {
      json_null(out);
    }
    json_close(out, '}');
  }
  json_close(out, ']');
}

/// The words for where the session's name came from, in SessionOrigin order.
constexpr const char* kOriginWords[] = {"autologin-session", "accountsservice", "dmrc",
                                        "dmrc-cache", "user-session", "default"};

void json_session(JsonOut* out, const UserSessions& sessions) {
  json_key(out, "session");
  const SessionView& view = sessions.seat0;
  if (sessions.user == nullptr || view.choice.state != SessionChoice::kChosen) {
    json_null(out);
    return;
  }
  json_open(out, '{');
  json_key(out, "name");
  json_quoted_value(out, view.choice.name);
  json_text_at(out, "from", kOriginWords[static_cast<int>(view.choice.origin)]);
  json_key(out, "file");
  if (view.state == SessionView::kFound && view.file.state == SessionFile::kFound) {
    json_quoted_path(out, view.file.path);
  } else {
    json_null(out);
  }
  json_close(out, '}');
}

void json_checks(JsonOut* out, const CheckAnswer checks[]) {
  json_key(out, "checks");
  json_open(out, '{');
  for (int i = 0; i < static_cast<int>(StatusCheck::kChecks); ++i) {
    json_key(out, kCheckNames[i]);
    json_open(out, '{');
    json_text_at(out, "result", checks[i].result);
    json_text_at(out, "code", checks[i].code);
    json_key(out, "message");
    // The sentences come as the plain output says them, each ending its line.
    const std::size_t len = std::strlen(checks[i].message);
    if (len == 0) {
      json_null(out);
    } else {
      json_string(out, checks[i].message, checks[i].message[len - 1] == '\n' ? len - 1 : len);
    }
    json_close(out, '}');
  }
  json_close(out, '}');
}

/// Makes status's answer, one JSON object (docs/status.schema.json), the whole of standard
/// output, for a look that returned |looked|.
void answer_status_json(const StatusLook& look, int looked,
                        const DisplayManagerPaths& display_manager) {
  static CheckAnswer checks[static_cast<int>(StatusCheck::kChecks)];
  answer_checks(look, display_manager, checks);
  JsonOut* out = json_answer();
  json_open(out, '{');
  json_int_at(out, "format", 1);
  const SeatView& seat0 = look.views[SEAT_INDEX_SEAT0];
  const bool known = looked == 0;
  const FirstLine line = known ? first_line(seat0) : FirstLine::kOther;
  json_text_at(out, "state", line == FirstLine::kEnabled ? "enabled"
                 : line == FirstLine::kDisabled ? "disabled" : "other");
  const SeatAutologin& state = seat0.state;
  const SeatSetting* user = known ? state.settings[SEAT_KEY_USER] : nullptr;
  json_key(out, "user");
  if (user != nullptr && user->value.len > 0) {
    json_quoted_value(out, user->value);
  } else {
    json_null(out);
  }
  json_key(out, "timeout");
  if (known && state.settings[SEAT_KEY_TIMEOUT] != nullptr) {
    json_int(out, state.timeout);
  } else {
    json_null(out);
  }
  json_bool_at(out, "guest", known && state.who == AutologinWho::kGuest);
  json_bool_at(out, "background", known && state.when == AutologinWhen::kBackground);
  if (known) {
    json_seats(out, look);
  } else {
    json_key(out, "seats");
    json_open(out, '[');
    json_close(out, ']');
  }
  json_key(out, "settings");
  json_open(out, '[');
  for (int key = SEAT_KEY_USER; known && key < SEAT_KEY_AUTOLOGIN_END; ++key) {
    if (state.settings[key] != nullptr) {
      json_setting(out, *state.settings[key], static_cast<SeatKey>(key));
    }
  }
  json_close(out, ']');
  if (known) {
    json_session(out, look.sessions);
  } else {
    json_key(out, "session");
    json_null(out);
  }
  json_checks(out, checks);
  json_warnings(out);
  json_close(out, '}');
  json_finish(out);
  msg_out_only(out->buf, out->overflow ? 0 : out->len);
}

}  // namespace

int run_status(const ConfigPaths& paths, const char* seats_dir,
               const DisplayManagerPaths& display_manager, bool json) {
  static StatusLook look;
  const int looked = look_at_lightdm(paths, seats_dir, &look);
  // What status prints is all it does: an answer that did not arrive is a failure.
  msg_out_is_answer();
  if (json) {
    answer_status_json(look, looked, display_manager);
    return looked;
  }
  if (looked != 0) return 1;
  print_status(look, display_manager);
  return 0;
}
