#ifndef BRINDLEWAY_LIGHTDM_SEAT_MODEL_H_
#define BRINDLEWAY_LIGHTDM_SEAT_MODEL_H_

#include <cstddef>

#include "lightdm/keyfile_value.h"

/// The keys that decide whether LightDM logs someone in on a seat without a password.
enum SeatKey {
  SEAT_KEY_USER,
  SEAT_KEY_TIMEOUT,
  SEAT_KEY_GUEST,
  SEAT_KEY_BACKGROUND,
  SEAT_KEY_COUNT
};

/// The key names, in SeatKey order.
inline constexpr const char* SEAT_KEY_NAMES[SEAT_KEY_COUNT] = {
    "autologin-user", "autologin-user-timeout", "autologin-guest", "autologin-in-background"};

/// The seats whose settings are worked out. LightDM names the seat that logind gives it
/// "seat0"; without logind its one seat matches its sections as if its name were empty.
enum SeatName { SEAT_NAME_SEAT0, SEAT_NAME_DEFAULT, SEAT_NAME_COUNT };

/// The most seat sections kept: "[Seat:*]" and the "[Seat:GLOB]" sections that apply to one of
/// the seats above. A configuration with more is not judged.
inline constexpr std::size_t SEAT_GROUPS_MAX = 8;
/// The longest section name and source path kept.
inline constexpr std::size_t SEAT_GROUP_NAME_MAX = 255;
inline constexpr std::size_t SOURCE_PATH_MAX = 511;

/// One key's value in one section, and the line that set it last.
struct SeatSetting {
  bool set;
  KeyFileString value;
  char path[SOURCE_PATH_MAX + 1];
  /// The section as the line's file names it ("SeatDefaults" stays "SeatDefaults").
  char section[SEAT_GROUP_NAME_MAX + 1];
  unsigned line;
};

/// One section after every source is merged, under its merged name ("SeatDefaults" becomes
/// "Seat:*").
struct SeatGroup {
  char name[SEAT_GROUP_NAME_MAX + 1];
  bool applies[SEAT_NAME_COUNT];
  SeatSetting settings[SEAT_KEY_COUNT];
};

/// What LightDM's configuration, every source merged in order, says about automatic login.
struct SeatModel {
  /// groups[0] is "[Seat:*]"; the others follow in the order of their first appearance.
  SeatGroup groups[SEAT_GROUPS_MAX];
  std::size_t group_count;
};

/// Empties |model|.
void seat_model_reset(SeatModel* model);

/// Returns the setting of |key| that LightDM applies on |seat|, or null when no source sets it:
/// "[Seat:*]" first, then each matching "[Seat:GLOB]" in the order of its first appearance.
const SeatSetting* effective_setting(const SeatModel& model, SeatKey key, SeatName seat);

/// Returns true if |glob| matches |name| as g_pattern_match_simple does: "*" matches any run
/// of characters and "?" any one; there is no escape.
bool seat_glob_matches(const char* glob, std::size_t glob_len, const char* name);

#endif  // BRINDLEWAY_LIGHTDM_SEAT_MODEL_H_
