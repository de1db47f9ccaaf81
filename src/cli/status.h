#ifndef BRINDLEWAY_CLI_STATUS_H_
#define BRINDLEWAY_CLI_STATUS_H_

#include "lightdm/config_sources.h"

/// Prints on standard output what LightDM, reading every source in |paths|, does about automatic
/// login on seat0, and where each deciding setting comes from. Changes nothing and needs no
/// privilege. Returns 0, or 1 after saying on standard error why it cannot be told.
int run_status(const ConfigPaths& paths);

#endif  // BRINDLEWAY_CLI_STATUS_H_
