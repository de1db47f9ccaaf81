#ifndef BRINDLEWAY_SEATCONF_CONF_FILE_H_
#define BRINDLEWAY_SEATCONF_CONF_FILE_H_

#include "common/autologin_request.h"

/// Rewrites the LightDM configuration for |request| and replaces it atomically. Returns 0, or 1
/// after reporting the failure on standard error (a buffer that cannot be had is not reported).
int update_lightdm_config(const AutologinRequest& request);

/// Does the same for the configuration at |path|; update_lightdm_config passes the fixed path.
int update_config_file(const char* path, const AutologinRequest& request);

#endif  // BRINDLEWAY_SEATCONF_CONF_FILE_H_
