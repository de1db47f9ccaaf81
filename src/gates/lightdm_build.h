#ifndef BRINDLEWAY_GATES_LIGHTDM_BUILD_H_
#define BRINDLEWAY_GATES_LIGHTDM_BUILD_H_

#include <cstddef>

#include "lightdm/config_sources.h"

/// The installed LightDM program, whose build decides two of its rules.
inline constexpr char LIGHTDM_PROGRAM[] = "/usr/sbin/lightdm";

/// What the installed LightDM's build does that another does not. Each is told by a string the
/// program holds for that rule alone, never by running it.
struct LightdmBuild {
  /// It takes a session found in a directory whose path ends in "/wayland-sessions" for a
  /// Wayland session (LightDM 1.32, Debian 13): the program holds the suffix it tests,
  /// "/wayland-sessions", as a string of its own. LightDM 1.26 holds it only inside its
  /// default sessions-directory list.
  bool wayland_sessions_dir_rule;
  /// It applies DISPLAYMANAGER_AUTOLOGIN of /etc/sysconfig/displaymanager (openSUSE's build):
  /// the program names that file. Debian's does not.
  bool reads_sysconfig;
  /// It knows the seat type "unity" (LightDM 1.26): the program holds the module's name.
  bool knows_unity_seat;
};

/// Returns 0 and fills |build| from the program at |path|; a program that is absent fills in
/// none of them. Returns 1, with errno set, when it cannot be
/// read.
int read_lightdm_build(const char* path, LightdmBuild* build);

/// Returns the installed LightDM's build, read once a run from LIGHTDM_PROGRAM (one that cannot
/// be read counts as absent).
const LightdmBuild& installed_lightdm_build();

/// LightDM's configuration sources as the installed LightDM reads them: the sysconfig file only
/// where its build reads it.
const ConfigPaths& installed_config_paths();

#endif  // BRINDLEWAY_GATES_LIGHTDM_BUILD_H_
