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
#include "lightdm/run_storage.h"
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


/// Reads the main file of |paths| into |buf| (CONF_BUFFER_SIZE bytes) as long as it is a
/// regular file that fits whole and no link stands at its path. Returns 0, sets |*len| and
/// |*st| and hands the open file to |keep|; or 1 after reporting why not.
int read_main_config(const ConfigPaths& paths, char* buf, std::size_t* len, struct stat* st,
                     UniqueFd* keep) {
  const char* path = paths.conf;
  *len = 0;
  std::memset(st, 0, sizeof *st);
  // O_NONBLOCK: a FIFO or a device put at the path must not hold the helper up. The checks are
  // made on the descriptor that was opened, so the path cannot be swapped in between.
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  UniqueFd fd(open(path, kFlags | O_NOFOLLOW));
  if (fd.get() < 0) {
    if (errno == ELOOP) {
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
  keep->reset(fd.release());
  return 0;
}

}  // namespace

int prepare_config_update(const ConfigPaths& paths, const SeatList& seats,
                          const AutologinRequest& request, ConfUpdate* update) {
  char* const input = run_storage().input;
  char* const output = run_storage().output;
  SeatModel& model = run_storage().model;
  std::size_t in_len = 0;
  update->before = Span{nullptr, 0};
  if (read_main_config(paths, input, &in_len, &update->read_as, &update->read_fd) != 0) {
    return 1;
  }
  update->before = Span{input, in_len};

  char prefix[REFUSAL_PREFIX_SIZE];
  refusal_prefix(request, prefix, sizeof prefix);
  seat_model_reset(&model, seats);
  // The output buffer holds each drop-in in turn until the new text is made.
  if (read_drop_ins(paths, &model, output, CONF_BUFFER_SIZE, prefix) != 0) return 1;

  RewriteOptions options = options_against(model, request);
  SourceScan scan;
  scan_begin(&scan, paths.conf, model.seats);
  // The new file must be readable by the next run, which is what turns automatic login off.
  std::size_t cap = request.enable ? kMaxConfSize - kDisableGrowth : kMaxConfSize;
  if (rewrite_seat_section(Span{input, in_len}, request, options, output, cap,
                           &update->text, &scan) != 0) {
    msg_err("Cannot update %s: the new file would be larger than %zu bytes\n",
                 paths.conf, cap);
    return 1;
  }
  scan_merge(&scan, &model);
  if (check_main_source(scan, prefix) != 0) return 1;
  if (apply_sysconfig_override(paths.sysconfig, &model, prefix) != 0) return 1;
  if (check_promise(model, request) != 0) return 1;
  update->pam_services.count = 0;
  update->model = &model;
  return request.enable ? autologin_pam_services(model, &update->pam_services, prefix)
                        : 0;
}

int stage_config_update(const ConfigPaths& paths, ConfUpdate* update) {
  const int result = stage_file(paths.conf, update->read_fd.get(), update->text.data,
                                update->text.len, update->read_as, &update->staged);
  update->read_fd.reset(-1);
  return result;
}

int commit_config_update(ConfUpdate* update) { return commit_staged_file(&update->staged); }

int discard_config_update(ConfUpdate* update) { return discard_staged_file(&update->staged); }
