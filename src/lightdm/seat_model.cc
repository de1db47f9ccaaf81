#include "lightdm/seat_model.h"

#include <cstring>

void seat_model_reset(SeatModel* model) {
  model->group_count = 1;
  SeatGroup& base = model->groups[0];
  std::memcpy(base.name, "Seat:*", sizeof "Seat:*");
  for (bool& applies : base.applies) applies = true;
  for (SeatSetting& setting : base.settings) setting.set = false;
}

const SeatSetting* effective_setting(const SeatModel& model, SeatKey key, SeatName seat) {
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
