#ifndef BRINDLEWAY_COMMON_CONSTANTS_H_
#define BRINDLEWAY_COMMON_CONSTANTS_H_

#include <cstddef>

// Everything the helper touches is fixed at build time: it reads no option, environment
// variable or settings file that could point it somewhere else.

/// The LightDM configuration file that the helper rewrites.
inline constexpr const char LIGHTDM_CONF_PATH[] = "/etc/lightdm/lightdm.conf";

/// openSUSE's display-manager settings, which its LightDM reads after its own files.
inline constexpr const char SYSCONFIG_DISPLAYMANAGER_PATH[] = "/etc/sysconfig/displaymanager";

/// The system group whose membership follows the automatic-login setting.
inline constexpr const char AUTOLOGIN_GROUP[] = "autologin";

/// Capacity of the input and of the output buffer of one update. A configuration may hold at
/// most CONF_BUFFER_SIZE - 1 bytes.
inline constexpr std::size_t CONF_BUFFER_SIZE = 131072;

/// How long a child of the helper (an account tool, the PAM check, the account lookup, the look
/// at the home) may take before it is killed and counts as not having answered. A name service
/// or a PAM module that waits on a server that is gone must not hold the run lock for ever.
inline constexpr int CHILD_DEADLINE_MS = 30000;

/// Name used in messages when the caller gave no usable program name.
inline constexpr const char PROGRAM_NAME[] = "brindleway-helper";

#endif  // BRINDLEWAY_COMMON_CONSTANTS_H_
