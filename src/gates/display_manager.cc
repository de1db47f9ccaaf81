#include "gates/display_manager.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/unique_fd.h"
#include "lightdm/seat_autologin.h"

// LightDM's settings only matter when LightDM is what starts at boot. systemd starts whatever
// display-manager.service links to; without that alias, Debian's init scripts and packages go
// by /etc/X11/default-display-manager. Only a clear answer is reported: a link chain that
// reaches lightdm.service, or a default file that names lightdm, means LightDM; a chain or file
// that names something else means that other manager; anything else says nothing.

namespace {

constexpr DisplayManagerPaths kSystemPaths{"/etc/systemd/system/display-manager.service",
                                           "/etc/X11/default-display-manager",
                                           "/usr/sbin/lightdm"};

/// The most links followed from the alias.
constexpr int kMaxHops = 16;

enum class Starts { kUnknown, kAbsent, kLightdm, kOther };

const char* base_name(const char* path) {
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/') base = p + 1;
  }
  return base;
}

/// Cuts |suffix| off the end of |text| when it ends so.
void drop_suffix(char* text, const char* suffix) {
  const std::size_t len = std::strlen(text);
  const std::size_t cut = std::strlen(suffix);
  if (len > cut && std::memcmp(text + len - cut, suffix, cut) == 0) text[len - cut] = '\0';
}

/// Follows the links from |alias|. Returns what they lead to, with the unit the alias names
/// (without ".service") in |name| for kOther.
Starts follow_alias(const char* alias, char* name, std::size_t size) {
  char path[PATH_MAX];
  std::snprintf(path, sizeof path, "%s", alias);
  for (int hop = 0; hop < kMaxHops; ++hop) {
    char target[PATH_MAX];
    const ssize_t n = readlink(path, target, sizeof target - 1);
    if (n < 0 && hop == 0) return errno == ENOENT ? Starts::kAbsent : Starts::kUnknown;
    if (n < 0) break;  // the chain ends at the unit file, or at nothing
    target[n] = '\0';
    if (std::strcmp(base_name(target), "lightdm.service") == 0) return Starts::kLightdm;
    if (hop == 0) {
      // A name too long for |name| is cut: it is only shown.
      const char* unit = std::strcmp(target, "/dev/null") == 0 ? "" : base_name(target);
      if (std::snprintf(name, size, "%s", unit) >= 0) drop_suffix(name, ".service");
    }
    char next[PATH_MAX];
    int len = target[0] == '/'
                  ? std::snprintf(next, sizeof next, "%s", target)
                  : std::snprintf(next, sizeof next, "%.*s/%s",
                                  static_cast<int>(base_name(path) - path - 1), path, target);
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof next) break;
    std::memcpy(path, next, static_cast<std::size_t>(len) + 1);
  }
  return Starts::kOther;
}

/// Reads the program that |file| names. Returns what it is, with its name in |name| for kOther.
Starts read_default_file(const char* file, char* name, std::size_t size) {
  UniqueFd fd(open(file, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) return errno == ENOENT ? Starts::kAbsent : Starts::kUnknown;
  char text[PATH_MAX];
  ssize_t n = 0;
  do {
    n = read(fd.get(), text, sizeof text - 1);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return Starts::kUnknown;
  text[n] = '\0';
  const void* newline = std::memchr(text, '\n', static_cast<std::size_t>(n));
  if (newline != nullptr) *static_cast<char*>(const_cast<void*>(newline)) = '\0';
  std::size_t len = std::strlen(text);
  while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\t' || text[len - 1] == '\r')) {
    text[--len] = '\0';
  }
  const char* program = base_name(text);
  if (*program == '\0') return Starts::kUnknown;
  if (std::strcmp(program, "lightdm") == 0) return Starts::kLightdm;
  std::snprintf(name, size, "%s", program);
  return Starts::kOther;
}

}  // namespace

const DisplayManagerPaths& system_display_manager_paths() { return kSystemPaths; }

bool other_display_manager(const DisplayManagerPaths& paths, char* buf, std::size_t size) {
  char name[NAME_MAX + 1] = "";
  Starts starts = follow_alias(paths.unit_alias, name, sizeof name);
  if (starts == Starts::kAbsent) starts = read_default_file(paths.default_file, name, sizeof name);
  if (size > 0) buf[0] = '\0';
  if (starts == Starts::kOther) {
    char shown[NAME_MAX * 4 + 8];
    quote_name(name, shown, sizeof shown);
    if (shown[0] == '\0') {
      std::snprintf(buf, size,
                    "Warning: display-manager.service is masked, so no display manager starts "
                    "at boot and automatic login will not happen");
    } else {
      std::snprintf(buf, size,
                    "Warning: this system starts %s at boot, not LightDM, so automatic login "
                    "will not happen",
                    shown);
    }
    return true;
  }
  struct stat program {};
  if (stat(paths.lightdm, &program) != 0 || !S_ISREG(program.st_mode)) {
    std::snprintf(buf, size, "Warning: LightDM is not installed, so automatic login will not happen");
    return true;
  }
  return false;
}
