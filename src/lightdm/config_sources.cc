#include "lightdm/config_sources.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/constants.h"
#include "common/i18n.h"
#include "common/message_queue.h"
#include "common/quote.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"
#include "common/words.h"
#include "lightdm/drop_in_names.h"
#include "lightdm/seat_autologin.h"

// LightDM 1.26 (config_load_from_standard_locations) reads, in this order:
//  1. lightdm.conf.d in each XDG data directory, the last one first: /usr/share, /usr/local/share;
//  2. lightdm.conf.d in the XDG configuration directory /etc/xdg;
//  3. /etc/lightdm/lightdm.conf.d;
//  4. /etc/lightdm/lightdm.conf.
// A drop-in it cannot open or parse is skipped whole; a lightdm.conf it cannot parse stops it.
// The helper skips a drop-in only where LightDM would, whenever it starts: a file it can parse
// no more than LightDM can, one that is absent, a link loop or not a regular file. A failure
// that may pass (no memory, no descriptor left) or that LightDM, as root, would not meet is
// no reason to skip: what LightDM then does cannot be told, and the helper says so.
// The helper reads no environment, so the XDG directories are their defaults, as they are for a
// display manager that the init system starts.

namespace {

constexpr const char* kDropInDirs[] = {
    "/usr/share/lightdm/lightdm.conf.d",
    "/usr/local/share/lightdm/lightdm.conf.d",
    "/etc/xdg/lightdm/lightdm.conf.d",
    "/etc/lightdm/lightdm.conf.d",
};

constexpr ConfigPaths kLightdmPaths{kDropInDirs, sizeof kDropInDirs / sizeof kDropInDirs[0],
                                    LIGHTDM_CONF_PATH, SYSCONFIG_DISPLAYMANAGER_PATH};

// One directory's names at a time; too large for a caller's stack.
DropInNames g_names;

/// Owns an open directory.
class Dir {
 public:
  explicit Dir(DIR* dir) : dir_(dir) {}
  Dir(const Dir&) = delete;
  Dir& operator=(const Dir&) = delete;
  ~Dir() {
    if (dir_ != nullptr) closedir(dir_);
  }
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

/// Opens the directory at |path|, following links as LightDM does. Returns it, or null with
/// errno set.
DIR* open_dir(const char* path) {
  for (int tries = 0;; ++tries) {
    DIR* dir = opendir(path);
    if (dir != nullptr || errno != EINTR || tries == INTERRUPTED_TRIES) return dir;
  }
}

/// Returns true when a drop-in that failed to open with |error| is one LightDM also goes
/// without, whenever it starts: it is absent (a dangling link), a link loop, or not a regular
/// file (a socket, or a device without a driver). Anything else (no memory, no descriptor
/// left, an interrupted call, no permission) may pass or may not hit LightDM at all, so the
/// file's reading cannot be told.
bool lightdm_skips_too(int error, const char* path) {
  if (error == ENOENT || error == ELOOP) return true;
  if (error != ENXIO && error != ENODEV) return false;
  struct stat st {};
  return stat(path, &st) == 0 && !S_ISREG(st.st_mode);
}

/// A path as messages show it: no byte of a file name can forge a line.
struct ShownPath {
  explicit ShownPath(const char* path) { quote_name(path, text, sizeof text); }
  char text[quoted_size(SOURCE_PATH_MAX)];
};

/// Says, after |prefix|, that what LightDM makes of the file |scan| read cannot be told.
void report_unsure(const SourceScan& scan, const char* prefix) {
  say("source-reading-unsure", prefix, ShownPath(scan.path).text, scan.problem_line, _(scan.problem));
}

/// Says, after |prefix|, that |path| could not be read, and why.
int report_unreadable(const char* path, int error, const char* prefix) {
  say("source-unreadable", prefix, ShownPath(path).text, std::strerror(error));
  return 1;
}

/// Reads the drop-in at |path| into |model|. Returns
/// 0, or 1 after saying why it cannot be judged.
int read_drop_in(const char* path, SeatModel* model, char* buf, std::size_t cap,
                 const char* prefix) {
  UniqueFd fd(open_to_read(path));
  if (fd.get() < 0) {
    const int error = errno;
    if (lightdm_skips_too(error, path)) return 0;
    return report_unreadable(path, error, prefix);
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) return report_unreadable(path, errno, prefix);
  if (S_ISFIFO(st.st_mode)) {
    say("source-is-fifo", prefix, ShownPath(path).text);
    return 1;
  }
  if (!S_ISREG(st.st_mode)) return 0;  // GLib: "Not a regular file"
  std::size_t len = 0;
  if (read_whole(fd.get(), buf, cap, &len) != 0) {
    if (errno != EFBIG) return report_unreadable(path, errno, prefix);
    say("source-too-large", prefix, ShownPath(path).text, cap - 1);
    return 1;
  }
  SourceScan scan;
  scan_begin(&scan, path, model->seats);
  scan_text(&scan, buf, len);
  // An unsure line followed by one GLib refuses outright: the file is skipped either way.
  if (scan.outcome == SourceOutcome::kUnsure && scan.refused_later) return 0;
  if (scan_merge(&scan, model) == SourceOutcome::kUnsure) {
    report_unsure(scan, prefix);
    return 1;
  }
  return 0;  // loaded, or rejected and skipped as LightDM skips it
}

/// Reads the drop-ins of the directory at |dir_path| in LightDM's order into |model|. Returns
/// 0, or 1 after saying why what LightDM makes of them cannot be told.
int read_drop_in_dir(const char* dir_path, SeatModel* model, char* buf, std::size_t cap,
                     const char* prefix) {
  Dir dir(open_dir(dir_path));
  if (dir.get() == nullptr) {
    // A directory that is absent, not one, or a link loop is one LightDM goes without too.
    if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return 0;
    return report_unreadable(dir_path, errno, prefix);
  }
  switch (list_drop_in_names(dir.get(), &g_names)) {
    case ListOutcome::kListed:
      break;
    case ListOutcome::kFailed:
      return report_unreadable(dir_path, errno, prefix);
    case ListOutcome::kTooMany:
      say("too-many-drop-ins", prefix, ShownPath(dir_path).text, DROP_IN_NAMES_MAX);
      return 1;
  }
  // The directory stays open while its files are read, as LightDM's listing does.
  for (std::size_t i = 0; i < g_names.count; ++i) {
    const char* name = drop_in_name(g_names, i);
    char path[SOURCE_PATH_MAX + 1];
    int n = std::snprintf(path, sizeof path, "%s/%s", dir_path, name);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof path) {
      say("drop-in-name-too-long", prefix, ShownPath(name).text);
      return 1;
    }
    if (read_drop_in(path, model, buf, cap, prefix) != 0) return 1;
  }
  return 0;
}

}  // namespace

const ConfigPaths& lightdm_config_paths() { return kLightdmPaths; }

int read_drop_ins(const ConfigPaths& paths, SeatModel* model, char* buf, std::size_t cap,
                  const char* prefix) {
  for (std::size_t d = 0; d < paths.drop_in_dir_count; ++d) {
    if (read_drop_in_dir(paths.drop_in_dirs[d], model, buf, cap, prefix) != 0) return 1;
  }
  return 0;
}

int check_main_source(const SourceScan& scan, const char* prefix) {
  switch (scan.outcome) {
    case SourceOutcome::kLoaded:
      return 0;
    case SourceOutcome::kRejected:
      say("conf-not-loadable", prefix, scan.path, scan.problem_line, _(scan.problem));
      return 1;
    case SourceOutcome::kUnsure:
      report_unsure(scan, prefix);
      return 1;
  }
  return 1;
}
