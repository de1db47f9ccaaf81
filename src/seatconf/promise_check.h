#ifndef BRINDLEWAY_SEATCONF_PROMISE_CHECK_H_
#define BRINDLEWAY_SEATCONF_PROMISE_CHECK_H_

#include <cstddef>

#include "common/autologin_request.h"
#include "lightdm/seat_model.h"
#include "seatconf/seat_rewrite.h"

/// Room for refusal_prefix's words: a long user name in the longest translation.
inline constexpr std::size_t REFUSAL_PREFIX_SIZE = 256;

/// Returns the words that open every refusal of |request|, such as "Cannot enable automatic
/// login for alice: ", valid for the run: in the reader's language once any text has been
/// translated, so a run that refuses nothing sets up no catalog for them. A name too long for
/// REFUSAL_PREFIX_SIZE is cut, at a whole character. |request|'s user name must last the run.
const char* refusal_prefix(const AutologinRequest& request);

/// Returns what the rewrite of lightdm.conf must add so that the settings of the earlier
/// sources in |earlier| do not stand against |request|.
RewriteOptions options_against(const SeatModel& earlier, const AutologinRequest& request);

/// Returns 0 if LightDM, reading every source merged into |model|, does on each seat exactly
/// what |request| asks: after enable, log in the user at once, with no guest login; after
/// disable, no automatic login at all. Otherwise returns 1 after printing one line on standard
/// error, after |prefix|, that names the file, section, line and key in the way and what LightDM
/// would do.
int check_promise(const SeatModel& model, const AutologinRequest& request, const char* prefix);

#endif  // BRINDLEWAY_SEATCONF_PROMISE_CHECK_H_
