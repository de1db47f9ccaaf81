#ifndef BRINDLEWAY_LIGHTDM_PAM_SERVICE_H_
#define BRINDLEWAY_LIGHTDM_PAM_SERVICE_H_

#include <cstddef>

#include "lightdm/display_setup.h"
#include "lightdm/seat_model.h"

/// The PAM service LightDM uses for an automatic login where no source names one.
inline constexpr char DEFAULT_AUTOLOGIN_PAM_SERVICE[] = "lightdm-autologin";

/// The longest PAM service name judged.
inline constexpr std::size_t PAM_SERVICE_NAME_MAX = 63;

/// The PAM services an automatic login may go through, each with the X display it is asked on
/// (":N", as LightDM sets PAM_XDISPLAY and PAM_TTY); each pair is listed once.
struct PamServiceList {
  char names[SEATS_MAX + 1][PAM_SERVICE_NAME_MAX + 1];
  char displays[SEATS_MAX + 1][DISPLAY_NAME_MAX];
  std::size_t count;
};

/// Adds to |services|, unless it is there already, the PAM service that LightDM asks for an
/// automatic login on the seat at |seat| of |model|, by either GLib's reading, with the seat's
/// display. Returns 0, or 1 after saying on standard error, after |prefix|, which setting names
/// no service or display that can be told.
int add_seat_pam_service(const SeatModel& model, std::size_t seat, PamServiceList* services,
                         const char* prefix);

/// Adds to |services| the service that "[LightDM]" names, if any, on seat0's display: LightDM
/// ignores it, but whoever wrote it meant it to count. Returns 0, or 1 as
/// add_seat_pam_service does.
int add_lightdm_pam_service(const SeatModel& model, PamServiceList* services,
                            const char* prefix);

/// Fills |services| with the PAM service of every seat of |model| and the one "[LightDM]"
/// names. Returns 0, or 1 as add_seat_pam_service does.
int autologin_pam_services(const SeatModel& model, PamServiceList* services, const char* prefix);

#endif  // BRINDLEWAY_LIGHTDM_PAM_SERVICE_H_
