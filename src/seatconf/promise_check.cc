#include "seatconf/promise_check.h"

#include <cstdio>

#include "lightdm/seat_autologin.h"

namespace {

constexpr const char* kSeatPhrases[SEAT_NAME_COUNT] = {
    "on seat0", "on the seat of a machine without logind"};

/// Returns the key whose effective setting keeps |state| from being what |request| asks, or
/// SEAT_KEY_COUNT when it is what it asks. For enable, that key may be autologin-user although
/// no file sets it.
SeatKey culprit(const SeatAutologin& state, const AutologinRequest& request) {
  if (state.who == AutologinWho::kGuest) return SEAT_KEY_GUEST;
  if (!request.enable) return state.who == AutologinWho::kUser ? SEAT_KEY_USER : SEAT_KEY_COUNT;
  const SeatSetting* user = state.settings[SEAT_KEY_USER];
  if (user == nullptr || !keyfile_string_equals(user->value, request.user_name)) {
    return SEAT_KEY_USER;
  }
  if (state.when == AutologinWhen::kBackground) return SEAT_KEY_BACKGROUND;
  if (state.timeout != 0) return SEAT_KEY_TIMEOUT;
  return SEAT_KEY_COUNT;
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
    SeatKey key = culprit(state, request);
    if (key == SEAT_KEY_COUNT) continue;
    if (state.settings[key] == nullptr) {
      std::fprintf(stderr, "%sno file sets %s %s\n", prefix, SEAT_KEY_NAMES[key],
                   kSeatPhrases[seat]);
    } else {
      report(prefix, *state.settings[key], key, state, static_cast<SeatName>(seat));
    }
    return 1;
  }
  return 0;
}
