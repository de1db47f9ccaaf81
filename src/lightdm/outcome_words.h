#ifndef BRINDLEWAY_LIGHTDM_OUTCOME_WORDS_H_
#define BRINDLEWAY_LIGHTDM_OUTCOME_WORDS_H_

#include <cstddef>

#include "common/words.h"
#include "lightdm/seat_autologin.h"

/// The whole sentences that say what LightDM does on a seat, one for each place that says it,
/// so that every one of them translates whole. Each names whom LightDM logs in, then the
/// countdown's seconds, only where its outcome has them.
struct OutcomeWords {
  /// The refusal of enable and disable (a row of WORDS): the prefix, where the setting comes
  /// from, whom, the seconds, and the seat's name last where a seat is named.
  WordId refusal;
  /// status's line for a seat where seat0's differs: the seat's name where one is named, whom,
  /// the seconds.
  PluralText other_seat;
  /// status's first line, about seat0: whom, the seconds. Without logind there is none.
  PluralText seat0;
};

/// Returns the sentences for |outcome| on a seat logind lists, or on the seat of a machine
/// without logind.
const OutcomeWords& outcome_words(AutologinOutcome outcome, bool without_logind);

/// Writes |text| of OUTCOME_WORDS into |buf| (|size| bytes, at least 4) in the reader's
/// language, in the form |count| chooses where it has a plural, formatted with the arguments
/// that follow; a sentence ignores those after the ones it names.
void format_outcome(char* buf, std::size_t size, const PluralText& text, unsigned long count,
                    ...);

#endif  // BRINDLEWAY_LIGHTDM_OUTCOME_WORDS_H_
