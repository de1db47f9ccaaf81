#ifndef BRINDLEWAY_LIGHTDM_DISPLAY_SETUP_H_
#define BRINDLEWAY_LIGHTDM_DISPLAY_SETUP_H_

#include <cstddef>

#include "lightdm/seat_model.h"

/// Room for an X display address ":N" and its terminator.
inline constexpr std::size_t DISPLAY_NAME_MAX = 16;

/// Sets |*number| to the X display number LightDM gives the seat at |seat| of |model| at boot:
/// the first free number from "[LightDM]" minimum-display-number (default 0), which seat0 (or
/// the one seat of a machine without logind) takes; the other seats are taken to get the next
/// numbers in the order logind lists them. Returns 0, or 1 after saying on standard error,
/// after |prefix|, that the setting cannot be read for certain.
int seat_display_number(const SeatModel& model, std::size_t seat, unsigned* number,
                        const char* prefix);

/// Returns true if "[LightDM]" user-authority-in-system-dir is true: LightDM then writes a
/// session's X authority under its own run directory, not in the user's home.
bool user_authority_in_system_dir(const SeatModel& model);

/// Returns true if "[LightDM]" start-default-seat reads as true, as it does where no source sets
/// it: LightDM then starts its seats at boot.
bool starts_default_seat(const SeatModel& model);

#endif  // BRINDLEWAY_LIGHTDM_DISPLAY_SETUP_H_
