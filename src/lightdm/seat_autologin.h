#ifndef BRINDLEWAY_LIGHTDM_SEAT_AUTOLOGIN_H_
#define BRINDLEWAY_LIGHTDM_SEAT_AUTOLOGIN_H_

#include <cstddef>

#include "common/quote.h"
#include "lightdm/seat_model.h"

/// Whom LightDM logs in on a seat when it starts.
enum class AutologinWho { kNobody, kUser, kGuest };

/// When it does.
enum class AutologinWhen {
  kAtOnce,      // before any greeter
  kBackground,  // at once, but behind a greeter
  kCountdown,   // after the greeter counted down autologin-user-timeout seconds
  kNever,       // a negative timeout: the greeter shows and nobody is logged in
};

/// What LightDM does about automatic login on one seat, and the settings that decide it.
struct SeatAutologin {
  AutologinWho who;
  AutologinWhen when;
  int timeout;
  /// The effective setting of each key, null where no source sets it.
  const SeatSetting* settings[SEAT_KEY_COUNT];
};

/// Works out what LightDM 1.26 and 1.32 do on the seat at |seat| in the model's seat list
/// (seat_real_start), reading values by |rule|: a guest login when autologin-guest is true, else
/// the user autologin-user names when it is not empty; at once when autologin-user-timeout is 0
/// (or not a number) or autologin-in-background is true, otherwise after a countdown, or never
/// for a negative timeout.
SeatAutologin seat_autologin(const SeatModel& model, std::size_t seat, GlibRule rule);

/// Returns true if |a| and |b| make LightDM do the same.
bool same_outcome(const SeatAutologin& a, const SeatAutologin& b);

/// Returns the first of the settings that decide |a| whose reading differs between the two GLib
/// rules, or null when none does.
const SeatSetting* glib_dependent_setting(const SeatAutologin& a, SeatKey* key);

/// What LightDM does on a seat, as far as the sentences that say it differ.
enum class AutologinOutcome { kNobody, kAtOnce, kBackground, kCountdown };

/// The most bytes autologin_outcome writes for whom LightDM logs in, the terminator counted.
inline constexpr std::size_t AUTOLOGIN_WHO_SIZE = quoted_size(KEYFILE_VALUE_MAX);

/// Returns what |state| makes LightDM do, and writes into |who| (AUTOLOGIN_WHO_SIZE bytes)
/// whom it logs in: the user's name quoted, or "a guest" in the reader's language. Each outcome
/// has whole sentences of its own at every place it is said, so that they translate.
AutologinOutcome autologin_outcome(const SeatAutologin& state, char* who);

/// Writes |value| into |buf| (|size| bytes) for a message: printable ASCII as it is, a
/// backslash, a space and every other byte as \xNN, so no value can forge a line or a terminal
/// control, and a trailing blank shows.
void quote_value(const KeyFileString& value, char* buf, std::size_t size);

#endif  // BRINDLEWAY_LIGHTDM_SEAT_AUTOLOGIN_H_
