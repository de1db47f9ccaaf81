#include "seatconf/promise_check.h"

#include "common/i18n.h"
#include "common/message_queue.h"
#include "common/words.h"
#include "lightdm/lightdm_sources.h"
#include "lightdm/outcome_words.h"
#include "lightdm/seat_autologin.h"
#include "lightdm/setting_origin.h"

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
void setting_words(const SeatSetting& setting, SeatKey key, char* buf, std::size_t size) {
  char value[quoted_size(KEYFILE_VALUE_MAX)];
  describe_origin(seat_setting_origin(setting, SEAT_KEY_NAMES[key], value, sizeof value),
                  OriginWords::kSets, buf, size);
}

/// Says, after |prefix| and |origin|, what LightDM would do on the seat at |seat| instead, in
/// the outcome's own sentence for that place.
void report_on_seat(const char* prefix, const char* origin, const SeatList& seats,
                    std::size_t seat, AutologinOutcome outcome, const char* who, int timeout) {
  const bool without_logind = seat == SEAT_INDEX_NO_LOGIND;
  const WordId row = outcome_words(outcome, without_logind).refusal;
  // The seat's name comes last; a sentence without one ignores it. Seat names are plain ASCII.
  const char* name = without_logind ? "" : seats.names[seat];
  if (outcome == AutologinOutcome::kNobody) {
    say_word(row, row, 0, prefix, origin, name);
  } else if (outcome == AutologinOutcome::kCountdown) {
    say_word(row, row, static_cast<unsigned long>(timeout), prefix, origin, who, timeout, name);
  } else {
    say_word(row, row, 0, prefix, origin, who, name);
  }
}

void report(const char* prefix, const SeatSetting& setting, SeatKey key,
            const SeatAutologin& state, const SeatList& seats, std::size_t seat) {
  char origin[SETTING_ORIGIN_SIZE];
  setting_words(setting, key, origin, sizeof origin);
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
    char origin[SETTING_ORIGIN_SIZE];
    setting_words(override, SEAT_KEY_USER, origin, sizeof origin);
    say("sysconfig-overrides", prefix, origin);
    return 1;
  }
  if (check_glib_readings(model, prefix) != 0) return 1;
  for (std::size_t seat = 0; seat < model.seats.count; ++seat) {
    if (check_seat(model, seat, request, prefix) != 0) return 1;
  }
  return 0;
}
