#ifndef BRINDLEWAY_LIGHTDM_SESSION_FILE_H_
#define BRINDLEWAY_LIGHTDM_SESSION_FILE_H_

#include <climits>
#include <cstddef>

#include "lightdm/keyfile_value.h"
#include "lightdm/session_road.h"

/// The largest session file judged; a larger one is "cannot tell".
inline constexpr std::size_t SESSION_FILE_MAX = 32767;

/// Where LightDM finds a session's .desktop file (find_session_config).
struct SessionFile {
  enum State {
    kFound,       // |path| wins
    kNotFound,    // no directory has a file that loads with Exec
    kCannotTell,  // |path| and |why| say which file cannot be judged, and why
  } state;
  /// For kFound: the kind of session, and its Exec as LightDM reads it.
  SessionKind kind;
  KeyFileString exec;
  char path[PATH_MAX];
  char why[256];
};

/// Looks up |name|.desktop in each directory of the colon-separated |dirs|, in order, as LightDM
/// does as root, by the rules of a LightDM with or without |wayland_dir_rule| (session_kind): it follows links; a file that cannot be opened, is not a regular file, does
/// not load as a key file or has no Exec in [Desktop Entry] passes to the next directory. The
/// name must pass is_session_file_name. A FIFO (LightDM would wait for ever), a file larger than
/// SESSION_FILE_MAX, an empty or relative directory, and any other failure are kCannotTell.
/// Fills |found|.
void find_session_file(const char* dirs, const KeyFileString& name, bool wayland_dir_rule,
                       SessionFile* found);

#endif  // BRINDLEWAY_LIGHTDM_SESSION_FILE_H_
