#ifndef BRINDLEWAY_GATES_DISPLAY_MANAGER_H_
#define BRINDLEWAY_GATES_DISPLAY_MANAGER_H_

#include <climits>
#include <cstddef>

#include "common/quote.h"
#include "common/words.h"

/// Where a system says which display manager it starts at boot, and where LightDM lives.
struct DisplayManagerPaths {
  /// A directory that exists only while systemd is the init system.
  const char* systemd_running;
  /// systemd's alias set by the administrator (systemctl enable), a link to the unit that
  /// starts the display manager; units are masked beside it.
  const char* unit_alias;
  /// The same alias as a package may ship it, which the administrator's overrides.
  const char* vendor_alias;
  /// Debian's choice among display managers, one path on one line, for systems without
  /// systemd.
  const char* default_file;
  /// LightDM's program.
  const char* lightdm;
};

/// The paths of a Debian or systemd system.
const DisplayManagerPaths& system_display_manager_paths();

/// Room for other_display_manager's warning: the longest unit name, quoted, and the longest
/// translation of the sentence around it.
inline constexpr std::size_t DISPLAY_MANAGER_WARNING_SIZE = quoted_size(NAME_MAX) + 512;

/// Returns true and writes one line into |buf| (|size| bytes, no line feed) when, by |paths|,
/// LightDM will not be what runs at boot: under systemd, no alias, or one that resolves to
/// another unit or to a masked one; without systemd, a default file that names another
/// program; or LightDM is not installed. |*reason|, unless |reason| is null, gets the
/// warning's row. Returns false, leaving |buf| empty, when LightDM starts or nothing tells.
bool other_display_manager(const DisplayManagerPaths& paths, char* buf, std::size_t size,
                           WordId* reason = nullptr);

#endif  // BRINDLEWAY_GATES_DISPLAY_MANAGER_H_
