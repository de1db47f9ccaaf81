#ifndef BRINDLEWAY_GATES_SEATS_H_
#define BRINDLEWAY_GATES_SEATS_H_

#include "lightdm/seat_model.h"

/// Where logind keeps one file for each seat it knows.
inline constexpr char LOGIND_SEATS_DIR[] = "/run/systemd/seats";

/// Adds to |seats| every seat that logind lists in |dir|, as sd_get_seats() reads the list: the
/// names of the files there that do not start with ".", as far as they are seat names. Returns
/// 0, also when |dir| does not exist (no logind), or 1 after saying on standard error, after
/// |prefix|, why the list cannot be read or holds more seats than are judged.
int add_logind_seats(const char* dir, SeatList* seats, const char* prefix);

#endif  // BRINDLEWAY_GATES_SEATS_H_
