#include "lightdm/seat_model.h"

#include <cstring>

void seat_list_reset(SeatList* seats) {
  seats->count = 0;
  seat_list_add(seats, "seat0");
  seat_list_add(seats, "");
}

int seat_list_add(SeatList* seats, const char* name) {
  for (std::size_t i = 0; i < seats->count; ++i) {
    if (std::strcmp(seats->names[i], name) == 0) return 0;
  }
  std::size_t len = std::strlen(name);
  if (seats->count == SEATS_MAX || len > SEAT_NAME_MAX) return 1;
  std::memcpy(seats->names[seats->count++], name, len + 1);
  return 0;
}

void seat_model_reset(SeatModel* model, const SeatList& seats) {
  model->seats = seats;
  for (SeatSetting& setting : model->lightdm) setting.set = false;
  for (LightdmSetting& setting : model->lightdm_raw) setting.set = false;
  model->sysconfig_autologin.set = false;
  model->group_count = 1;
  SeatGroup& base = model->groups[0];
  std::memcpy(base.name, "Seat:*", sizeof "Seat:*");
  for (bool& applies : base.applies) applies = true;
  for (SeatSetting& setting : base.settings) setting.set = false;
}

const SeatSetting* effective_setting(const SeatModel& model, SeatKey key, std::size_t seat) {
  const SeatSetting* winner = nullptr;
  for (std::size_t i = 0; i < model.group_count; ++i) {
    const SeatGroup& group = model.groups[i];
    if (group.applies[seat] && group.settings[key].set) winner = &group.settings[key];
  }
  return winner;
}

bool seat_glob_matches(const char* glob, std::size_t glob_len, const char* name) {
  // The classic backtracking match: on a mismatch, let the last "*" take one more character.
  // The seat names are ASCII, so matching byte by byte is matching character by character.
  std::size_t g = 0;
  const char* n = name;
  std::size_t star = glob_len;
  const char* star_name = nullptr;
  while (*n != '\0') {
    if (g < glob_len && (glob[g] == '?' || glob[g] == *n)) {
      ++g;
      ++n;
    } else if (g < glob_len && glob[g] == '*') {
      star = g++;
      star_name = n;
    } else if (star != glob_len) {
      g = star + 1;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (g < glob_len && glob[g] == '*') ++g;
  return g == glob_len;
}
