#include "seatconf/conf_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "common/constants.h"
#include "common/message_queue.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"
#include "lightdm/source_scan.h"
#include "lightdm/sysconfig_override.h"
#include "seatconf/file_replace.h"
#include "seatconf/promise_check.h"
#include "seatconf/seat_rewrite.h"

// Nothing is changed before everything that can refuse has had its say: the whole
// configuration is read, the new text is made in memory and LightDM's reading of it is checked
// first; only then does the caller change the group and put the new file in place.
// The configuration is never cut short: a file that does not fit the buffer whole or cannot be
// read to its end is refused before anything is written. Every byte is carried by its length, so
// a NUL byte in a comment goes through like any other; one in a line LightDM reads is refused
// when that line is judged.

namespace {

/// The largest configuration that fits the input buffer with room for a terminator.
constexpr std::size_t kMaxConfSize = CONF_BUFFER_SIZE - 1;

/// What a disable of enable's own output can add: each of at most two
/// "autologin-user-timeout=0" lines gains its "#". Enable keeps that much room, so a file it
/// wrote can always be switched off again.
constexpr std::size_t kDisableGrowth = 2;

// Reserved with the program, so that no limit on the caller's address space can make them
// fail to appear half-way through.
char g_input[CONF_BUFFER_SIZE];
char g_output[CONF_BUFFER_SIZE];
SeatModel g_model;

/// Reads the main file of |paths| into |buf| (CONF_BUFFER_SIZE bytes) as long as it is a
/// regular file that fits whole, following a link at its path only when |follow_links|.
/// Returns 0 and sets |*len| and |*st|, or 1 after reporting why not. A missing file is
/// reported only when |missing_ok| is false; then |*len| is 0 and |st->st_ino| is 0.
int read_main_config(const ConfigPaths& paths, bool follow_links, bool missing_ok, char* buf,
                     std::size_t* len, struct stat* st) {
  const char* path = paths.conf;
  *len = 0;
  std::memset(st, 0, sizeof *st);
  // O_NONBLOCK: a FIFO or a device put at the path must not hold the helper up. The checks are
  // made on the descriptor that was opened, so the path cannot be swapped in between.
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  UniqueFd fd(follow_links ? open(path, kFlags) : open(path, kFlags | O_NOFOLLOW));
  if (fd.get() < 0) {
    if (errno == ENOENT && missing_ok) return 0;
    if (errno == ELOOP && !follow_links) {
      msg_err(
                   "Cannot update %s: it is a symbolic link, and replacing it would leave the "
                   "file it points to as it is\n",
                   path);
    } else {
      msg_err("Cannot open %s: %s\n", path, std::strerror(errno));
    }
    return 1;
  }
  if (fstat(fd.get(), st) != 0) {
    msg_err("Cannot read %s: %s\n", path, std::strerror(errno));
    return 1;
  }
  if (!S_ISREG(st->st_mode)) {
    msg_err("Cannot read %s: not a regular file\n", path);
    return 1;
  }
  if (read_whole(fd.get(), buf, CONF_BUFFER_SIZE, len) != 0) {
    if (errno == EFBIG) {
      msg_err("Cannot read %s: file is larger than %zu bytes\n", path,
                   kMaxConfSize);
    } else {
      msg_err("Cannot read %s: %s\n", path, std::strerror(errno));
    }
    return 1;
  }
  return 0;
}

}  // namespace

int prepare_config_update(const ConfigPaths& paths, const SeatList& seats,
                          const AutologinRequest& request, ConfUpdate* update) {
  std::size_t in_len = 0;
  if (read_main_config(paths, false, false, g_input, &in_len, &update->read_as) != 0) return 1;

  char prefix[REFUSAL_PREFIX_SIZE];
  refusal_prefix(request, prefix, sizeof prefix);
  seat_model_reset(&g_model, seats);
  // The output buffer holds each drop-in in turn until the new text is made.
  if (read_drop_ins(paths, &g_model, g_output, CONF_BUFFER_SIZE, prefix) != 0) return 1;

  RewriteOptions options = options_against(g_model, request);
  SourceScan scan;
  scan_begin(&scan, paths.conf, g_model.seats);
  // The new file must be readable by the next run, which is what turns automatic login off.
  std::size_t cap = request.enable ? kMaxConfSize - kDisableGrowth : kMaxConfSize;
  if (rewrite_seat_section(Span{g_input, in_len}, request, options, g_output, cap,
                           &update->text, &scan) != 0) {
    msg_err("Cannot update %s: the new file would be larger than %zu bytes\n",
                 paths.conf, cap);
    return 1;
  }
  scan_merge(&scan, &g_model);
  if (check_main_source(scan, prefix) != 0) return 1;
  if (apply_sysconfig_override(paths.sysconfig, &g_model, prefix) != 0) return 1;
  if (check_promise(g_model, request) != 0) return 1;
  update->pam_services.count = 0;
  return request.enable ? autologin_pam_services(g_model, &update->pam_services, prefix)
                        : 0;
}

const SeatModel* read_lightdm_state(const ConfigPaths& paths, const SeatList& seats,
                                    const char* prefix) {
  std::size_t len = 0;
  struct stat st {};
  // LightDM reads through a link at the path and starts without the file.
  if (read_main_config(paths, true, true, g_input, &len, &st) != 0) return nullptr;
  seat_model_reset(&g_model, seats);
  if (read_drop_ins(paths, &g_model, g_output, CONF_BUFFER_SIZE, prefix) != 0) return nullptr;
  SourceScan scan;
  scan_begin(&scan, paths.conf, g_model.seats);
  scan_text(&scan, g_input, len);
  scan_merge(&scan, &g_model);
  if (check_main_source(scan, prefix) != 0) return nullptr;
  return apply_sysconfig_override(paths.sysconfig, &g_model, prefix) == 0 ? &g_model : nullptr;
}

int stage_config_update(const ConfigPaths& paths, ConfUpdate* update) {
  return stage_file(paths.conf, update->text.data, update->text.len, update->read_as,
                    &update->staged);
}

int commit_config_update(ConfUpdate* update) { return commit_staged_file(&update->staged); }

int discard_config_update(ConfUpdate* update) { return discard_staged_file(&update->staged); }
