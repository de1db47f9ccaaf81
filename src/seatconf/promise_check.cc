#include "seatconf/promise_check.h"

#include <cstdio>

#include "common/i18n.h"
#include "common/message_queue.h"
#include "common/words.h"
#include "lightdm/lightdm_sources.h"
#include "lightdm/seat_autologin.h"

namespace {

/// Returns the key whose effective setting keeps |state| from being what |request| asks, or
/// SEAT_KEY_COUNT when it is what it asks. For enable, that key may be autologin-user although
/// no file sets it.
SeatKey culprit(const SeatAutologin& state, const AutologinRequest& request) {
  if (state.who == AutologinWho::kGuest) return SEAT_KEY_GUEST;
  if (!request.enable) return state.who == AutologinWho::kUser ? SEAT_KEY_USER : SEAT_KEY_COUNT;
  const SeatSetting* user = state.settings[SEAT_KEY_USER];
  if (state.who != AutologinWho::kUser || !keyfile_string_equals(user->value, request.user_name)) {
    return SEAT_KEY_USER;
  }
  if (state.when == AutologinWhen::kBackground) return SEAT_KEY_BACKGROUND;
  if (state.timeout != 0) return SEAT_KEY_TIMEOUT;
  return SEAT_KEY_COUNT;
}

/// Writes into |buf| where |setting| of |key| comes from: "FILE sets KEY=VALUE in [SECTION]
/// (line N)".
void describe_origin(const SeatSetting& setting, SeatKey key, char* buf, std::size_t size) {
  char value[quoted_size(KEYFILE_VALUE_MAX)];
  quote_value(setting.value, value, sizeof value);
  char path[quoted_size(SOURCE_PATH_MAX)];
  quote_name(setting.path, path, sizeof path);
  char section[quoted_size(SEAT_GROUP_NAME_MAX)];
  quote_name(setting.section, section, sizeof section);
  if (setting.from_sysconfig) {
    std::snprintf(buf, size, _("%s sets %s=%s (line %u)"), path, section, value,
                  setting.line);
  } else {
    std::snprintf(buf, size, _("%s sets %s=%s in [%s] (line %u)"), path,
                  SEAT_KEY_NAMES[key], value, section, setting.line);
  }
}

/// Says, after |prefix| and |origin|, what LightDM would do on the seat at |seat| instead.
/// One whole sentence for each outcome and place, so that every one of them translates.
void report_on_seat(const char* prefix, const char* origin, const SeatList& seats,
                    std::size_t seat, AutologinOutcome outcome, const char* who, int timeout) {
  const auto n = static_cast<unsigned long>(timeout);
  if (seat == SEAT_INDEX_NO_LOGIND) {
    switch (outcome) {
      case AutologinOutcome::kNobody:
        say("seat-would-show-greeter-without-logind", prefix, origin);
        break;
      case AutologinOutcome::kAtOnce:
        say("seat-would-log-in-other-without-logind", prefix, origin, who);
        break;
      case AutologinOutcome::kBackground:
        say("seat-would-log-in-behind-greeter-without-logind", prefix, origin, who);
        break;
      case AutologinOutcome::kCountdown:
        say_n(n, "seat-would-count-down-without-logind", prefix, origin, who, timeout);
        break;
    }
    return;
  }
  const char* name = seats.names[seat];  // seat names are plain ASCII
  switch (outcome) {
    case AutologinOutcome::kNobody:
      say("seat-would-show-greeter", prefix, origin, name);
      break;
    case AutologinOutcome::kAtOnce:
      say("seat-would-log-in-other", prefix, origin, who, name);
      break;
    case AutologinOutcome::kBackground:
      say("seat-would-log-in-behind-greeter", prefix, origin, who, name);
      break;
    case AutologinOutcome::kCountdown:
      say_n(n, "seat-would-count-down", prefix, origin, who, timeout, name);
      break;
  }
}

void report(const char* prefix, const SeatSetting& setting, SeatKey key,
            const SeatAutologin& state, const SeatList& seats, std::size_t seat) {
  char origin[KEYFILE_VALUE_MAX * 4 + SOURCE_PATH_MAX * 4 + SEAT_GROUP_NAME_MAX * 4 + 256];
  describe_origin(setting, key, origin, sizeof origin);
  char who[AUTOLOGIN_WHO_SIZE];
  const AutologinOutcome outcome = autologin_outcome(state, who);
  if (key != SEAT_KEY_USER || state.who != AutologinWho::kUser ||
      state.when != AutologinWhen::kNever) {
    report_on_seat(prefix, origin, seats, seat, outcome, who, state.timeout);
  } else if (seat == SEAT_INDEX_NO_LOGIND) {
    say("seat-would-keep-user-without-logind", prefix, origin, who);
  } else {
    say("seat-would-keep-user", prefix, origin, who, seats.names[seat]);
  }
}

/// Checks the request on the seat at |seat|, whose reading no GLib version changes. Returns 0,
/// or 1 after reporting.
int check_seat(const SeatModel& model, std::size_t seat, const AutologinRequest& request,
               const char* prefix) {
  const SeatAutologin state = seat_autologin(model, seat, GlibRule::kKeepsBadEscapes);
  const SeatKey key = culprit(state, request);
  if (key == SEAT_KEY_COUNT) return 0;
  if (state.settings[key] == nullptr && seat == SEAT_INDEX_NO_LOGIND) {
    say("seat-key-unset-without-logind", prefix, SEAT_KEY_NAMES[key]);
  } else if (state.settings[key] == nullptr) {
    say("seat-key-unset", prefix, SEAT_KEY_NAMES[key], model.seats.names[seat]);
  } else {
    report(prefix, *state.settings[key], key, state, model.seats, seat);
  }
  return 1;
}

}  // namespace

const char* refusal_prefix(const AutologinRequest& request) {
  // One request a run: its words are kept for the run, where the catalog can reach them.
  static char words[REFUSAL_PREFIX_SIZE];
  // TRANSLATORS: these two begin many messages; what follows them starts in lower case.
  if (request.enable) {
    i18n_late_text("Cannot enable automatic login for %s: ", request.user_name, words,
                   sizeof words);
  } else {
    i18n_late_text("Cannot disable automatic login: ", nullptr, words, sizeof words);
  }
  return words;
}

RewriteOptions options_against(const SeatModel& earlier, const AutologinRequest& request) {
  const SeatGroup& base = earlier.groups[0];
  const SeatSetting& user = base.settings[SEAT_KEY_USER];
  const SeatSetting& timeout = base.settings[SEAT_KEY_TIMEOUT];
  RewriteOptions options{false, false};
  // Whichever GLib LightDM runs with: what either reading needs is written.
  for (GlibRule rule : GLIB_RULES) {
    if (request.enable) {
      options.timeout_with_user = options.timeout_with_user ||
                                  (timeout.set && seat_integer(timeout.value, rule) != 0);
    } else {
      options.empty_user_line = options.empty_user_line ||
                                (user.set && keyfile_present(user.value, rule) &&
                                 user.value.len > 0);
    }
  }
  return options;
}

int check_promise(const SeatModel& model, const AutologinRequest& request, const char* prefix) {
  // openSUSE's override is applied after every file and whatever the seat: only a value that
  // already is the promise can stand.
  const SeatSetting& override = model.sysconfig_autologin;
  if (override.set && !(request.enable && keyfile_string_equals(override.value,
                                                                request.user_name))) {
    char origin[KEYFILE_VALUE_MAX * 4 + SOURCE_PATH_MAX * 4 + SEAT_GROUP_NAME_MAX * 4 + 256];
    describe_origin(override, SEAT_KEY_USER, origin, sizeof origin);
    say("sysconfig-overrides", prefix, origin);
    return 1;
  }
  if (check_glib_readings(model, prefix) != 0) return 1;
  for (std::size_t seat = 0; seat < model.seats.count; ++seat) {
    if (check_seat(model, seat, request, prefix) != 0) return 1;
  }
  return 0;
}
