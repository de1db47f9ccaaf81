#include "lightdm/lightdm_sources.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>

#include "common/constants.h"
#include "common/quote.h"
#include "common/read_whole.h"
#include "common/words.h"
#include "lightdm/run_storage.h"
#include "lightdm/seat_autologin.h"
#include "lightdm/sysconfig_override.h"

// The one reading of LightDM's sources: status, and a change before it writes anything, read
// them through here in LightDM's order, so the two can never disagree on what LightDM does.
// The main file is never cut short: a file that does not fit the buffer whole or cannot be read
// to its end is refused. Every byte is carried by its length, so a NUL byte in a comment goes
// through like any other; one in a line LightDM reads is refused when that line is judged.

namespace {

/// Opens the main file at |path|, through a link at the path unless |to_replace|. Returns the
/// descriptor, or -1 with errno set.
int open_main_file(const char* path, bool to_replace) {
  if (!to_replace) return open_to_read(path);
  // O_NONBLOCK: a FIFO or a device put at the path must not hold the helper up. The checks are
  // made on the descriptor that was opened, so the path cannot be swapped in between.
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
  for (int tries = 0;; ++tries) {
    const int fd = open(path, kFlags);
    if (fd >= 0 || errno != EINTR || tries == INTERRUPTED_TRIES) return fd;
  }
}

/// Reads the main file at |path| into the run's input buffer as long as it is a regular file
/// that fits whole, as |reading| asks. Returns 0 and fills |reading|'s text, attributes and
/// (to replace it) descriptor, or 1 after saying why not.
int read_main_file(const char* path, LightdmReading* reading) {
  reading->text = Span{run_storage().input, 0};
  std::memset(&reading->read_as, 0, sizeof reading->read_as);
  UniqueFd fd(open_main_file(path, reading->to_replace));
  if (fd.get() < 0) {
    if (errno == ENOENT && !reading->to_replace) return 0;  // LightDM reads no file then
    if (errno == ELOOP && reading->to_replace) {
      say("conf-is-symlink", path);
    } else {
      say("conf-cannot-open", path, std::strerror(errno));
    }
    return 1;
  }
  if (fstat(fd.get(), &reading->read_as) != 0) {
    say("conf-unreadable", path, std::strerror(errno));
    return 1;
  }
  if (!S_ISREG(reading->read_as.st_mode)) {
    say("conf-not-regular", path);
    return 1;
  }
  if (read_whole(fd.get(), run_storage().input, CONF_BUFFER_SIZE, &reading->text.len) != 0) {
    if (errno == EFBIG) {
      say("conf-too-large", path, CONF_BUFFER_SIZE - 1);
    } else {
      say("conf-unreadable", path, std::strerror(errno));
    }
    return 1;
  }
  if (reading->to_replace) reading->read_fd.reset(fd.release());
  return 0;
}

/// Returns 0 if the seat at |seat| fares the same under both GLib rules, or 1 after reporting.
int check_seat_readings(const SeatModel& model, std::size_t seat, const char* prefix) {
  const SeatAutologin old_glib = seat_autologin(model, seat, GlibRule::kKeepsBadEscapes);
  const SeatAutologin new_glib = seat_autologin(model, seat, GlibRule::kRefusesBadEscapes);
  if (same_outcome(old_glib, new_glib)) return 0;
  SeatKey key = SEAT_KEY_COUNT;
  const SeatSetting* setting = glib_dependent_setting(old_glib, &key);
  char path[quoted_size(SOURCE_PATH_MAX)];
  quote_name(setting->path, path, sizeof path);
  say("glib-versions-differ", prefix, path, setting->line, SEAT_KEY_NAMES[key]);
  return 1;
}

}  // namespace

int read_lightdm_sources(const ConfigPaths& paths, const SeatList& seats, const char* prefix,
                         LightdmReading* reading) {
  reading->model = nullptr;
  if (read_main_file(paths.conf, reading) != 0) return 1;
  SeatModel& model = run_storage().model;
  seat_model_reset(&model, seats);
  // The output buffer holds each drop-in in turn, until an edit makes the new text there.
  if (read_drop_ins(paths, &model, run_storage().output, CONF_BUFFER_SIZE, prefix) != 0) {
    return 1;
  }
  SourceScan scan;
  scan_begin(&scan, paths.conf, model.seats);
  const MainFileEdit& edit = reading->edit;
  if (edit.edit == nullptr) {
    scan_text(&scan, reading->text.data, reading->text.len);
  } else if (edit.edit(edit.context, model, reading->text, &scan) != 0) {
    return 1;
  }
  scan_merge(&scan, &model);
  if (check_main_source(scan, prefix) != 0) return 1;
  if (apply_sysconfig_override(paths.sysconfig, &model, prefix) != 0) return 1;
  reading->model = &model;
  return 0;
}

int check_glib_readings(const SeatModel& model, const char* prefix) {
  for (std::size_t seat = 0; seat < model.seats.count; ++seat) {
    if (check_seat_readings(model, seat, prefix) != 0) return 1;
  }
  return 0;
}
