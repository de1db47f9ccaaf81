#include "lightdm/pam_service.h"

#include <cstdio>
#include <cstring>

#include "common/message_queue.h"
#include "common/quote.h"
#include "common/words.h"
#include "lightdm/seat_autologin.h"
#include "lightdm/setting_origin.h"

// LightDM reads pam-autologin-service from the seat sections, like any seat setting, and asks
// that service for every automatic login on the seat. A name PAM would look up as something
// else, or one GLib versions read differently, is not judged.

namespace {

/// Returns true if PAM finds the service |value| names under /etc/pam.d by that very name.
bool is_service_name(const KeyFileString& value) {
  if (!value.present || value.escape_error || value.len == 0 ||
      value.len > PAM_SERVICE_NAME_MAX) {
    return false;
  }
  for (std::size_t i = 0; i < value.len; ++i) {
    const char c = value.text[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          c == '-' || c == '.' || c == '_') ||
        (i == 0 && c == '.')) {
      return false;
    }
  }
  return true;
}

/// Adds |name| on the display of the seat at |seat|. Returns 0, or 1 as seat_display_number.
int add(const SeatModel& model, std::size_t seat, PamServiceList* services, const char* name,
        const char* prefix) {
  unsigned number = 0;
  if (seat_display_number(model, seat, &number, prefix) != 0) return 1;
  char display[DISPLAY_NAME_MAX];
  const int n = std::snprintf(display, sizeof display, ":%u", number);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof display) {
    say("seat-displays-unknown", prefix);
    return 1;
  }
  for (std::size_t i = 0; i < services->count; ++i) {
    if (std::strcmp(services->names[i], name) == 0 &&
        std::strcmp(services->displays[i], display) == 0) {
      return 0;
    }
  }
  std::snprintf(services->names[services->count], PAM_SERVICE_NAME_MAX + 1, "%s", name);
  std::memcpy(services->displays[services->count++], display, sizeof display);
  return 0;
}

}  // namespace

int add_seat_pam_service(const SeatModel& model, std::size_t seat, PamServiceList* services,
                         const char* prefix) {
  const SeatSetting* setting = effective_setting(model, SEAT_KEY_PAM_SERVICE, seat);
  if (setting == nullptr) return add(model, seat, services, DEFAULT_AUTOLOGIN_PAM_SERVICE, prefix);
  if (!is_service_name(setting->value)) {
    char value[quoted_size(KEYFILE_VALUE_MAX)];
    SettingOrigin origin =
        seat_setting_origin(*setting, SEAT_KEY_NAMES[SEAT_KEY_PAM_SERVICE], value, sizeof value);
    origin.section = nullptr;  // the sentence names the file and the line
    char words[SETTING_ORIGIN_SIZE];
    describe_origin(origin, OriginWords::kSets, words, sizeof words);
    say("pam-service-unknown", prefix, words);
    return 1;
  }
  return add(model, seat, services, setting->value.text, prefix);
}

int add_lightdm_pam_service(const SeatModel& model, PamServiceList* services,
                            const char* prefix) {
  const SeatSetting& service = model.lightdm[LIGHTDM_KEY_PAM_SERVICE];
  if (service.set && is_service_name(service.value)) {
    return add(model, SEAT_INDEX_SEAT0, services, service.value.text, prefix);
  }
  return 0;
}

int autologin_pam_services(const SeatModel& model, PamServiceList* services, const char* prefix) {
  services->count = 0;
  for (std::size_t seat = 0; seat < model.seats.count; ++seat) {
    if (add_seat_pam_service(model, seat, services, prefix) != 0) return 1;
  }
  return add_lightdm_pam_service(model, services, prefix);
}
