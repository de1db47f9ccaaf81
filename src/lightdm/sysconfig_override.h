#ifndef BRINDLEWAY_LIGHTDM_SYSCONFIG_OVERRIDE_H_
#define BRINDLEWAY_LIGHTDM_SYSCONFIG_OVERRIDE_H_

#include <cstddef>

#include "common/span.h"
#include "lightdm/seat_model.h"

/// What a sysconfig file's text says of DISPLAYMANAGER_AUTOLOGIN.
struct SysconfigAutologin {
  enum { kUnset, kSet, kUnsure } state;
  /// The value of the last assignment, without its quotes (kSet).
  Span value;
  /// The line of that assignment, or of the one that cannot be judged (kUnsure).
  unsigned line;
  /// Why the line cannot be judged (kUnsure).
  const char* problem;
};

/// Returns what |text| sets DISPLAYMANAGER_AUTOLOGIN to, reading it as the shell would: the
/// last assignment wins, and a value is a bare word or is quoted. An assignment whose value the
/// shell would expand, or any other line that names the variable, cannot be judged.
SysconfigAutologin parse_sysconfig_autologin(Span text);

/// Reads the sysconfig file at |path| (nothing when |path| is null or the file is absent) and,
/// where DISPLAYMANAGER_AUTOLOGIN names someone, sets autologin-user to it and
/// autologin-user-timeout to 0 in the "[Seat:*]" of |model|, as openSUSE's LightDM does after
/// every configuration file; the setting is also kept in |model|'s sysconfig_autologin. Returns
/// 0, or 1 after saying on standard error, after |prefix|, why the file cannot be read or judged.
int apply_sysconfig_override(const char* path, SeatModel* model, const char* prefix);

#endif  // BRINDLEWAY_LIGHTDM_SYSCONFIG_OVERRIDE_H_
