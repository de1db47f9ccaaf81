#ifndef BRINDLEWAY_LIGHTDM_SESSION_CHOICE_H_
#define BRINDLEWAY_LIGHTDM_SESSION_CHOICE_H_

#include <cstddef>

#include "common/span.h"
#include "lightdm/keyfile_value.h"
#include "lightdm/seat_model.h"
#include "lightdm/session_road.h"

/// What LightDM falls back on where no source sets the key (Debian's build of LightDM 1.26 and
/// 1.32).
inline constexpr char LIGHTDM_DEFAULT_USER_SESSION[] = "lightdm-xsession";
inline constexpr char LIGHTDM_DEFAULT_SESSIONS_DIRS[] =
    "/usr/share/lightdm/sessions:/usr/share/xsessions:/usr/share/wayland-sessions";
inline constexpr char LIGHTDM_DEFAULT_CACHE_DIR[] = "/var/cache/lightdm";

/// Where the name of the session LightDM starts comes from.
enum class SessionOrigin {
  kAutologinSession,  // the seat's autologin-session
  kAccountsService,   // XSession in AccountsService's record of the user
  kDmrc,              // [Desktop] Session= in ~/.dmrc
  kDmrcCache,         // the same in LightDM's copy of it, CACHE/dmrc/NAME.dmrc
  kUserSession,       // the seat's user-session
  kBuiltIn,           // no source sets user-session: LightDM's own default
};

/// A file the choice depends on, as it was read.
struct ReadText {
  enum State {
    kRead,        // |text| holds it whole
    kAbsent,      // it cannot be opened, as LightDM could not open it either
    kTooLarge,
    kUnreadable,  // anything else (|error|)
    kNotChecked,  // not looked at: reading it needs root
  } state;
  int error;
  /// For kUnreadable: why, where errno does not say it; null otherwise.
  const char* problem;
  Span text;
  /// The file as messages show it ("~kd/.dmrc" for the user's own).
  const char* path;
};

/// What the user's own session is read from.
struct SessionSources {
  /// AccountsService is installed: its answer decides, and LightDM does not read .dmrc.
  bool accounts_service;
  ReadText accounts_record;  // /var/lib/AccountsService/users/NAME
  ReadText dmrc;             // ~NAME/.dmrc, read as the user
  ReadText dmrc_cache;       // CACHE/dmrc/NAME.dmrc
  /// The user's home as the probe found it; null when it was not looked at.
  const char* home;
};

/// The most bytes of a reason kept.
inline constexpr std::size_t SESSION_WHY_MAX = 1023;

/// The session LightDM starts for the automatic login on one seat.
struct SessionChoice {
  enum State {
    kChosen,
    kCannotTell,  // the reading depends on GLib's version, or on what cannot be judged
    kNotChecked,  // it depends on a file that was not looked at (ReadText::kNotChecked)
  } state;
  SessionOrigin origin;
  /// The name (kChosen); an empty name is a name.
  KeyFileString name;
  /// The seat setting that chose it (kAutologinSession, kUserSession).
  const SeatSetting* setting;
  /// The file and line that chose it (kAccountsService, kDmrc, kDmrcCache).
  const char* path;
  unsigned line;
  /// Why it cannot be told or was not checked, as a phrase: "~kd/.dmrc line 3: ...".
  char why[SESSION_WHY_MAX + 1];
};

/// Writes "KEY in FILE [SECTION] line N" for |setting| of |key| into |buf| (|size| bytes).
void setting_phrase(const SeatSetting& setting, const char* key, char* buf, std::size_t size);

/// Returns 0 and writes into |buf| (|size| bytes) the path of LightDM's copy of |user|'s .dmrc,
/// CACHE/dmrc/NAME.dmrc, CACHE being [LightDM] cache-directory; or returns 1 after writing
/// into |why| why it cannot be told.
int dmrc_cache_path(const SeatModel& model, const char* user, char* buf, std::size_t size,
                    char why[SESSION_WHY_MAX + 1]);

/// Returns 0 and points |*dirs| at LightDM's sessions-directory list (colon-separated), or
/// returns 1 after writing into |why| why it cannot be told.
int sessions_dirs(const SeatModel& model, const char** dirs, char why[SESSION_WHY_MAX + 1]);

/// Works out, as LightDM 1.26 to 1.32 do for an automatic login (create_user_session), which
/// session it starts on the seat at |seat| of |model|: the seat's autologin-session where a
/// source sets it, even empty; else the user's own choice (AccountsService's XSession where
/// AccountsService is installed, else ~/.dmrc's [Desktop] Session, else LightDM's copy of it),
/// an empty one counting as none; else the seat's user-session. Values are read by both GLib
/// rules; where they differ the answer is kCannotTell.
void choose_session(const SeatModel& model, std::size_t seat, const SessionSources& sources,
                    SessionChoice* choice);

/// What one candidate .desktop file is to LightDM (session_config_new_from_file).
struct DesktopJudgement {
  enum Verdict {
    kWins,        // it loads and has Exec in [Desktop Entry]: LightDM takes it
    kPasses,      // it does not load, or has no Exec: LightDM looks in the next directory
    kCannotTell,  // GLib's versions read it differently, or a line cannot be judged
  } verdict;
  /// For kWins: the kind of session, as session_kind decides it.
  SessionKind kind;
  /// For kWins: Exec as LightDM reads it.
  KeyFileString exec;
  unsigned line;
  const char* why;
};

/// Judges the text |text| of a candidate found in the directory |dir|, by the rules of a
/// LightDM with or without |wayland_dir_rule| (session_kind). Fills |judgement|.
void judge_desktop_text(Span text, const char* dir, bool wayland_dir_rule,
                        DesktopJudgement* judgement);

/// Returns true if |name| can be a file name: it holds no "/" and was kept whole.
bool is_session_file_name(const KeyFileString& name);

#endif  // BRINDLEWAY_LIGHTDM_SESSION_CHOICE_H_
