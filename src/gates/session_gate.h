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
    kFound,       // an X session whose file LightDM finds
    kNotFound,    // LightDM finds no file for it: it shows the greeter
    kCannotTell,  // |problem| says why
    kNotChecked,  // the choice rests on a file that needs root to read (|problem|)
  } state;
  SessionChoice choice;
  SessionFile file;
  const char* dirs;
  char problem[2 * (SESSION_WHY_MAX + 1)];
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

/// Returns 0 if LightDM finds an X session for |user| on every seat of |model|, reading the
/// user's choice from |probe|; or 1 after saying on standard error, after |prefix|, why not.
int check_sessions(const SeatModel& model, const char* user, const UserProbe& probe,
                   const char* prefix);

#endif  // BRINDLEWAY_GATES_SESSION_GATE_H_
