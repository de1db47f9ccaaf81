#include "cli/status.h"

#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "cli/process_setup.h"
#include "cli/username.h"
#include "gates/pam_gate.h"
#include "gates/seats.h"
#include "lightdm/pam_service.h"
#include "lightdm/seat_autologin.h"
#include "seatconf/conf_file.h"
#include "seatconf/promise_check.h"

// The first line speaks the vocabulary of the success lines, so that a settings program parses
// one set of texts: "Auto login enabled for user: NAME" and "Auto login disabled" stand for
// exactly what enable and disable promise, and every other state gets a plain sentence. Only
// root may ask PAM; without root the first line stands for what LightDM's files say.

namespace {

constexpr char kPrefix[] = "Cannot tell what LightDM does: ";

/// Asks, as root, the PAM services of seat0 about the user |state| logs in. Returns 0 with
/// |*refused| set to the first refusal's text (empty when every service lets the user in, or
/// when PAM is not asked), or 1 after saying why it cannot be told.
int ask_pam_about(const SeatModel& model, const SeatAutologin& state, char* refused,
                  std::size_t size) {
  refused[0] = '\0';
  const char* user = state.settings[SEAT_KEY_USER] != nullptr
                         ? state.settings[SEAT_KEY_USER]->value.text
                         : nullptr;
  if (geteuid() != 0 || state.who != AutologinWho::kUser || state.when == AutologinWhen::kNever ||
      !is_valid_username(user)) {
    return 0;
  }
  static PamServiceList services;
  if (autologin_pam_services(model, true, &services, kPrefix) != 0) return 1;
  for (std::size_t i = 0; i < services.count; ++i) {
    const PamVerdict verdict = ask_pam(services.names[i], user);
    if (!verdict.asked) {
      std::fprintf(stderr, "%scannot ask LightDM's PAM service %s: %s\n", kPrefix,
                   services.names[i], verdict.reason);
      return 1;
    }
    if (!verdict.allowed) {
      // A refusal too long for |refused| is cut; its opening says what matters.
      if (std::snprintf(refused, size, "its PAM service %s refuses %s (%s)", services.names[i],
                        user, verdict.reason) < 0) {
        std::snprintf(refused, size, "its PAM service refuses the account");
      }
      return 0;
    }
  }
  return 0;
}

void print_first_line(const SeatAutologin& state, const char* pam_refusal) {
  if (state.who == AutologinWho::kNobody) {
    std::fprintf(stdout, "Auto login disabled\n");
    return;
  }
  if (pam_refusal[0] != '\0') {
    std::fprintf(stdout, "LightDM will show the greeter and log nobody in on seat0: %s\n",
                 pam_refusal);
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
  if (setting->from_sysconfig) {
    std::fprintf(stdout, "%s=%s from %s %s line %u\n", SEAT_KEY_NAMES[key], value, path,
                 section, setting->line);
  } else {
    std::fprintf(stdout, "%s=%s from %s [%s] line %u\n", SEAT_KEY_NAMES[key], value, path,
                 section, setting->line);
  }
}

/// Prints a line for every seat other than seat0 where LightDM would do otherwise.
void print_other_seats(const SeatModel& model, const SeatAutologin& seat0) {
  for (std::size_t seat = 1; seat < model.seats.count; ++seat) {
    const SeatAutologin state = seat_autologin(model, seat, GlibRule::kKeepsBadEscapes);
    if (same_outcome(seat0, state)) continue;
    char what[KEYFILE_VALUE_MAX * 4 + 96];
    describe_autologin(state, what, sizeof what);
    if (seat == SEAT_INDEX_NO_LOGIND) {
      std::fprintf(stdout, "Without logind, LightDM would %s instead\n", what);
    } else {
      std::fprintf(stdout, "On %s, LightDM would %s instead\n", model.seats.names[seat], what);
    }
  }
}

}  // namespace

int run_status(const ConfigPaths& paths, const char* seats_dir,
               const DisplayManagerPaths& display_manager) {
  static SeatList seats;
  seat_list_reset(&seats);
  if (add_logind_seats(seats_dir, &seats, kPrefix) != 0) return 1;
  const SeatModel* model = read_lightdm_state(paths, seats, kPrefix);
  if (model == nullptr || check_glib_readings(*model, kPrefix) != 0) return 1;
  // Both GLib versions read the same now; either rule gives the answer.
  const SeatAutologin state = seat_autologin(*model, SEAT_INDEX_SEAT0, GlibRule::kKeepsBadEscapes);
  char pam_refusal[KEYFILE_VALUE_MAX + 512];
  if (ask_pam_about(*model, state, pam_refusal, sizeof pam_refusal) != 0) return 1;
  print_first_line(state, pam_refusal);
  print_origin(state.settings[SEAT_KEY_USER], SEAT_KEY_USER);
  for (int key = SEAT_KEY_USER + 1; key < SEAT_KEY_COUNT; ++key) {
    if (state.settings[key] != nullptr) {
      print_origin(state.settings[key], static_cast<SeatKey>(key));
    }
  }
  print_other_seats(*model, state);
  char warning[512];
  if (other_display_manager(display_manager, warning, sizeof warning)) {
    std::fprintf(stdout, "%s\n", warning);
  }
  // What status prints is all it does: an answer that did not arrive is a failure.
  return finish_standard_output();
}
