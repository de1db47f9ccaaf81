#include "lightdm/lightdm_state.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

#include "common/constants.h"
#include "common/message_queue.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"
#include "common/words.h"
#include "lightdm/run_storage.h"
#include "lightdm/source_scan.h"
#include "lightdm/sysconfig_override.h"

// The reading that status does: LightDM's configuration as it stands, every source in LightDM's
// order. It shares the rules with the writer (source_scan, config_sources) and the run's
// storage, but none of the writer's code, so a run that only looks never passes through the
// code that replaces the file.

namespace {

/// Reads the main file at |path| into the run's input buffer as LightDM does: through a link at
/// the path, and with nothing read when it is absent. Returns 0 and sets |*len|, or 1 after
/// saying why not.
int read_main_file(const char* path, std::size_t* len) {
  *len = 0;
  UniqueFd fd(open_to_read(path));
  if (fd.get() < 0) {
    if (errno == ENOENT) return 0;
    say("conf-cannot-open", path, std::strerror(errno));
    return 1;
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) {
    say("conf-unreadable", path, std::strerror(errno));
    return 1;
  }
  if (!S_ISREG(st.st_mode)) {
    say("conf-not-regular", path);
    return 1;
  }
  if (read_whole(fd.get(), run_storage().input, CONF_BUFFER_SIZE, len) == 0) return 0;
  if (errno == EFBIG) {
    say("conf-too-large", path, CONF_BUFFER_SIZE - 1);
  } else {
    say("conf-unreadable", path, std::strerror(errno));
  }
  return 1;
}

}  // namespace

const SeatModel* read_lightdm_state(const ConfigPaths& paths, const SeatList& seats,
                                    const char* prefix) {
  std::size_t len = 0;
  if (read_main_file(paths.conf, &len) != 0) return nullptr;
  SeatModel& model = run_storage().model;
  seat_model_reset(&model, seats);
  if (read_drop_ins(paths, &model, run_storage().output, CONF_BUFFER_SIZE, prefix) != 0) {
    return nullptr;
  }
  SourceScan scan;
  scan_begin(&scan, paths.conf, model.seats);
  scan_text(&scan, run_storage().input, len);
  scan_merge(&scan, &model);
  if (check_main_source(scan, prefix) != 0) return nullptr;
  return apply_sysconfig_override(paths.sysconfig, &model, prefix) == 0 ? &model : nullptr;
}
