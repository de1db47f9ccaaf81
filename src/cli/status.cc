#include "cli/status.h"

#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "cli/process_setup.h"
#include "cli/username.h"
#include "common/message_queue.h"
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

/// PAM's answers so far, so that seats asking the same service about the same user ask once.
/// A seat asks at most two services (its own and the one "[LightDM]" names), on its display, so
/// every answer of a run has its own entry.
struct PamMemo {
  struct Entry {
    char service[PAM_SERVICE_NAME_MAX + 1];
    char display[DISPLAY_NAME_MAX];
    const char* user;
    PamVerdict verdict;
  } entries[2 * SEATS_MAX];
  std::size_t count;
};

/// What LightDM does on one seat, PAM's answer included.
struct SeatView {
  SeatAutologin state;
  /// The answer of the service that refuses the user LightDM would log in there; null when
  /// every service lets the user in, or when PAM is not asked.
  const PamMemo::Entry* refused;
};

/// Returns PAM's answer for |service| and |user| on |display|, asking only the first time.
const PamMemo::Entry& ask_once(PamMemo* memo, const char* service, const char* display,
                               const char* user) {
  for (std::size_t i = 0; i < memo->count; ++i) {
    const PamMemo::Entry& entry = memo->entries[i];
    if (std::strcmp(entry.service, service) == 0 && std::strcmp(entry.display, display) == 0 &&
        std::strcmp(entry.user, user) == 0) {
      return entry;
    }
  }
  PamMemo::Entry& entry = memo->entries[memo->count++];
  std::snprintf(entry.service, sizeof entry.service, "%s", service);
  std::snprintf(entry.display, sizeof entry.display, "%s", display);
  entry.user = user;
  entry.verdict = ask_pam(service, user, display);
  return entry;
}

/// Fills |view| for the seat at |seat|. Run as root, asks the PAM services LightDM would ask
/// there about the user it would log in. Returns 0, or 1 after saying why it cannot be told.
int view_seat(const SeatModel& model, std::size_t seat, PamMemo* memo, SeatView* view) {
  view->state = seat_autologin(model, seat, GlibRule::kKeepsBadEscapes);
  view->refused = nullptr;
  const SeatAutologin& state = view->state;
  if (geteuid() != 0 || state.who != AutologinWho::kUser || state.when == AutologinWhen::kNever ||
      !is_valid_username(state.settings[SEAT_KEY_USER]->value.text)) {
    return 0;
  }
  const char* user = state.settings[SEAT_KEY_USER]->value.text;
  static PamServiceList services;
  services.count = 0;
  if (add_seat_pam_service(model, seat, &services, kPrefix) != 0) return 1;
  if (add_lightdm_pam_service(model, &services, kPrefix) != 0) return 1;
  for (std::size_t i = 0; i < services.count; ++i) {
    const PamMemo::Entry& entry = ask_once(memo, services.names[i], services.displays[i], user);
    if (!entry.verdict.asked) {
      msg_err("%scannot ask LightDM's PAM service %s: %s\n", kPrefix,
                   entry.service, entry.verdict.reason);
      return 1;
    }
    if (!entry.verdict.allowed) {
      view->refused = &entry;
      return 0;
    }
  }
  return 0;
}

bool same_view(const SeatView& a, const SeatView& b) {
  return same_outcome(a.state, b.state) && a.refused == b.refused;
}

/// Writes into |buf| what LightDM would do on a seat, as a phrase after "LightDM would".
void describe_view(const SeatView& view, char* buf, std::size_t size) {
  if (view.refused != nullptr) {
    std::snprintf(buf, size, "show the greeter and log nobody in");
  } else {
    describe_autologin(view.state, buf, size);
  }
}

/// Prints the refusal of |view|, if any: ": its PAM service S refuses U (REASON)".
void print_refusal(const SeatView& view) {
  if (view.refused == nullptr) return;
  msg_out(": its PAM service %s refuses %s (%s)", view.refused->service,
               view.refused->user, view.refused->verdict.reason);
}

void print_first_line(const SeatView& view) {
  const SeatAutologin& state = view.state;
  if (state.who == AutologinWho::kNobody) {
    msg_out("Auto login disabled\n");
    return;
  }
  if (view.refused != nullptr) {
    msg_out("LightDM will show the greeter and log nobody in on seat0");
    print_refusal(view);
    msg_out("\n");
    return;
  }
  const SeatSetting* user = state.settings[SEAT_KEY_USER];
  if (state.who == AutologinWho::kUser && state.when == AutologinWhen::kAtOnce &&
      is_valid_username(user->value.text) && user->value.len <= KEYFILE_VALUE_MAX) {
    msg_out("Auto login enabled for user: %s\n", user->value.text);
    return;
  }
  char what[KEYFILE_VALUE_MAX * 4 + 96];
  describe_autologin(state, what, sizeof what);
  msg_out("LightDM will %s on seat0\n", what);
}

void print_origin(const SeatSetting* setting, SeatKey key) {
  if (setting == nullptr) {
    msg_out("%s is not set\n", SEAT_KEY_NAMES[key]);
    return;
  }
  char value[KEYFILE_VALUE_MAX * 4 + 8];
  quote_value(setting->value, value, sizeof value);
  char path[SOURCE_PATH_MAX * 4 + 8];
  quote_name(setting->path, path, sizeof path);
  char section[SEAT_GROUP_NAME_MAX * 4 + 8];
  quote_name(setting->section, section, sizeof section);
  // A sysconfig variable is named as it stands; a section in its brackets.
  const char* left = setting->from_sysconfig ? "" : "[";
  const char* right = setting->from_sysconfig ? "" : "]";
  msg_out("%s=%s from %s %s%s%s line %u\n", SEAT_KEY_NAMES[key], value, path, left,
               section, right, setting->line);
}

/// Prints a line for every seat other than seat0 where LightDM would do otherwise.
void print_other_seats(const SeatModel& model, const SeatView views[]) {
  for (std::size_t seat = 1; seat < model.seats.count; ++seat) {
    const SeatView& view = views[seat];
    if (same_view(views[SEAT_INDEX_SEAT0], view)) continue;
    char what[KEYFILE_VALUE_MAX * 4 + 96];
    describe_view(view, what, sizeof what);
    if (seat == SEAT_INDEX_NO_LOGIND) {
      msg_out("Without logind, LightDM would %s instead", what);
    } else {
      msg_out("On %s, LightDM would %s instead", model.seats.names[seat], what);
    }
    print_refusal(view);
    msg_out("\n");
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
  // Both GLib versions read the same now; either rule gives the answer. Every seat is worked
  // out, PAM asked, before anything is printed, so that a failure prints no half answer.
  static PamMemo memo;
  memo.count = 0;
  static SeatView views[SEATS_MAX];
  for (std::size_t seat = 0; seat < model->seats.count; ++seat) {
    if (view_seat(*model, seat, &memo, &views[seat]) != 0) return 1;
  }
  const SeatView& seat0 = views[SEAT_INDEX_SEAT0];
  print_first_line(seat0);
  print_origin(seat0.state.settings[SEAT_KEY_USER], SEAT_KEY_USER);
  for (int key = SEAT_KEY_USER + 1; key < SEAT_KEY_COUNT; ++key) {
    if (seat0.state.settings[key] != nullptr) {
      print_origin(seat0.state.settings[key], static_cast<SeatKey>(key));
    }
  }
  print_other_seats(*model, views);
  char warning[512];
  if (other_display_manager(display_manager, warning, sizeof warning)) {
    msg_out("%s\n", warning);
  }
  // What status prints is all it does: an answer that did not arrive is a failure.
  msg_out_is_answer();
  return 0;
}
