#include "lightdm/seat_autologin.h"

#include <cstdio>
#include <cstring>

#include "common/i18n.h"

namespace {

bool is_true(const SeatSetting* setting, GlibRule rule) {
  return setting != nullptr && seat_boolean(setting->value, rule);
}

}  // namespace

SeatAutologin seat_autologin(const SeatModel& model, std::size_t seat, GlibRule rule) {
  SeatAutologin state{};
  for (int key = 0; key < SEAT_KEY_COUNT; ++key) {
    state.settings[key] = effective_setting(model, static_cast<SeatKey>(key), seat);
  }
  const SeatSetting* user = state.settings[SEAT_KEY_USER];
  const SeatSetting* timeout = state.settings[SEAT_KEY_TIMEOUT];
  state.timeout = timeout != nullptr ? seat_integer(timeout->value, rule) : 0;
  if (is_true(state.settings[SEAT_KEY_GUEST], rule)) {
    state.who = AutologinWho::kGuest;
  } else if (user != nullptr && keyfile_present(user->value, rule) && user->value.len > 0) {
    state.who = AutologinWho::kUser;
  } else {
    state.who = AutologinWho::kNobody;
  }
  if (is_true(state.settings[SEAT_KEY_BACKGROUND], rule)) {
    state.when = AutologinWhen::kBackground;
  } else if (state.timeout == 0) {
    state.when = AutologinWhen::kAtOnce;
  } else {
    state.when = state.timeout > 0 ? AutologinWhen::kCountdown : AutologinWhen::kNever;
  }
  return state;
}

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

const SeatSetting* glib_dependent_setting(const SeatAutologin& a, SeatKey* key) {
  for (int k = 0; k < SEAT_KEY_AUTOLOGIN_END; ++k) {
    const SeatSetting* setting = a.settings[k];
    if (setting != nullptr && setting->value.present && setting->value.escape_error) {
      *key = static_cast<SeatKey>(k);
      return setting;
    }
  }
  return nullptr;
}

void quote_value(const KeyFileString& value, char* buf, std::size_t size) {
  // The kept text holds no NUL: no escape of GLib's makes one.
  std::size_t n = quote_text(value.text, false, buf, size);
  if (value.len > KEYFILE_VALUE_MAX && n + 4 < size) {
    std::memcpy(buf + n, "...", 4);
  }
}

AutologinOutcome autologin_outcome(const SeatAutologin& state, char* who) {
  if (state.who == AutologinWho::kUser) {
    quote_value(state.settings[SEAT_KEY_USER]->value, who, AUTOLOGIN_WHO_SIZE);
  } else {
    // TRANSLATORS: whom LightDM logs in when no user is named; it stands where a user name
    // stands, as the object of "log in".
    std::snprintf(who, AUTOLOGIN_WHO_SIZE, "%s", _("a guest"));
  }
  if (state.who == AutologinWho::kNobody || state.when == AutologinWhen::kNever) {
    return AutologinOutcome::kNobody;
  }
  if (state.when == AutologinWhen::kAtOnce) return AutologinOutcome::kAtOnce;
  if (state.when == AutologinWhen::kBackground) return AutologinOutcome::kBackground;
  return AutologinOutcome::kCountdown;
}
