#ifndef BRINDLEWAY_LIGHTDM_CONFIG_SOURCES_H_
#define BRINDLEWAY_LIGHTDM_CONFIG_SOURCES_H_

#include <cstddef>

#include "lightdm/seat_model.h"
#include "lightdm/source_scan.h"

/// Where LightDM reads its configuration, in the order it reads it: a later file overrides an
/// earlier one key by key.
struct ConfigPaths {
  /// Directories of drop-ins; in each, the names that end in ".conf", in strcmp order.
  const char* const* drop_in_dirs;
  std::size_t drop_in_dir_count;
  /// The main file, read after the drop-ins.
  const char* conf;
  /// openSUSE's sysconfig file, whose DISPLAYMANAGER_AUTOLOGIN its LightDM applies after every
  /// configuration file; null where none is read.
  const char* sysconfig;
};

/// LightDM's own sources on a system that leaves the XDG directories at their defaults.
const ConfigPaths& lightdm_config_paths();

/// Reads every drop-in of |paths| in order into |model|, with |buf| (|cap| bytes) as scratch.
/// A drop-in LightDM skips whenever it starts is skipped; any other failure to list a directory
/// or to open, stat or read a drop-in counts as not knowing. Returns 0, or 1 after saying on
/// standard error, after |prefix|, why what LightDM makes of one cannot be told, naming it.
int read_drop_ins(const ConfigPaths& paths, SeatModel* model, char* buf, std::size_t cap,
                  const char* prefix);

/// Returns 0 if the main file read into |scan| loads, or 1 after saying on standard error,
/// after |prefix|, that LightDM would not start and which line stops it.
int check_main_source(const SourceScan& scan, const char* prefix);

#endif  // BRINDLEWAY_LIGHTDM_CONFIG_SOURCES_H_
