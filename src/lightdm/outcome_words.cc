#include "lightdm/outcome_words.h"

#include <cstdarg>

#include "common/format_text.h"
#include "common/i18n.h"

namespace {

constexpr PluralText one(const char* text) { return PluralText{text, nullptr}; }

// [outcome][0] on a seat logind lists, [1] on the seat of a machine without logind; in the
// order of AutologinOutcome.
constexpr OutcomeWords kOutcomeWords[4][2] = {
    {{word_id("seat-would-show-greeter"),
      one(F_("On %s, LightDM would show the greeter and log nobody in instead\n")),
      one(F_("LightDM will show the greeter and log nobody in on seat0\n"))},
     {word_id("seat-would-show-greeter-without-logind"),
      one(F_("Without logind, LightDM would show the greeter and log nobody in instead\n")),
      one(nullptr)}},
    {{word_id("seat-would-log-in-other"), one(F_("On %s, LightDM would log in %s instead\n")),
      one(F_("LightDM will log in %s on seat0\n"))},
     {word_id("seat-would-log-in-other-without-logind"),
      one(F_("Without logind, LightDM would log in %s instead\n")), one(nullptr)}},
    {{word_id("seat-would-log-in-behind-greeter"),
      one(F_("On %s, LightDM would log in %s in the background, behind the greeter instead\n")),
      one(F_("LightDM will log in %s in the background, behind the greeter on seat0\n"))},
     {word_id("seat-would-log-in-behind-greeter-without-logind"),
      one(F_("Without logind, LightDM would log in %s in the background, behind the greeter "
             "instead\n")),
      one(nullptr)}},
    {{word_id("seat-would-count-down"),
      FP_("On %s, LightDM would log in %s after %d second at the greeter instead\n",
          "On %s, LightDM would log in %s after %d seconds at the greeter instead\n"),
      FP_("LightDM will log in %s after %d second at the greeter on seat0\n",
          "LightDM will log in %s after %d seconds at the greeter on seat0\n")},
     {word_id("seat-would-count-down-without-logind"),
      FP_("Without logind, LightDM would log in %s after %d second at the greeter instead\n",
          "Without logind, LightDM would log in %s after %d seconds at the greeter instead\n"),
      one(nullptr)}},
};

// The refusals are said with the arguments their place passes for the outcome.
using S = const char*;
static_assert(words_detail::row_fits<S, S, S>(kOutcomeWords[0][0].refusal));
static_assert(words_detail::row_fits<S, S>(kOutcomeWords[0][1].refusal));
static_assert(words_detail::row_fits<S, S, S, S>(kOutcomeWords[1][0].refusal));
static_assert(words_detail::row_fits<S, S, S>(kOutcomeWords[1][1].refusal));
static_assert(words_detail::row_fits<S, S, S, S>(kOutcomeWords[2][0].refusal));
static_assert(words_detail::row_fits<S, S, S>(kOutcomeWords[2][1].refusal));
static_assert(words_detail::row_fits<S, S, S, int, S>(kOutcomeWords[3][0].refusal));
static_assert(words_detail::row_fits<S, S, S, int>(kOutcomeWords[3][1].refusal));

}  // namespace

const OutcomeWords& outcome_words(AutologinOutcome outcome, bool without_logind) {
  return kOutcomeWords[static_cast<int>(outcome)][without_logind ? 1 : 0];
}

// Each place passes the arguments in the order the table's comment gives.
void format_outcome(char* buf, std::size_t size, const PluralText& text,  // NOLINT(cert-dcl50-cpp)
                    unsigned long count, ...) {
  const char* format = text.many != nullptr ? i18n_plural(text.one, text.many, count)
                                            : i18n_text(text.one);
  va_list args;
  va_start(args, count);
  // NOLINTNEXTLINE(clang-diagnostic-format-nonliteral): a sentence of the table.
  format_text_v(buf, size, format, args);
  va_end(args);
}
