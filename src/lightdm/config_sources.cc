#include "lightdm/config_sources.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/constants.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"
#include "lightdm/seat_autologin.h"

// LightDM 1.26 (config_load_from_standard_locations) reads, in this order:
//  1. lightdm.conf.d in each XDG data directory, the last one first: /usr/share, /usr/local/share;
//  2. lightdm.conf.d in the XDG configuration directory /etc/xdg;
//  3. /etc/lightdm/lightdm.conf.d;
//  4. /etc/lightdm/lightdm.conf.
// A drop-in it cannot open or parse is skipped whole; a lightdm.conf it cannot parse stops it.
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

bool has_conf_suffix(const char* name) {
  std::size_t len = std::strlen(name);
  return len >= 5 && std::memcmp(name + len - 5, ".conf", 5) == 0;
}

/// Owns an open directory.
class Dir {
 public:
  explicit Dir(const char* path) : dir_(opendir(path)) {}
  Dir(const Dir&) = delete;
  Dir& operator=(const Dir&) = delete;
  ~Dir() {
    if (dir_ != nullptr) closedir(dir_);
  }
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

/// Finds in |dir| the name ending in ".conf" that comes next after |after| in strcmp order
/// (the first one when |after| is empty), as LightDM sorts them. Returns false when none is
/// left. One pass over the directory a drop-in: there are few, and nothing is allocated.
bool next_conf_name(DIR* dir, const char* after, char (&name)[NAME_MAX + 1]) {
  rewinddir(dir);
  bool found = false;
  while (const dirent* entry = readdir(dir)) {
    if (!has_conf_suffix(entry->d_name)) continue;
    if (after[0] != '\0' && std::strcmp(entry->d_name, after) <= 0) continue;
    if (found && std::strcmp(entry->d_name, name) >= 0) continue;
    std::size_t i = 0;
    for (; i < NAME_MAX && entry->d_name[i] != '\0'; ++i) name[i] = entry->d_name[i];
    name[i] = '\0';
    found = true;
  }
  return found;
}

/// A path as messages show it: no byte of a file name can forge a line.
struct ShownPath {
  explicit ShownPath(const char* path) { quote_name(path, text, sizeof text); }
  char text[SOURCE_PATH_MAX * 4 + 8];
};

/// Says, after |prefix|, that what LightDM makes of the file |scan| read cannot be told.
void report_unsure(const SourceScan& scan, const char* prefix) {
  std::fprintf(stderr, "%scannot tell how LightDM reads %s: line %u: %s\n", prefix,
               ShownPath(scan.path).text, scan.problem_line, scan.problem);
}

/// Reads one drop-in into |model|. Returns 0, or 1 after saying why it cannot be judged.
int read_drop_in(const char* path, SeatModel* model, char* buf, std::size_t cap,
                 const char* prefix) {
  // Opened as LightDM opens it, following links; O_NONBLOCK only so that a FIFO cannot hold the
  // helper up.
  UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) {
    // LightDM runs as root: what root may read and this caller may not, LightDM reads.
    if (errno == EACCES || errno == EPERM) {
      std::fprintf(stderr, "%scannot read %s: %s\n", prefix, ShownPath(path).text,
                   std::strerror(errno));
      return 1;
    }
    return 0;  // LightDM cannot open it either, and goes on without it
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) return 0;
  if (S_ISFIFO(st.st_mode)) {
    std::fprintf(stderr, "%sLightDM would wait forever reading %s, a FIFO\n", prefix,
                 ShownPath(path).text);
    return 1;
  }
  if (!S_ISREG(st.st_mode)) return 0;  // GLib: "Not a regular file"
  std::size_t len = 0;
  if (read_whole(fd.get(), buf, cap, &len) != 0) {
    if (errno == EFBIG) {
      std::fprintf(stderr, "%scannot read %s: file is larger than %zu bytes\n", prefix,
                   ShownPath(path).text, cap - 1);
    } else {
      std::fprintf(stderr, "%scannot read %s: %s\n", prefix, ShownPath(path).text,
                   std::strerror(errno));
    }
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

}  // namespace

const ConfigPaths& lightdm_config_paths() { return kLightdmPaths; }

int read_drop_ins(const ConfigPaths& paths, SeatModel* model, char* buf, std::size_t cap,
                  const char* prefix) {
  for (std::size_t d = 0; d < paths.drop_in_dir_count; ++d) {
    const char* dir_path = paths.drop_in_dirs[d];
    Dir dir(dir_path);
    if (dir.get() == nullptr) {
      // A directory LightDM cannot open either is one it goes on without.
      if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) continue;
      std::fprintf(stderr, "%scannot read %s: %s\n", prefix, dir_path, std::strerror(errno));
      return 1;
    }
    char done[NAME_MAX + 1] = "";  // the last name read
    char name[NAME_MAX + 1];
    for (; next_conf_name(dir.get(), done, name); std::memcpy(done, name, sizeof name)) {
      char path[SOURCE_PATH_MAX + 1];
      int n = std::snprintf(path, sizeof path, "%s/%s", dir_path, name);
      if (n < 0 || static_cast<std::size_t>(n) >= sizeof path) {
        std::fprintf(stderr, "%scannot read %s: name too long\n", prefix, ShownPath(name).text);
        return 1;
      }
      if (read_drop_in(path, model, buf, cap, prefix) != 0) return 1;
    }
  }
  return 0;
}

int check_main_source(const SourceScan& scan, const char* prefix) {
  switch (scan.outcome) {
    case SourceOutcome::kLoaded:
      return 0;
    case SourceOutcome::kRejected:
      std::fprintf(stderr, "%sLightDM cannot load %s (line %u: %s) and would not start\n",
                   prefix, scan.path, scan.problem_line, scan.problem);
      return 1;
    case SourceOutcome::kUnsure:
      report_unsure(scan, prefix);
      return 1;
  }
  return 1;
}
