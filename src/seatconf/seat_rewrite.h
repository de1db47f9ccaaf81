#ifndef BRINDLEWAY_SEATCONF_SEAT_REWRITE_H_
#define BRINDLEWAY_SEATCONF_SEAT_REWRITE_H_

#include <cstddef>

#include "common/autologin_request.h"
#include "common/span.h"

struct SourceScan;

/// Where the rewrite stands while it walks the text.
struct SeatRewriteState {
  /// The last header line seen opened a seat section.
  bool in_seat_section;
  /// The user line (alone or in the block) has been written.
  bool user_line_written;
  /// The timeout line (alone or in the block) has been written.
  bool timeout_line_written;
};

/// What an earlier configuration source asks of the rewrite, so that LightDM ends up doing what
/// the request says.
struct RewriteOptions {
  /// Disabling: an earlier source names a user, so the seat section must say
  /// "autologin-user=" itself instead of only commenting its lines out.
  bool empty_user_line;
  /// Enabling: an earlier source sets a timeout, so the user line must be followed by
  /// "autologin-user-timeout=0" when none came before it.
  bool timeout_with_user;
};

/// Rewrites the automatic-login lines of the seat sections of |text| for |request| into |out|,
/// which holds |cap| bytes; every other byte passes through unchanged. Lines are read as
/// LightDM reads them. When |scan| is not null, every line of the new text is handed to it in
/// order, numbered as the line of |text| it comes from or stands in for.
/// Returns 0 and sets |*result| to the new text (|text| itself when nothing changes), or 1 when
/// the new text would be longer than |cap| bytes; nothing is ever written past |out| + |cap|.
int rewrite_seat_section(Span text, const AutologinRequest& request,
                         const RewriteOptions& options, char* out, std::size_t cap,
                         Span* result, SourceScan* scan);

#endif  // BRINDLEWAY_SEATCONF_SEAT_REWRITE_H_
