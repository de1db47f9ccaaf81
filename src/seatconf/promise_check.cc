#include "seatconf/promise_check.h"

#include <cstdio>

#include "lightdm/seat_autologin.h"

namespace {

constexpr const char* kSeatPhrases[SEAT_NAME_COUNT] = {
    "on seat0", "on the seat of a machine without logind"};

/// Returns the setting that keeps |state| from being what |request| asks, or null when it is.
/// |*missing| is set when the request fails because nothing sets autologin-user at all.
const SeatSetting* culprit(const SeatAutologin& state, const AutologinRequest& request,
                           bool* missing) {
  *missing = false;
  if (state.who == AutologinWho::kGuest) return state.settings[SEAT_KEY_GUEST];
  if (!request.enable) {
    return state.who == AutologinWho::kUser ? state.settings[SEAT_KEY_USER] : nullptr;
  }
  const SeatSetting* user = state.settings[SEAT_KEY_USER];
  if (user == nullptr) {
    *missing = true;
    return nullptr;
  }
  if (!keyfile_string_equals(user->value, request.user_name)) return user;
  if (state.when == AutologinWhen::kBackground) return state.settings[SEAT_KEY_BACKGROUND];
  if (state.timeout != 0) return state.settings[SEAT_KEY_TIMEOUT];
  return nullptr;
}

void report(const char* prefix, const SeatSetting& setting, SeatKey key,
            const SeatAutologin& state, SeatName seat) {
  char value[KEYFILE_VALUE_MAX * 4 + 8];
  quote_value(setting.value, value, sizeof value);
  char what[KEYFILE_VALUE_MAX * 4 + 96];
  if (key == SEAT_KEY_USER && state.who == AutologinWho::kUser &&
      state.when == AutologinWhen::kNever) {
    std::snprintf(what, sizeof what, "keep %s as its automatic-login user", value);
  } else {
    describe_autologin(state, what, sizeof what);
  }
  char path[SOURCE_PATH_MAX * 4 + 8];
  quote_name(setting.path, path, sizeof path);
  char section[SEAT_GROUP_NAME_MAX * 4 + 8];
  quote_name(setting.section, section, sizeof section);
  std::fprintf(stderr, "%s%s sets %s=%s in [%s] (line %u), so LightDM would %s %s\n", prefix,
               path, SEAT_KEY_NAMES[key], value, section, setting.line, what,
               kSeatPhrases[seat]);
}

SeatKey key_of(const SeatAutologin& state, const SeatSetting* setting) {
  for (int key = 0; key < SEAT_KEY_COUNT; ++key) {
    if (state.settings[key] == setting) return static_cast<SeatKey>(key);
  }
  return SEAT_KEY_USER;
}

}  // namespace

void refusal_prefix(const AutologinRequest& request, char* buf, std::size_t size) {
  int n = request.enable
              ? std::snprintf(buf, size, "Cannot enable automatic login for %s: ",
                              request.user_name)
              : std::snprintf(buf, size, "Cannot disable automatic login: ");
  // A name too long for the prefix is cut; the rest of the message still says what is wrong.
  if (n < 0 && size > 0) buf[0] = '\0';
}

RewriteOptions options_against(const SeatModel& earlier, const AutologinRequest& request) {
  const SeatGroup& base = earlier.groups[0];
  const SeatSetting& user = base.settings[SEAT_KEY_USER];
  const SeatSetting& timeout = base.settings[SEAT_KEY_TIMEOUT];
  RewriteOptions options{false, false};
  if (request.enable) {
    options.timeout_with_user = timeout.set && seat_integer(timeout.value) != 0;
  } else {
    options.empty_user_line = user.set && user.value.present && user.value.len > 0;
  }
  return options;
}

int check_promise(const SeatModel& model, const AutologinRequest& request) {
  char prefix[256];
  refusal_prefix(request, prefix, sizeof prefix);
  for (int seat = 0; seat < SEAT_NAME_COUNT; ++seat) {
    SeatAutologin state = seat_autologin(model, static_cast<SeatName>(seat));
    bool missing = false;
    const SeatSetting* setting = culprit(state, request, &missing);
    if (missing) {
      std::fprintf(stderr, "%sno file sets autologin-user %s\n", prefix, kSeatPhrases[seat]);
      return 1;
    }
    if (setting != nullptr) {
      report(prefix, *setting, key_of(state, setting), state, static_cast<SeatName>(seat));
      return 1;
    }
  }
  return 0;
}
