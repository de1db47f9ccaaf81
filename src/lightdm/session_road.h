#ifndef BRINDLEWAY_LIGHTDM_SESSION_ROAD_H_
#define BRINDLEWAY_LIGHTDM_SESSION_ROAD_H_

#include <cstddef>

#include "lightdm/keyfile_value.h"

/// The PATH of the daemon, under which LightDM looks up every program it runs as a command:
/// systemd's default for services, as systemd 252 (Debian 12) holds it. systemd 257 (Debian 13)
/// leaves out /sbin and /bin, which its merged /usr makes the same directories.
inline constexpr char DAEMON_PATH[] =
    "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
/// The PATH LightDM puts in the environment of a user's session (session-child.c); pam_env is
/// taken to leave it as it is, as Debian ships /etc/environment and pam_env.conf.
inline constexpr char SESSION_PATH[] = "/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games";

/// How GLib's g_shell_parse_argv reads a command line.
enum class ShellWords {
  kWords,    // it splits: the first word is given
  kEmpty,    // "Text was empty (or contained only whitespace)"
  kInvalid,  // an unmatched quote, or a backslash at its end
};

/// Splits |text| as g_shell_parse_argv does (blanks and line feeds between words, '#' opening a
/// comment at the start of a word, backslash escapes, single and double quotes) and writes its
/// first word into |word| (|size| bytes). A first word that does not fit counts as kInvalid.
ShellWords shell_first_word(const char* text, char* word, std::size_t size);

/// The kind of session LightDM starts from a session file.
enum class SessionKind { kX, kWayland, kOther };

/// Returns the kind LightDM gives a session file found in |dir| whose X-LightDM-Session-Type is
/// |type| (null when the file has none): the key where it is there; otherwise "x", except that
/// a LightDM with |wayland_dir_rule| gives "wayland" to a file of a directory whose path ends
/// in "/wayland-sessions".
SessionKind session_kind(const char* dir, const KeyFileString* type, bool wayland_dir_rule);

/// What LightDM makes of a seat's "type" list.
enum class SeatTypeVerdict {
  kLocal,   // the first entry it can create is "local" (or its old name "xlocal")
  kRemote,  // it is "xremote": an X server on another host, which is not judged
  kNone,    // no entry it can start here
};

/// Returns what LightDM makes of the type list |types| (';'-separated, as
/// g_key_file_get_string_list splits it), trying the entries in order: "local", "xlocal" and
/// "xremote" are known to every version; "unity", where LightDM knows it (|knows_unity|, 1.26),
/// makes a seat that needs a compositor no Debian ships, and LightDM 1.26 then exits; other
/// names are no seat type and are passed over. Writes the entry that decides into |entry|
/// (|size| bytes) for kLocal and kRemote.
SeatTypeVerdict seat_type_verdict(const char* types, bool knows_unity, char* entry,
                                  std::size_t size);

#endif  // BRINDLEWAY_LIGHTDM_SESSION_ROAD_H_
