#include "cli/status.h"

#include <cstdio>
#include <cstring>

#include "cli/process_setup.h"
#include "cli/username.h"
#include "lightdm/seat_autologin.h"
#include "seatconf/conf_file.h"

// The first line speaks the vocabulary of the success lines, so that a settings program parses
// one set of texts: "Auto login enabled for user: NAME" and "Auto login disabled" stand for
// exactly what enable and disable promise, and every other state gets a plain sentence.

namespace {

/// Returns true if |a| and |b| make LightDM do the same.
bool same_outcome(const SeatAutologin& a, const SeatAutologin& b) {
  if (a.who != b.who) return false;
  if (a.who == AutologinWho::kNobody) return true;
  if (a.when != b.when || (a.when == AutologinWhen::kCountdown && a.timeout != b.timeout)) {
    return false;
  }
  return a.who != AutologinWho::kUser ||
         (a.settings[SEAT_KEY_USER]->value.len == b.settings[SEAT_KEY_USER]->value.len &&
          std::strcmp(a.settings[SEAT_KEY_USER]->value.text,
                      b.settings[SEAT_KEY_USER]->value.text) == 0);
}

void print_first_line(const SeatAutologin& state) {
  if (state.who == AutologinWho::kNobody) {
    std::fprintf(stdout, "Auto login disabled\n");
    return;
  }
  const SeatSetting* user = state.settings[SEAT_KEY_USER];
  if (state.who == AutologinWho::kUser && state.when == AutologinWhen::kAtOnce &&
      is_valid_username(user->value.text) && user->value.len <= KEYFILE_VALUE_MAX) {
    std::fprintf(stdout, "Auto login enabled for user: %s\n", user->value.text);
    return;
  }
  char what[KEYFILE_VALUE_MAX * 4 + 96];
  describe_autologin(state, what, sizeof what);
  std::fprintf(stdout, "LightDM will %s on seat0\n", what);
}

void print_origin(const SeatSetting* setting, SeatKey key) {
  if (setting == nullptr) {
    std::fprintf(stdout, "%s is not set\n", SEAT_KEY_NAMES[key]);
    return;
  }
  char value[KEYFILE_VALUE_MAX * 4 + 8];
  quote_value(setting->value, value, sizeof value);
  char path[SOURCE_PATH_MAX * 4 + 8];
  quote_name(setting->path, path, sizeof path);
  char section[SEAT_GROUP_NAME_MAX * 4 + 8];
  quote_name(setting->section, section, sizeof section);
  std::fprintf(stdout, "%s=%s from %s [%s] line %u\n", SEAT_KEY_NAMES[key], value, path, section,
              setting->line);
}

}  // namespace

int run_status(const ConfigPaths& paths) {
  const SeatModel* model = read_lightdm_state(paths, "Cannot tell what LightDM does: ");
  if (model == nullptr) return 1;
  SeatAutologin state = seat_autologin(*model, SEAT_NAME_SEAT0);
  print_first_line(state);
  print_origin(state.settings[SEAT_KEY_USER], SEAT_KEY_USER);
  for (int key = SEAT_KEY_USER + 1; key < SEAT_KEY_COUNT; ++key) {
    if (state.settings[key] != nullptr) {
      print_origin(state.settings[key], static_cast<SeatKey>(key));
    }
  }
  // Without logind LightDM's one seat matches its sections as an empty name, which a
  // [Seat:seat0] section does not: say so where that makes a difference.
  SeatAutologin no_logind = seat_autologin(*model, SEAT_NAME_DEFAULT);
  if (!same_outcome(state, no_logind)) {
    char what[KEYFILE_VALUE_MAX * 4 + 96];
    describe_autologin(no_logind, what, sizeof what);
    std::fprintf(stdout, "Without logind, LightDM would %s instead\n", what);
  }
  // What status prints is all it does: an answer that did not arrive is a failure.
  return finish_standard_output();
}
