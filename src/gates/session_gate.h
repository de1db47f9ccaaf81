#ifndef BRINDLEWAY_GATES_SESSION_GATE_H_
#define BRINDLEWAY_GATES_SESSION_GATE_H_

#include <cstddef>

#include "common/words.h"
#include "gates/user_probe.h"
#include "lightdm/seat_model.h"
#include "lightdm/session_choice.h"
#include "lightdm/session_file.h"

/// AccountsService's D-Bus system service file: where it exists, LightDM asks AccountsService
/// for the user's session instead of reading .dmrc.
inline constexpr char ACCOUNTS_SERVICE_FILE[] =
    "/usr/share/dbus-1/system-services/org.freedesktop.Accounts.service";
/// Where accounts-daemon keeps what it serves about each user.
inline constexpr char ACCOUNTS_USERS_DIR[] = "/var/lib/AccountsService/users";

/// What LightDM makes of the session for an automatic login on one seat.
struct SessionView {
  enum State {
    kFound,       // an X or Wayland session whose file LightDM finds, and can start
    kNotFound,    // LightDM finds no file for it: it shows the greeter
    kBlocked,     // a program on the way to it is missing: it shows the greeter (|problem|)
    kCannotTell,  // |problem| says why
    kNotChecked,  // the choice rests on a file that needs root to read (|problem|)
  } state;
  SessionChoice choice;
  SessionFile file;
  const char* dirs;
  char problem[2 * (SESSION_WHY_MAX + 1)];
  /// The row of |problem| where a program on the road decides (kBlocked, or kCannotTell once
  /// the file is found).
  WordId problem_code;
};

/// Reads what |user|'s own session is read from: AccountsService's record when it is
/// installed, else ~/.dmrc as |probe| read it (null: not read, as without root) and LightDM's
/// copy of it. Only root reads every file; what the caller cannot read is kNotChecked. Fills
/// |sources|, whose texts stay valid until the next call.
void read_session_sources(const SeatModel& model, const char* user, const UserProbe* probe,
                          SessionSources* sources);

/// Works out the session on the seat at |seat| and looks its file up. Fills |view|.
void view_session(const SeatModel& model, std::size_t seat, const SessionSources& sources,
                  SessionView* view);

/// Writes why |view| is not kFound into |buf| (|size| bytes), as a clause that follows
/// "Cannot enable automatic login for NAME: ", such as "LightDM would start the session nosuch
/// (user-session in /etc/lightdm/lightdm.conf [Seat:*] line 2), and no nosuch.desktop is
/// installed in DIRS". Returns the clause's row.
WordId describe_session_problem(const SessionView& view, char* buf, std::size_t size);

/// Writes status's line for the session of |view| into |buf|, without a line feed:
/// "session=NAME from FILE [SECTION] line N", "session=NAME from LightDM's default", or
/// "session cannot be told: WHY".
void describe_session_line(const SessionView& view, char* buf, std::size_t size);

/// What LightDM makes of a user's session on every seat, worked out before anything is said,
/// so that the home can be judged for the kind of session it starts there.
struct SessionsVerdict {
  /// Some seat starts an X session, for which LightDM writes an X authority; also true when a
  /// seat's session cannot be started, whose kind then stays untold.
  bool x_session;
  /// False: |why| (with its row |code|) says why LightDM cannot start a seat's session.
  bool startable;
  WordId code;
  char why[4 * (SESSION_WHY_MAX + 1)];
};

/// Works out, for |user|, whose choice |probe| read, the session of every seat of |model| up to
/// the first that LightDM cannot start. Fills |verdict|.
void judge_sessions(const SeatModel& model, const char* user, const UserProbe& probe,
                    SessionsVerdict* verdict);

/// Returns 0 if |verdict| finds every session startable; or 1 after saying on standard error,
/// after |prefix|, why not.
int check_sessions(const SessionsVerdict& verdict, const char* prefix);

#endif  // BRINDLEWAY_GATES_SESSION_GATE_H_
