#include "lightdm/session_choice.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "common/format_text.h"
#include "common/i18n.h"
#include "common/quote.h"
#include "lightdm/keyfile_find.h"
#include "lightdm/seat_autologin.h"
#include "lightdm/setting_origin.h"

// LightDM's choice of the session for an automatic login (create_user_session, and
// common_user_get_session and dmrc_load for the user's own choice), as a function of what was
// read. Where GLib 2.74 and GLib 2.77.3 or later read a value differently, or LightDM's reading
// hangs on something this program cannot judge, the answer is "cannot tell": the helper
// refuses rather than guess.

namespace {

constexpr char kGlibDiffers[] = N_(
    "it holds an escape that GLib before 2.77.3 (Debian 12) reads and later GLib (Debian 13) "
    "refuses");

/// Writes "KEY in FILE [SECTION] line N" for |setting| of |key| into |buf|.
void setting_phrase(const SeatSetting& setting, const char* key, char* buf, std::size_t size) {
  describe_origin(SettingOrigin{key, nullptr, setting.path, setting.section,
                                setting.from_sysconfig, setting.line},
                  OriginWords::kIn, buf, size);
}

void cannot_tell(SessionChoice* choice, const char* what, const char* problem) {
  choice->state = SessionChoice::kCannotTell;
  format_text(choice->why, sizeof choice->why, "%s: %s", what, problem);
}

void setting_cannot_tell(SessionChoice* choice, const SeatSetting& setting, const char* key,
                         const char* problem) {
  char where[SETTING_ORIGIN_SIZE];
  setting_phrase(setting, key, where, sizeof where);
  cannot_tell(choice, where, problem);
}

/// Reads a [LightDM] key as a string LightDM is handed. Returns 0 and points |*value| at it,
/// or at |fallback| when no source sets the key; or returns 1 after writing why not into |why|.
int lightdm_string(const SeatModel& model, LightdmKey key, const char* fallback,
                   const char** value, char why[SESSION_WHY_MAX + 1]) {
  const SeatSetting& setting = model.lightdm[key];
  *value = fallback;
  if (!setting.set) return 0;
  const char* problem = nullptr;
  if (!keyfile_present(setting.value, GlibRule::kKeepsBadEscapes)) {
    problem = _("it is not valid UTF-8, and LightDM gets no value");
  } else if (!keyfile_present(setting.value, GlibRule::kRefusesBadEscapes)) {
    problem = _(kGlibDiffers);
  } else if (setting.value.len > KEYFILE_VALUE_MAX) {
    problem = _("it is too long to judge");
  } else if (setting.value.text[0] != '/') {
    problem = _("it is not an absolute path");
  }
  if (problem == nullptr) {
    *value = setting.value.text;
    return 0;
  }
  SessionChoice scratch;
  setting_cannot_tell(&scratch, setting, LIGHTDM_KEY_NAMES[key], problem);
  format_text(why, SESSION_WHY_MAX + 1, "%s", scratch.why);
  return 1;
}

/// What a user's file says about the session.
enum class UserFile { kNone, kDecided, kNotLoaded };

/// Reads |group|'s |key| from |file| into |choice|. Returns kDecided when |choice| is final (a
/// name, or cannot tell); kNone when the file names no session; kNotLoaded when GLib cannot
/// load it, with |*partial| true when what it read before giving up names one.
UserFile read_user_file(const ReadText& file, const char* group, const char* key,
                        SessionOrigin origin, SessionChoice* choice, bool* partial) {
  *partial = false;
  switch (file.state) {
    case ReadText::kRead:
      break;
    case ReadText::kAbsent:
      return UserFile::kNotLoaded;
    case ReadText::kNotChecked:
      choice->state = SessionChoice::kNotChecked;
      format_text(choice->why, sizeof choice->why, _("%s could not be read"), file.path);
      return UserFile::kDecided;
    case ReadText::kTooLarge:
      cannot_tell(choice, file.path, _("the file is too large to judge"));
      return UserFile::kDecided;
    case ReadText::kUnreadable:
      cannot_tell(choice, file.path,
                  file.problem != nullptr ? file.problem : std::strerror(file.error));
      return UserFile::kDecided;
  }
  const char* const keys[] = {key};
  KeyFileFind find;
  find_keyfile_keys(file.text, group, keys, 1, &find);
  if (find.outcome == SourceOutcome::kUnsure) {
    char where[512];
    // TRANSLATORS: FILE line N, before ": " and a reason.
    format_text(where, sizeof where, _("%s line %u"), file.path, find.problem_line);
    cannot_tell(choice, where, _(find.problem));
    return UserFile::kDecided;
  }
  if (find.outcome == SourceOutcome::kRejected) {
    *partial = find.keys[0].set;
    return UserFile::kNotLoaded;
  }
  switch (read_found_key(find.keys[0], &choice->name)) {
    case KeyReading::kAbsent:
      return UserFile::kNone;
    case KeyReading::kDiffers: {
      char where[SETTING_ORIGIN_SIZE];
      describe_origin(SettingOrigin{key, nullptr, file.path, nullptr, false, find.keys[0].line},
                      OriginWords::kIn, where, sizeof where);
      cannot_tell(choice, where, _(kGlibDiffers));
      return UserFile::kDecided;
    }
    case KeyReading::kPresent:
      break;
  }
  if (choice->name.len == 0) return UserFile::kNone;  // an empty choice is none
  choice->state = SessionChoice::kChosen;
  choice->origin = origin;
  choice->path = file.path;
  choice->line = find.keys[0].line;
  return UserFile::kDecided;
}

/// A file GLib gave up on part way leaves what it had read in LightDM's key file when the next
/// one cannot be opened; whether LightDM then takes a session from it is not judged.
void partial_cannot_tell(SessionChoice* choice, const char* path) {
  cannot_tell(choice, path,
              _("LightDM cannot load it, and what GLib keeps of the lines before the error names "
                "a session"));
}

/// Works out the choice .dmrc and LightDM's copy of it make into |choice|. Returns true when
/// it decides.
bool dmrc_choice(const SessionSources& sources, SessionChoice* choice) {
  bool partial = false;
  UserFile said = read_user_file(sources.dmrc, "Desktop", "Session", SessionOrigin::kDmrc,
                                 choice, &partial);
  if (said != UserFile::kNotLoaded) return said == UserFile::kDecided;
  const bool dmrc_partial = partial;
  said = read_user_file(sources.dmrc_cache, "Desktop", "Session", SessionOrigin::kDmrcCache,
                        choice, &partial);
  if (said == UserFile::kDecided) return true;
  if (said == UserFile::kNotLoaded) {
    // The copy could not be opened: whatever GLib kept of .dmrc stands.
    const bool opened = sources.dmrc_cache.state == ReadText::kRead;
    if (opened ? partial : dmrc_partial) {
      partial_cannot_tell(choice, opened ? sources.dmrc_cache.path : sources.dmrc.path);
      return true;
    }
  }
  return false;
}

/// Works out the user's own choice into |choice|. Returns true when it decides.
bool user_choice(const SessionSources& sources, SessionChoice* choice) {
  if (!sources.accounts_service) return dmrc_choice(sources, choice);
  // accounts-daemon serves XSession from its record of the user: "" when the record has none
  // or does not load (it keeps nothing of a record it cannot load).
  bool partial = false;
  UserFile said = read_user_file(sources.accounts_record, "User", "XSession",
                                 SessionOrigin::kAccountsService, choice, &partial);
  if (said == UserFile::kDecided) return true;
  if (sources.accounts_record.state == ReadText::kRead) return false;
  // Without a record, LightDM sees the user through AccountsService only when accounts-daemon
  // lists the account, which it does for the accounts it takes for people; for any other
  // LightDM reads .dmrc. Where the two ways differ, which one LightDM takes is not judged.
  if (!dmrc_choice(sources, choice)) return false;
  if (choice->state == SessionChoice::kChosen) {
    char name[quoted_size(KEYFILE_VALUE_MAX)];
    quote_value(choice->name, name, sizeof name);
    char why[KEYFILE_VALUE_MAX * 4 + PATH_MAX + 256];
    format_text(why, sizeof why,
                _("AccountsService has no record of the user, and whether LightDM then takes "
                  "the session %s from %s depends on whether accounts-daemon lists the account"),
                name, choice->path);
    cannot_tell(choice, sources.accounts_record.path, why);
  }
  return true;
}

}  // namespace

int dmrc_cache_path(const SeatModel& model, const char* user, char* buf, std::size_t size,
                    char why[SESSION_WHY_MAX + 1]) {
  const char* cache = nullptr;
  if (lightdm_string(model, LIGHTDM_KEY_CACHE_DIR, LIGHTDM_DEFAULT_CACHE_DIR, &cache, why) != 0) {
    return 1;
  }
  // A path cut short would be another file: it is refused, never read.
  if (format_text(buf, size, "%s/dmrc/%s.dmrc", cache, user)) return 0;
  format_text(why, SESSION_WHY_MAX + 1, "%s", _("the path of LightDM's copy of .dmrc is too long"));
  return 1;
}

int sessions_dirs(const SeatModel& model, const char** dirs, char why[SESSION_WHY_MAX + 1]) {
  return lightdm_string(model, LIGHTDM_KEY_SESSIONS_DIR, LIGHTDM_DEFAULT_SESSIONS_DIRS, dirs,
                        why);
}

void choose_session(const SeatModel& model, std::size_t seat, const SessionSources& sources,
                    SessionChoice* choice) {
  choice->state = SessionChoice::kChosen;
  choice->setting = nullptr;
  choice->path = nullptr;
  choice->line = 0;
  choice->why[0] = '\0';
  const SeatSetting* autologin = effective_setting(model, SEAT_KEY_SESSION, seat);
  if (autologin != nullptr && keyfile_present(autologin->value, GlibRule::kKeepsBadEscapes)) {
    if (!keyfile_present(autologin->value, GlibRule::kRefusesBadEscapes)) {
      setting_cannot_tell(choice, *autologin, SEAT_KEY_NAMES[SEAT_KEY_SESSION], kGlibDiffers);
      return;
    }
    choice->origin = SessionOrigin::kAutologinSession;
    choice->setting = autologin;
    choice->name = autologin->value;
    return;
  }
  if (user_choice(sources, choice)) return;
  const SeatSetting* user_session = effective_setting(model, SEAT_KEY_USER_SESSION, seat);
  if (user_session == nullptr) {
    choice->origin = SessionOrigin::kBuiltIn;
    constexpr Span kDefault{LIGHTDM_DEFAULT_USER_SESSION,
                            sizeof LIGHTDM_DEFAULT_USER_SESSION - 1};
    decode_keyfile_string(kDefault, &choice->name);
    return;
  }
  if (!keyfile_present(user_session->value, GlibRule::kKeepsBadEscapes)) {
    setting_cannot_tell(choice, *user_session, SEAT_KEY_NAMES[SEAT_KEY_USER_SESSION],
                        _("it is not valid UTF-8, and LightDM gets no session name"));
    return;
  }
  if (!keyfile_present(user_session->value, GlibRule::kRefusesBadEscapes)) {
    setting_cannot_tell(choice, *user_session, SEAT_KEY_NAMES[SEAT_KEY_USER_SESSION],
                        kGlibDiffers);
    return;
  }
  choice->state = SessionChoice::kChosen;
  choice->origin = SessionOrigin::kUserSession;
  choice->setting = user_session;
  choice->name = user_session->value;
}

void judge_desktop_text(Span text, const char* dir, DesktopJudgement* judgement) {
  static const char* const kKeys[] = {"Exec", "X-LightDM-Session-Type"};
  KeyFileFind find;
  find_keyfile_keys(text, "Desktop Entry", kKeys, 2, &find);
  judgement->x_session = false;
  judgement->line = find.problem_line;
  judgement->why = find.problem;
  if (find.outcome != SourceOutcome::kLoaded) {
    judgement->verdict = find.outcome == SourceOutcome::kRejected ? DesktopJudgement::kPasses
                                                                  : DesktopJudgement::kCannotTell;
    return;
  }
  static KeyFileString value;
  switch (read_found_key(find.keys[0], &value)) {
    case KeyReading::kAbsent:
      judgement->verdict = DesktopJudgement::kPasses;
      judgement->why = N_("no Exec in [Desktop Entry]");
      return;
    case KeyReading::kDiffers:
      judgement->verdict = DesktopJudgement::kCannotTell;
      judgement->line = find.keys[0].line;
      judgement->why = N_("its Exec holds an escape that GLib before 2.77.3 (Debian 12) reads "
                          "and later GLib (Debian 13) refuses");
      return;
    case KeyReading::kPresent:
      break;
  }
  judgement->verdict = DesktopJudgement::kWins;
  switch (read_found_key(find.keys[1], &value)) {
    case KeyReading::kAbsent:
      judgement->x_session = std::strcmp(dir, LIGHTDM_WAYLAND_SESSIONS_DIR) != 0;
      return;
    case KeyReading::kDiffers:
      judgement->verdict = DesktopJudgement::kCannotTell;
      judgement->line = find.keys[1].line;
      judgement->why = N_("its X-LightDM-Session-Type holds an escape that GLib before 2.77.3 "
                          "(Debian 12) reads and later GLib (Debian 13) refuses");
      return;
    case KeyReading::kPresent:
      judgement->x_session = keyfile_string_equals(value, "x");
      return;
  }
}

bool is_session_file_name(const KeyFileString& name) {
  return name.len <= KEYFILE_VALUE_MAX && std::memchr(name.text, '/', name.len) == nullptr;
}
