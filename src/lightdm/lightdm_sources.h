#ifndef BRINDLEWAY_LIGHTDM_LIGHTDM_SOURCES_H_
#define BRINDLEWAY_LIGHTDM_LIGHTDM_SOURCES_H_

#include <sys/stat.h>

#include "common/span.h"
#include "common/unique_fd.h"
#include "lightdm/config_sources.h"
#include "lightdm/seat_model.h"
#include "lightdm/source_scan.h"

/// What a change makes of the main file before LightDM is to read it.
struct MainFileEdit {
  /// Hands every line of the new text of the main file, made from |read| with |earlier| holding
  /// what the earlier sources set, to |scan|. Returns 0, or 1 after saying why not on standard
  /// error. Null: LightDM reads the file as it stands.
  int (*edit)(void* context, const SeatModel& earlier, Span read, SourceScan* scan);
  void* context;
};

/// One reading of every source LightDM reads when it starts.
struct LightdmReading {
  /// Read the main file in order to replace it: no link may stand at its path, an absent file
  /// is an error, and the open file is kept. Otherwise it is read as LightDM reads it: through
  /// a link, and as empty when absent.
  bool to_replace;
  MainFileEdit edit;

  /// The main file as read: its text, in the run's input buffer.
  Span text;
  /// Its attributes when it was read, and, when |to_replace|, the file itself.
  struct stat read_as;
  UniqueFd read_fd{-1};
  /// What LightDM makes of all sources, in the run's storage; valid until the next reading.
  const SeatModel* model;
};

/// Reads every source in |paths| as LightDM does, for the seats in |seats|: the drop-ins, the
/// main file (as |reading|'s edit makes it, if any), and openSUSE's sysconfig file. Returns 0
/// and fills |reading|, or 1 after saying on standard error, after |prefix| where a refusal
/// has one, why LightDM would not start or why its reading cannot be told.
int read_lightdm_sources(const ConfigPaths& paths, const SeatList& seats, const char* prefix,
                         LightdmReading* reading);

/// Returns 0 if LightDM does the same on every seat of |model| whichever GLib it runs with, or 1
/// after printing on standard error, after |prefix|, which setting GLib versions read
/// differently.
int check_glib_readings(const SeatModel& model, const char* prefix);

#endif  // BRINDLEWAY_LIGHTDM_LIGHTDM_SOURCES_H_
