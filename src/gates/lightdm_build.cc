#include "gates/lightdm_build.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "common/read_whole.h"
#include "common/unique_fd.h"

// The helper never runs LightDM to ask it (`lightdm --version` would be a root process of a
// program the helper does not need). It reads the program's bytes instead, looking for strings
// that belong to one rule each. A string is matched with the NUL bytes around it, as the
// compiler lays out a literal of its own, so that a longer string that ends the same way is no
// match. A marker that goes missing counts as the older rule: the Wayland rule then judges
// a session as an X session, which checks more, never less.

namespace {

struct Marker {
  const char* text;  // with the NUL bytes around it where a longer string could end the same
  std::size_t len;
  bool LightdmBuild::*flag;
};

constexpr char kWaylandSuffix[] = "\0/wayland-sessions";
constexpr char kSysconfig[] = "/etc/sysconfig/displaymanager";
constexpr char kUnity[] = "\0unity";  // and the NUL after it

const Marker kMarkers[] = {
    {kWaylandSuffix, sizeof kWaylandSuffix, &LightdmBuild::wayland_sessions_dir_rule},
    {kSysconfig, sizeof kSysconfig - 1, &LightdmBuild::reads_sysconfig},
    {kUnity, sizeof kUnity, &LightdmBuild::knows_unity_seat},
};

/// The longest marker: a block keeps this much of the one before, so that no marker is missed
/// where two reads meet.
constexpr std::size_t kOverlap = 64;
constexpr std::size_t kBlock = 65536;
char g_block[kOverlap + kBlock];

bool contains(const char* text, std::size_t len, const Marker& marker) {
  return len >= marker.len && memmem(text, len, marker.text, marker.len) != nullptr;
}

}  // namespace

int read_lightdm_build(const char* path, LightdmBuild* build) {
  *build = LightdmBuild{false, false, false};
  UniqueFd fd(open_to_read(path));
  if (fd.get() < 0) return errno == ENOENT || errno == ENOTDIR ? 0 : 1;
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) return 1;
  if (!S_ISREG(st.st_mode)) return 0;
  std::size_t kept = 0;
  for (;;) {
    ssize_t n = read(fd.get(), g_block + kept, kBlock);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 1;
    if (n == 0) return 0;
    const std::size_t len = kept + static_cast<std::size_t>(n);
    for (const Marker& marker : kMarkers) {
      if (contains(g_block, len, marker)) build->*marker.flag = true;
    }
    kept = len < kOverlap ? len : kOverlap;
    std::memmove(g_block, g_block + len - kept, kept);
  }
}

const LightdmBuild& installed_lightdm_build() {
  static LightdmBuild build;
  static bool read_once = false;
  if (!read_once) {
    if (read_lightdm_build(LIGHTDM_PROGRAM, &build) != 0) build = LightdmBuild{false, false, false};
    read_once = true;
  }
  return build;
}

const ConfigPaths& installed_config_paths() {
  static ConfigPaths paths;
  paths = lightdm_config_paths();
  // Where there is no sysconfig file, no build reads one: the program's bytes (some hundred
  // kilobytes) are looked through only where the answer can matter.
  struct stat st {};
  if (paths.sysconfig != nullptr && lstat(paths.sysconfig, &st) != 0 &&
      (errno == ENOENT || errno == ENOTDIR)) {
    paths.sysconfig = nullptr;
  }
  if (paths.sysconfig != nullptr && !installed_lightdm_build().reads_sysconfig) {
    paths.sysconfig = nullptr;
  }
  return paths;
}
