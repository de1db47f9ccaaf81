#ifndef BRINDLEWAY_SEATCONF_CONF_FILE_H_
#define BRINDLEWAY_SEATCONF_CONF_FILE_H_

#include <sys/stat.h>

#include "common/autologin_request.h"
#include "common/span.h"
#include "common/unique_fd.h"
#include "lightdm/config_sources.h"
#include "lightdm/pam_service.h"
#include "seatconf/file_replace.h"

/// A new configuration, worked out and checked but not yet in place.
struct ConfUpdate {
  /// The main file as it was read; null until it is.
  Span before;
  /// The new text of the main file.
  Span text;
  /// The main file as it was read, so that it can be told apart from a file saved since.
  struct stat read_as;
  /// The main file as it was opened to be read, whose attributes the new file takes; closed
  /// once the new file is staged.
  UniqueFd read_fd{-1};
  /// The new file, once written beside the main file.
  StagedFile staged;
  /// For enable: the PAM services LightDM will ask for the automatic login.
  PamServiceList pam_services;
  /// What LightDM will read once the new file is in place; valid until the next update.
  const SeatModel* model;
};

/// Reads every source in |paths|, rewrites the main file for |request| in memory and checks
/// that LightDM will then do on every seat in |seats| what |request| asks. Returns 0 and fills
/// |update|, or 1 after reporting on standard error, after |prefix| (refusal_prefix's opening
/// words for |request|), why not. Changes nothing on the system.
int prepare_config_update(const ConfigPaths& paths, const SeatList& seats,
                          const AutologinRequest& request, const char* prefix,
                          ConfUpdate* update);

/// Writes the new text of |update| to a file beside the main file of |paths| and flushes it to
/// disk, so that a full disk or a read-only directory is found before anything changes. Returns
/// 0, or 1 after reporting the failure on standard error, with nothing left behind.
int stage_config_update(const ConfigPaths& paths, ConfUpdate* update);

/// Puts the staged file of |update| in place of the main file, unless the main file changed
/// since it was read. Returns 0, or 1 after reporting the failure on standard error.
int commit_config_update(ConfUpdate* update);

/// Drops the staged file of |update|, leaving the main file as it was. Returns 0, or 1 after
/// naming a temporary file it could not remove.
int discard_config_update(ConfUpdate* update);

#endif  // BRINDLEWAY_SEATCONF_CONF_FILE_H_
