#ifndef BRINDLEWAY_LIGHTDM_PAM_SERVICE_H_
#define BRINDLEWAY_LIGHTDM_PAM_SERVICE_H_

#include <cstddef>

#include "lightdm/seat_model.h"

/// The PAM service LightDM uses for an automatic login where no source names one.
inline constexpr char DEFAULT_AUTOLOGIN_PAM_SERVICE[] = "lightdm-autologin";

/// The longest PAM service name judged.
inline constexpr std::size_t PAM_SERVICE_NAME_MAX = 63;

/// The PAM services an automatic login may go through, each named once.
struct PamServiceList {
  char names[SEATS_MAX + 1][PAM_SERVICE_NAME_MAX + 1];
  std::size_t count;
};

/// Fills |services| with the PAM service that LightDM asks for an automatic login on each seat
/// of |model| (only seat0 when |seat0_only|), by either GLib's reading, and with the one that
/// "[LightDM]" names, which LightDM ignores but whoever wrote it meant to count. Returns 0, or 1
/// after saying on standard error, after |prefix|, which setting names no service that can be
/// told.
int autologin_pam_services(const SeatModel& model, bool seat0_only, PamServiceList* services,
                           const char* prefix);

#endif  // BRINDLEWAY_LIGHTDM_PAM_SERVICE_H_
