#include "gates/road_gate.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <sys/stat.h>

#include "common/format_text.h"
#include "common/i18n.h"
#include "common/quote.h"
#include "gates/lightdm_build.h"
#include "lightdm/display_setup.h"
#include "lightdm/seat_autologin.h"
#include "lightdm/session_choice.h"
#include "lightdm/session_road.h"

// LightDM runs a chain of programs before a session appears, and a missing one ends in the
// greeter, not in an error anyone sees at enable time. Each is looked up here where LightDM
// looks it up (seat.c, process.c, x-server-local.c):
//  - display-setup-script and session-setup-script: split by g_shell_parse_argv, run as root by
//    execvp on the daemon's PATH;
//  - session-wrapper: the whole value, g_find_program_in_path on the daemon's PATH, run as the
//    user; Debian's /etc/X11/Xsession then runs the session's Exec on the session's PATH, or
//    falls back on ~/.xsession and the system's session manager (its options as Debian ships
//    them: allow-failsafe, allow-user-xsession);
//  - xserver-command, for X sessions: its first word up to a space, on the daemon's PATH.
// The helper never runs any of them: a script that is there is trusted to exit 0.

namespace {

constexpr char kDefaultWrapper[] = "lightdm-session";
constexpr char kDefaultXServer[] = "X";
constexpr char kDefaultType[] = "local";
/// What Debian's Xsession falls back on, in order, once ~/.xsession and ~/.Xsession are absent.
constexpr const char* kXsessionFallbacks[] = {"/usr/bin/x-session-manager",
                                              "/usr/bin/x-window-manager",
                                              "/usr/bin/x-terminal-emulator"};

bool runnable(const struct stat& st) { return S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0; }

/// Marks |verdict| |state|, worded by row |code|. Returns false, for the caller to return.
bool block(RoadVerdict* verdict, RoadVerdict::State state, WordId code) {
  verdict->state = state;
  verdict->code = code;
  return false;
}

/// Writes where |key|'s value on the seat comes from: the setting, or LightDM's default.
void origin_of(const SeatSetting* setting, SeatKey key, char* buf, std::size_t size) {
  if (setting != nullptr) {
    setting_phrase(*setting, SEAT_KEY_NAMES[key], buf, size);
    return;
  }
  // TRANSLATORS: where a value comes from when no file sets the key; %s is the key.
  format_text(buf, size, _("LightDM's default %s"), SEAT_KEY_NAMES[key]);
}

/// Reads |key| on the seat. Returns true and points |*value| at it (|fallback| where no source
/// sets it, null for none), or false after filling |verdict| when GLib's versions disagree.
bool seat_value(const SeatModel& model, std::size_t seat, SeatKey key, const char* fallback,
                const char** value, const SeatSetting** setting, RoadVerdict* verdict) {
  *setting = effective_setting(model, key, seat);
  *value = fallback;
  if (*setting == nullptr) return true;
  const KeyFileString& text = (*setting)->value;
  if (keyfile_present(text, GlibRule::kKeepsBadEscapes) &&
      keyfile_present(text, GlibRule::kRefusesBadEscapes) && text.len <= KEYFILE_VALUE_MAX) {
    *value = text.text;
    return true;
  }
  char where[SOURCE_PATH_MAX * 4 + SEAT_GROUP_NAME_MAX * 4 + 64];
  setting_phrase(**setting, SEAT_KEY_NAMES[key], where, sizeof where);
  return block(verdict, RoadVerdict::kCannotTell,
               format_reason(verdict->why, sizeof verdict->why, "road-value-unreadable", where));
}

/// Fills |verdict| for |program|, named by |origin|, that |lookup| did not find. Returns false.
bool program_missing(ProgramLookup lookup, const char* program, const char* origin,
                     RoadVerdict* verdict) {
  char shown[quoted_size(PATH_MAX)];
  quote_name(program, shown, sizeof shown);
  char* why = verdict->why;
  const std::size_t size = sizeof verdict->why;
  if (lookup == ProgramLookup::kCannotTell) {
    return block(verdict, RoadVerdict::kCannotTell,
                 format_reason(why, size, "program-unknown", shown, origin));
  }
  return block(verdict, RoadVerdict::kBlocked,
               lookup == ProgramLookup::kMissing
                   ? format_reason(why, size, "program-not-installed", shown, origin)
                   : format_reason(why, size, "program-not-executable", shown, origin));
}

/// Fills |verdict| for an empty command named by |origin|. Returns false.
bool empty_command(const char* origin, RoadVerdict* verdict) {
  return block(verdict, RoadVerdict::kBlocked,
               format_reason(verdict->why, sizeof verdict->why, "command-empty", origin));
}

/// Returns true if the command line |command|, named by |origin|, splits and its first word is
/// a program on |path|; or false after filling |verdict|.
bool command_runs(const char* command, const char* path, const char* origin,
                  RoadVerdict* verdict) {
  char word[PATH_MAX];
  switch (shell_first_word(command, word, sizeof word)) {
    case ShellWords::kWords:
      break;
    case ShellWords::kEmpty:
      return empty_command(origin, verdict);
    case ShellWords::kInvalid: {
      char shown[quoted_size(KEYFILE_VALUE_MAX)];
      quote_name(command, shown, sizeof shown);
      return block(verdict, RoadVerdict::kBlocked,
                   format_reason(verdict->why, sizeof verdict->why, "command-unsplittable", shown,
                                 origin));
    }
  }
  char found[PATH_MAX];
  const ProgramLookup lookup = find_program(word, path, found, sizeof found);
  return lookup == ProgramLookup::kFound || program_missing(lookup, word, origin, verdict);
}

/// Checks a setup script of the seat, which LightDM runs as root when a source sets it.
bool script_runs(const SeatModel& model, std::size_t seat, SeatKey key, RoadVerdict* verdict) {
  const char* script = nullptr;
  const SeatSetting* setting = nullptr;
  if (!seat_value(model, seat, key, nullptr, &script, &setting, verdict)) return false;
  if (script == nullptr) return true;
  char origin[SOURCE_PATH_MAX * 4 + SEAT_GROUP_NAME_MAX * 4 + 64];
  origin_of(setting, key, origin, sizeof origin);
  return command_runs(script, DAEMON_PATH, origin, verdict);
}

/// Returns true if |path| exists, as Xsession's "[ -e ]" sees it; what cannot be seen counts as
/// there.
bool exists(const char* path) {
  struct stat st {};
  return stat(path, &st) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

/// Returns true if Debian's Xsession, given the session's Exec |exec|, starts something for a
/// user whose home is |home|; or false after filling |verdict|.
bool xsession_runs(const char* exec, const char* origin, const char* home, RoadVerdict* verdict) {
  char found[PATH_MAX];
  if (std::strcmp(exec, "failsafe") == 0) {
    if (find_program(kXsessionFallbacks[2], DAEMON_PATH, found, sizeof found) ==
        ProgramLookup::kFound) {
      return true;
    }
    return program_missing(ProgramLookup::kMissing, kXsessionFallbacks[2], origin, verdict);
  }
  if (std::strcmp(exec, "default") != 0) {
    // Xsession looks up the Exec up to its first space ("${1%% *}") with command -v.
    char word[PATH_MAX];
    const char* space = std::strchr(exec, ' ');
    const std::size_t len = space != nullptr ? static_cast<std::size_t>(space - exec)
                                             : std::strlen(exec);
    if (len > 0 && len < sizeof word) {
      std::memcpy(word, exec, len);
      word[len] = '\0';
      if (find_program(word, SESSION_PATH, found, sizeof found) == ProgramLookup::kFound) {
        return true;
      }
    }
  }
  constexpr const char* kDotfiles[] = {"/.xsession", "/.Xsession"};
  for (const char* dotfile : kDotfiles) {
    char path[PATH_MAX];
    if (home != nullptr && format_text(path, sizeof path, "%s%s", home, dotfile) &&
        exists(path)) {
      return true;
    }
  }
  for (const char* fallback : kXsessionFallbacks) {
    struct stat st {};
    if (stat(fallback, &st) == 0 && runnable(st)) return true;
  }
  char shown[quoted_size(KEYFILE_VALUE_MAX)];
  quote_name(exec, shown, sizeof shown);
  return block(verdict, home != nullptr ? RoadVerdict::kBlocked : RoadVerdict::kNotChecked,
               format_reason(verdict->why, sizeof verdict->why, "xsession-finds-nothing", shown,
                             origin, DEBIAN_XSESSION));
}

/// Checks that LightDM starts the seat at all, with a type it can start here.
bool seat_starts(const SeatModel& model, std::size_t seat, RoadVerdict* verdict) {
  if (!starts_default_seat(model)) {
    const LightdmSetting& setting = model.lightdm_raw[LIGHTDM_RAW_KEY_START_DEFAULT_SEAT];
    char value[quoted_size(LIGHTDM_RAW_MAX)];
    quote_name(setting.raw, value, sizeof value);
    char path[quoted_size(SOURCE_PATH_MAX)];
    quote_name(setting.path, path, sizeof path);
    return block(verdict, RoadVerdict::kBlocked,
                 format_reason(verdict->why, sizeof verdict->why, "no-seat-started", value, path,
                               setting.line));
  }
  const char* types = nullptr;
  const SeatSetting* setting = nullptr;
  if (!seat_value(model, seat, SEAT_KEY_TYPE, kDefaultType, &types, &setting, verdict)) {
    return false;
  }
  char entry[64];
  const SeatTypeVerdict type =
      seat_type_verdict(types, installed_lightdm_build().knows_unity_seat, entry, sizeof entry);
  if (type == SeatTypeVerdict::kLocal) return true;
  char origin[SOURCE_PATH_MAX * 4 + SEAT_GROUP_NAME_MAX * 4 + 64];
  origin_of(setting, SEAT_KEY_TYPE, origin, sizeof origin);
  char shown[quoted_size(KEYFILE_VALUE_MAX)];
  quote_name(types, shown, sizeof shown);
  if (type == SeatTypeVerdict::kRemote) {
    return block(verdict, RoadVerdict::kCannotTell,
                 format_reason(verdict->why, sizeof verdict->why, "seat-type-remote", shown,
                               origin));
  }
  return block(verdict, RoadVerdict::kBlocked,
               format_reason(verdict->why, sizeof verdict->why, "seat-type-unstartable", shown,
                             origin));
}

/// Checks the session wrapper and what it runs of the session's Exec.
bool session_runs(const SeatModel& model, std::size_t seat, const SessionFile& file,
                  const char* home, RoadVerdict* verdict) {
  const char* wrapper = nullptr;
  const SeatSetting* setting = nullptr;
  if (!seat_value(model, seat, SEAT_KEY_SESSION_WRAPPER, kDefaultWrapper, &wrapper, &setting,
                  verdict)) {
    return false;
  }
  char origin[SOURCE_PATH_MAX * 4 + SEAT_GROUP_NAME_MAX * 4 + 64];
  origin_of(setting, SEAT_KEY_SESSION_WRAPPER, origin, sizeof origin);
  if (wrapper[0] == '\0') return empty_command(origin, verdict);
  char found[PATH_MAX];
  const ProgramLookup lookup = find_program(wrapper, DAEMON_PATH, found, sizeof found);
  if (lookup != ProgramLookup::kFound) return program_missing(lookup, wrapper, origin, verdict);
  char exec_path[quoted_size(PATH_MAX)];
  quote_name(file.path, exec_path, sizeof exec_path);
  char exec_origin[PATH_MAX * 4 + 64];
  // TRANSLATORS: where a session's command comes from: Exec in FILE.
  format_text(exec_origin, sizeof exec_origin, _("Exec in %s"), exec_path);
  if (std::strcmp(found, DEBIAN_XSESSION) == 0) {
    return xsession_runs(file.exec.text, exec_origin, home, verdict);
  }
  // Another wrapper is taken to run the Exec as a command, as LightDM's own lightdm-session
  // does ("exec $@"), on the session's PATH.
  return command_runs(file.exec.text, SESSION_PATH, exec_origin, verdict);
}

}  // namespace

ProgramLookup find_program(const char* name, const char* path, char* found, std::size_t size) {
  found[0] = '\0';
  if (std::strchr(name, '/') != nullptr) {
    if (name[0] != '/') return ProgramLookup::kCannotTell;  // relative to LightDM's directory
    format_text(found, size, "%s", name);
    struct stat st {};
    if (stat(name, &st) != 0) {
      return errno == ENOENT || errno == ENOTDIR ? ProgramLookup::kMissing
                                                 : ProgramLookup::kCannotTell;
    }
    return runnable(st) ? ProgramLookup::kFound : ProgramLookup::kNotExecutable;
  }
  ProgramLookup result = ProgramLookup::kMissing;
  const char* start = path;
  for (;;) {
    const char* colon = std::strchr(start, ':');
    const int len = static_cast<int>(colon != nullptr ? static_cast<std::size_t>(colon - start)
                                                      : std::strlen(start));
    char candidate[PATH_MAX];
    if (len > 0 && format_text(candidate, sizeof candidate, "%.*s/%s", len, start, name)) {
      struct stat st {};
      if (stat(candidate, &st) == 0) {
        if (runnable(st)) {
          format_text(found, size, "%s", candidate);
          return ProgramLookup::kFound;
        }
        if (!S_ISDIR(st.st_mode)) {
          format_text(found, size, "%s", candidate);
          result = ProgramLookup::kNotExecutable;
        }
      }
    }
    if (colon == nullptr) return result;
    start = colon + 1;
  }
}

void check_road(const SeatModel& model, std::size_t seat, const SessionFile& file,
                const char* home, RoadVerdict* verdict) {
  verdict->state = RoadVerdict::kClear;
  verdict->code = 0;
  verdict->why[0] = '\0';
  if (!seat_starts(model, seat, verdict)) return;
  if (!script_runs(model, seat, SEAT_KEY_DISPLAY_SETUP_SCRIPT, verdict)) return;
  if (!script_runs(model, seat, SEAT_KEY_SESSION_SETUP_SCRIPT, verdict)) return;
  if (file.kind == SessionKind::kX) {
    const char* command = nullptr;
    const SeatSetting* setting = nullptr;
    if (!seat_value(model, seat, SEAT_KEY_XSERVER_COMMAND, kDefaultXServer, &command, &setting,
                    verdict)) {
      return;
    }
    // x-server-local.c takes the program up to the first space, and no quoting.
    char program[PATH_MAX];
    const char* space = std::strchr(command, ' ');
    const int len = static_cast<int>(space != nullptr ? static_cast<std::size_t>(space - command)
                                                      : std::strlen(command));
    char origin[SOURCE_PATH_MAX * 4 + SEAT_GROUP_NAME_MAX * 4 + 64];
    origin_of(setting, SEAT_KEY_XSERVER_COMMAND, origin, sizeof origin);
    if (len == 0) {
      empty_command(origin, verdict);
      return;
    }
    char found[PATH_MAX];
    const ProgramLookup lookup = !format_text(program, sizeof program, "%.*s", len, command)
                                     ? ProgramLookup::kCannotTell
                                     : find_program(program, DAEMON_PATH, found, sizeof found);
    if (lookup != ProgramLookup::kFound) {
      program_missing(lookup, program, origin, verdict);
      return;
    }
  }
  session_runs(model, seat, file, home, verdict);
}
