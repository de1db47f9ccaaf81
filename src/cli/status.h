#ifndef BRINDLEWAY_CLI_STATUS_H_
#define BRINDLEWAY_CLI_STATUS_H_

#include "gates/display_manager.h"
#include "lightdm/config_sources.h"

/// Prints on standard output what LightDM, reading every source in |paths|, does about automatic
/// login on seat0, where each deciding setting comes from, how the seat of a machine without
/// logind and every other seat logind lists in |seats_dir| differ, and whether LightDM is what
/// starts at boot by |display_manager|. Run as root, it also asks LightDM's PAM service about
/// the account seat0 logs in. Changes nothing. Returns 0, or 1 after saying on standard error
/// why it cannot be told. With |json|, standard output holds one JSON object instead
/// (docs/status.schema.json), also when it cannot be told.
int run_status(const ConfigPaths& paths, const char* seats_dir,
               const DisplayManagerPaths& display_manager, bool json);

#endif  // BRINDLEWAY_CLI_STATUS_H_
