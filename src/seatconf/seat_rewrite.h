#ifndef BRINDLEWAY_SEATCONF_SEAT_REWRITE_H_
#define BRINDLEWAY_SEATCONF_SEAT_REWRITE_H_

#include <cstddef>

#include "common/autologin_request.h"

/// A line is classified by at most its first LINE_PIECE_MAX bytes.
inline constexpr std::size_t LINE_PIECE_MAX = 2047;

/// Where the rewrite stands while it walks the text.
struct SeatRewriteState {
  /// The last header line seen opened a seat section.
  bool in_seat_section;
  /// The user line (alone or in the two-line block) has been written for the requested user.
  bool user_line_written;
  /// The timeout line (alone or in the two-line block) has been written.
  bool timeout_line_written;
};

/// Rewrites the automatic-login lines of the seat sections of |text| (|len| bytes) for
/// |request| into |out|, which holds |cap| bytes. Every other byte passes through unchanged.
/// Returns 0 and sets |*out_len|, or 1 when the new text would not fit in |cap| bytes; nothing
/// is ever written beyond |out| + |cap|.
int rewrite_seat_section(const char* text, std::size_t len, const AutologinRequest& request,
                         char* out, std::size_t cap, std::size_t* out_len);

#endif  // BRINDLEWAY_SEATCONF_SEAT_REWRITE_H_
