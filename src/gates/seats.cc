#include "gates/seats.h"

#include "common/message_queue.h"
#include "common/words.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>

// LightDM starts a display on every seat that logind lists, and applies to each the seat
// sections whose glob matches its name. A seat it does not list reads nothing, so its sections
// change nothing; a seat it lists is as much the promise's business as seat0.

namespace {

/// logind's rule for seat names: "seat", then letters, digits, "-" and "_".
bool is_seat_name(const char* name) {
  if (std::memcmp(name, "seat", 4) != 0 || name[4] == '\0') return false;
  for (const char* p = name + 4; *p != '\0'; ++p) {
    const char c = *p;
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          c == '-' || c == '_')) {
      return false;
    }
  }
  return true;
}

}  // namespace

int add_logind_seats(const char* dir, SeatList* seats, const char* prefix) {
  DIR* listing = opendir(dir);
  if (listing == nullptr) {
    if (errno == ENOENT) return 0;
    say("seats-unlistable", prefix, dir, std::strerror(errno));
    return 1;
  }
  int result = 0;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(listing);
    if (entry == nullptr) {
      if (errno != 0) {
        say("seats-unlistable", prefix, dir, std::strerror(errno));
        result = 1;
      }
      break;
    }
    if (entry->d_name[0] == '.' || !is_seat_name(entry->d_name)) continue;
    if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) continue;
    if (seat_list_add(seats, entry->d_name) != 0) {
      say("too-many-seats", prefix, dir, SEATS_MAX - 1, SEAT_NAME_MAX);
      result = 1;
      break;
    }
  }
  closedir(listing);
  return result;
}
