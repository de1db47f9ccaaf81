#include "lightdm/lightdm_state.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

#include "common/constants.h"
#include "common/message_queue.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"
#include "lightdm/source_scan.h"
#include "lightdm/sysconfig_override.h"

// The reading that status does: LightDM's configuration as it stands, every source in LightDM's
// order. It shares the rules with the writer (source_scan, config_sources) but none of the
// writer's buffers or checks, so a run that only looks never passes through the code that
// replaces the file.

namespace {

// Reserved with the program, as the writer's are: no limit on the caller's address space can
// make them fail to appear half-way through.
char g_text[CONF_BUFFER_SIZE];
char g_scratch[CONF_BUFFER_SIZE];
SeatModel g_model;

/// Reads the main file at |path| into g_text as LightDM does: through a link at the path, and
/// with nothing read when it is absent. Returns 0 and sets |*len|, or 1 after saying why not.
int read_main_file(const char* path, std::size_t* len) {
  *len = 0;
  UniqueFd fd(open_to_read(path));
  if (fd.get() < 0) {
    if (errno == ENOENT) return 0;
    msg_err("Cannot open %s: %s\n", path, std::strerror(errno));
    return 1;
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) {
    msg_err("Cannot read %s: %s\n", path, std::strerror(errno));
    return 1;
  }
  if (!S_ISREG(st.st_mode)) {
    msg_err("Cannot read %s: not a regular file\n", path);
    return 1;
  }
  if (read_whole(fd.get(), g_text, sizeof g_text, len) == 0) return 0;
  if (errno == EFBIG) {
    msg_err("Cannot read %s: file is larger than %zu bytes\n", path, sizeof g_text - 1);
  } else {
    msg_err("Cannot read %s: %s\n", path, std::strerror(errno));
  }
  return 1;
}

}  // namespace

const SeatModel* read_lightdm_state(const ConfigPaths& paths, const SeatList& seats,
                                    const char* prefix) {
  std::size_t len = 0;
  if (read_main_file(paths.conf, &len) != 0) return nullptr;
  seat_model_reset(&g_model, seats);
  if (read_drop_ins(paths, &g_model, g_scratch, sizeof g_scratch, prefix) != 0) return nullptr;
  SourceScan scan;
  scan_begin(&scan, paths.conf, g_model.seats);
  scan_text(&scan, g_text, len);
  scan_merge(&scan, &g_model);
  if (check_main_source(scan, prefix) != 0) return nullptr;
  return apply_sysconfig_override(paths.sysconfig, &g_model, prefix) == 0 ? &g_model : nullptr;
}
