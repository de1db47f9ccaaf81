#ifndef BRINDLEWAY_LIGHTDM_SEAT_MODEL_H_
#define BRINDLEWAY_LIGHTDM_SEAT_MODEL_H_

#include <cstddef>

#include "lightdm/keyfile_value.h"

/// The keys that decide whether LightDM logs someone in on a seat without a password, the
/// PAM service it asks when it does, the two that name the session it then starts, and those
/// that name the seat's type and the programs it runs on the way to the session.
enum SeatKey {
  SEAT_KEY_USER,
  SEAT_KEY_TIMEOUT,
  SEAT_KEY_GUEST,
  SEAT_KEY_BACKGROUND,
  SEAT_KEY_PAM_SERVICE,
  SEAT_KEY_SESSION,
  SEAT_KEY_USER_SESSION,
  SEAT_KEY_TYPE,
  SEAT_KEY_XSERVER_COMMAND,
  SEAT_KEY_DISPLAY_SETUP_SCRIPT,
  SEAT_KEY_SESSION_SETUP_SCRIPT,
  SEAT_KEY_SESSION_WRAPPER,
  SEAT_KEY_COUNT
};

/// The keys before it decide who is logged in, when, and by which PAM service.
inline constexpr int SEAT_KEY_AUTOLOGIN_END = SEAT_KEY_SESSION;

/// The key names, in SeatKey order.
inline constexpr const char* SEAT_KEY_NAMES[SEAT_KEY_COUNT] = {
    "autologin-user", "autologin-user-timeout", "autologin-guest", "autologin-in-background",
    "pam-autologin-service", "autologin-session", "user-session", "type", "xserver-command",
    "display-setup-script", "session-setup-script", "session-wrapper"};

/// The keys of "[LightDM]" that the helper reads.
enum LightdmKey {
  LIGHTDM_KEY_PAM_SERVICE,
  LIGHTDM_KEY_SESSIONS_DIR,
  LIGHTDM_KEY_CACHE_DIR,
  LIGHTDM_KEY_COUNT
};

/// The key names, in LightdmKey order.
inline constexpr const char* LIGHTDM_KEY_NAMES[LIGHTDM_KEY_COUNT] = {
    "pam-autologin-service", "sessions-directory", "cache-directory"};

/// The most seats judged, and the longest seat name kept. logind names seats "seat" and a few
/// more letters; a system with more seats, or longer names, is not judged.
inline constexpr std::size_t SEATS_MAX = 32;
inline constexpr std::size_t SEAT_NAME_MAX = 63;

/// The seats whose settings are worked out: seat0, which LightDM gets from logind on every
/// machine that has it; the one seat of a machine without logind, which matches seat sections
/// as if its name were empty; then every other seat logind lists.
struct SeatList {
  char names[SEATS_MAX][SEAT_NAME_MAX + 1];
  std::size_t count;
};
inline constexpr std::size_t SEAT_INDEX_SEAT0 = 0;
inline constexpr std::size_t SEAT_INDEX_NO_LOGIND = 1;

/// Empties |seats| down to seat0 and the seat of a machine without logind.
void seat_list_reset(SeatList* seats);

/// Adds the seat |name| unless it is listed already. Returns 0, or 1 when the list is full or
/// the name too long.
int seat_list_add(SeatList* seats, const char* name);

/// The most seat sections kept: "[Seat:*]" and the "[Seat:GLOB]" sections that apply to one of
/// the seats listed. A configuration with more is not judged.
inline constexpr std::size_t SEAT_GROUPS_MAX = 16;
/// The longest section name and source path kept.
inline constexpr std::size_t SEAT_GROUP_NAME_MAX = 255;
inline constexpr std::size_t SOURCE_PATH_MAX = 511;

/// One key's value in one section, and the line that set it last.
struct SeatSetting {
  bool set;
  KeyFileString value;
  char path[SOURCE_PATH_MAX + 1];
  /// The section as the line's file names it ("SeatDefaults" stays "SeatDefaults"), or the
  /// variable for a setting of the system's sysconfig file.
  char section[SEAT_GROUP_NAME_MAX + 1];
  unsigned line;
  /// The setting comes from a sysconfig variable, not from a key of a section.
  bool from_sysconfig;
};

/// One section after every source is merged, under its merged name ("SeatDefaults" becomes
/// "Seat:*").
struct SeatGroup {
  char name[SEAT_GROUP_NAME_MAX + 1];
  bool applies[SEATS_MAX];
  SeatSetting settings[SEAT_KEY_COUNT];
};

/// The keys of "[LightDM]" that decide how LightDM sets up a session's X display, and whether
/// it starts a seat at all. They are
/// kept as written, since LightDM reads them with GLib's integer and boolean readers.
enum LightdmRawKey {
  LIGHTDM_RAW_KEY_MINIMUM_DISPLAY,
  LIGHTDM_RAW_KEY_USER_AUTHORITY_IN_SYSTEM_DIR,
  LIGHTDM_RAW_KEY_START_DEFAULT_SEAT,
  LIGHTDM_RAW_KEY_COUNT
};

/// The key names, in LightdmRawKey order.
inline constexpr const char* LIGHTDM_RAW_KEY_NAMES[LIGHTDM_RAW_KEY_COUNT] = {
    "minimum-display-number", "user-authority-in-system-dir", "start-default-seat"};

/// The longest raw value of a LightdmRawKey kept whole.
inline constexpr std::size_t LIGHTDM_RAW_MAX = 63;

/// A LightdmRawKey of "[LightDM]" as its line has it. LightDM reads these with
/// g_key_file_get_integer and g_key_file_get_boolean, which take the text as written, escapes
/// and all.
struct LightdmSetting {
  bool set;
  /// The raw value, NUL-terminated, cut short at LIGHTDM_RAW_MAX bytes.
  char raw[LIGHTDM_RAW_MAX + 1];
  /// The length of the whole raw value.
  std::size_t len;
  char path[SOURCE_PATH_MAX + 1];
  unsigned line;
};

/// What LightDM's configuration, every source merged in order, says about automatic login.
struct SeatModel {
  /// The seats the settings are worked out for.
  SeatList seats;
  /// groups[0] is "[Seat:*]"; the others follow in the order of their first appearance.
  SeatGroup groups[SEAT_GROUPS_MAX];
  std::size_t group_count;
  /// The keys of "[LightDM]". LightDM does not read pam-autologin-service there: it takes the
  /// key from the seat sections. The PAM check asks this service too, since someone meant it to
  /// count.
  SeatSetting lightdm[LIGHTDM_KEY_COUNT];
  /// The LightdmRawKey settings of "[LightDM]".
  LightdmSetting lightdm_raw[LIGHTDM_RAW_KEY_COUNT];
  /// openSUSE's DISPLAYMANAGER_AUTOLOGIN, where it names someone.
  SeatSetting sysconfig_autologin;
};

/// Empties |model| and works it out for |seats| from now on.
void seat_model_reset(SeatModel* model, const SeatList& seats);

/// Returns the setting of |key| that LightDM applies on the seat at |seat| in the model's seat
/// list, or null when no source sets it: "[Seat:*]" first, then each matching "[Seat:GLOB]" in
/// the order of its first appearance.
const SeatSetting* effective_setting(const SeatModel& model, SeatKey key, std::size_t seat);

/// Returns true if |glob| matches |name| as g_pattern_match_simple does: "*" matches any run
/// of characters and "?" any one; there is no escape.
bool seat_glob_matches(const char* glob, std::size_t glob_len, const char* name);

#endif  // BRINDLEWAY_LIGHTDM_SEAT_MODEL_H_
