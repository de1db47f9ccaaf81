#include "lightdm/display_setup.h"

#include <cstdio>
#include <cstring>

#include "common/message_queue.h"
#include "common/quote.h"
#include "common/words.h"
#include "lightdm/seat_autologin.h"
#include "lightdm/setting_origin.h"

// LightDM reads these two keys of "[LightDM]" with g_key_file_get_integer and
// g_key_file_get_boolean, on the raw text: strtol with nothing but blanks after the number, and
// "true" or "1" (or "false" or "0") before trailing blanks; anything else reads as 0 and false.
// A display number is taken only as plain digits: a sign, a number past what an X server
// serves, or an escape is not judged. A doubtful user-authority-in-system-dir counts as
// false, which only adds the check of ~/.Xauthority.

namespace {

/// The largest display number judged.
constexpr unsigned kDisplayMax = 65535;

bool is_glib_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// Returns the length of |setting|'s raw value without its trailing blanks, or 0 when the
/// value was cut short.
std::size_t trimmed_length(const LightdmSetting& setting) {
  if (setting.len > LIGHTDM_RAW_MAX) return 0;
  std::size_t len = setting.len;
  while (len > 0 && is_glib_space(setting.raw[len - 1])) --len;
  return len;
}

/// Reads the plain decimal number of |setting| into |*number|. Returns false when it is not one.
bool plain_number(const LightdmSetting& setting, unsigned* number) {
  const std::size_t len = trimmed_length(setting);
  if (len == 0 || len > 5) return false;
  unsigned value = 0;
  for (std::size_t i = 0; i < len; ++i) {
    const char c = setting.raw[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > kDisplayMax) return false;
  *number = value;
  return true;
}

}  // namespace

int seat_display_number(const SeatModel& model, std::size_t seat, unsigned* number,
                        const char* prefix) {
  const LightdmSetting& setting = model.lightdm_raw[LIGHTDM_RAW_KEY_MINIMUM_DISPLAY];
  unsigned minimum = 0;
  if (setting.set && !plain_number(setting, &minimum)) {
    char quoted[quoted_size(LIGHTDM_RAW_MAX)];
    quote_name(setting.raw, quoted, sizeof quoted);
    char value[sizeof quoted + 3];
    std::snprintf(value, sizeof value, "%s%s", quoted, setting.len > LIGHTDM_RAW_MAX ? "..." : "");
    char words[SETTING_ORIGIN_SIZE];
    describe_origin(SettingOrigin{LIGHTDM_RAW_KEY_NAMES[LIGHTDM_RAW_KEY_MINIMUM_DISPLAY], value,
                                  setting.path, nullptr, false, setting.line},
                    OriginWords::kSets, words, sizeof words);
    say("display-number-unknown", prefix, words);
    return 1;
  }
  // seat0 and the seat of a machine without logind come first; the others follow in order.
  const std::size_t offset = seat <= SEAT_INDEX_NO_LOGIND ? 0 : seat - SEAT_INDEX_NO_LOGIND;
  if (offset > kDisplayMax - minimum) {
    say("seat-display-unknown", prefix, seat);
    return 1;
  }
  *number = minimum + static_cast<unsigned>(offset);
  return 0;
}

bool user_authority_in_system_dir(const SeatModel& model) {
  const LightdmSetting& setting = model.lightdm_raw[LIGHTDM_RAW_KEY_USER_AUTHORITY_IN_SYSTEM_DIR];
  if (!setting.set) return false;
  const std::size_t len = trimmed_length(setting);
  return (len == 4 && std::memcmp(setting.raw, "true", 4) == 0) ||
         (len == 1 && setting.raw[0] == '1');
}
