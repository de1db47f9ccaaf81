#include "gates/display_manager.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "common/quote.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"
#include "common/words.h"

// LightDM's settings only matter when LightDM is what starts at boot. Where systemd is the
// init system (/run/systemd/system exists, sd_booted's test), the display-manager.service
// alias alone decides: the administrator's in /etc/systemd/system, else one a package ships in
// /usr/lib/systemd/system. systemd starts the unit the alias's chain of links ends at, unless
// that unit is masked (a link to /dev/null in /etc/systemd/system). Without either alias,
// nothing starts a display manager at boot: `systemctl disable lightdm` removes the link and
// leaves /etc/X11/default-display-manager as it was. Links in /run are ignored, as they are
// gone at the next boot. Only without systemd do Debian's init scripts go by
// /etc/X11/default-display-manager. Only a clear answer is reported: a chain that ends at
// lightdm.service, or a default file that names lightdm, means LightDM; a missing alias under
// systemd, a masked unit, or a chain or file that names something else, is said; anything
// else says nothing.

namespace {

constexpr DisplayManagerPaths kSystemPaths{"/run/systemd/system",
                                           "/etc/systemd/system/display-manager.service",
                                           "/usr/lib/systemd/system/display-manager.service",
                                           "/etc/X11/default-display-manager",
                                           "/usr/sbin/lightdm"};

/// The most links followed from the alias.
constexpr int kMaxHops = 16;

enum class Starts { kUnknown, kAbsent, kLightdm, kOther, kMasked, kNothing };

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

/// Follows the links from |path| to the end of the chain, writing the last path into |end|.
/// Returns false when |path| itself does not exist (errno set), or is no link.
bool resolve_links(const char* path, char (&end)[PATH_MAX]) {
  std::snprintf(end, sizeof end, "%s", path);
  for (int hop = 0; hop < kMaxHops; ++hop) {
    char target[PATH_MAX];
    const ssize_t n = readlink(end, target, sizeof target - 1);
    if (n < 0) return hop > 0;  // the chain ends at a file, or at nothing
    target[n] = '\0';
    char next[PATH_MAX];
    int len = target[0] == '/'
                  ? std::snprintf(next, sizeof next, "%s", target)
                  : std::snprintf(next, sizeof next, "%.*s/%s",
                                  static_cast<int>(base_name(end) - end - 1), end, target);
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof next) break;
    std::memcpy(end, next, static_cast<std::size_t>(len) + 1);
  }
  return true;
}

/// Returns true if the unit |unit| is masked beside the alias |alias|: a link there to
/// /dev/null.
bool is_masked(const char* alias, const char* unit) {
  char path[PATH_MAX];
  const int len = std::snprintf(path, sizeof path, "%.*s/%s",
                                static_cast<int>(base_name(alias) - alias - 1), alias, unit);
  if (len < 0 || static_cast<std::size_t>(len) >= sizeof path) return false;
  char end[PATH_MAX];
  return resolve_links(path, end) && std::strcmp(end, "/dev/null") == 0;
}

/// Works out from the alias at |alias| which unit systemd starts as the display manager: the
/// unit file the chain of links ends at, as systemd names an alias by its final target; a unit
/// is masked beside |mask_dir_of|. Returns what that is, with the unit's name (without
/// ".service") in |name| for kOther and kMasked.
Starts follow_alias(const char* alias, const char* mask_dir_of, char* name, std::size_t size) {
  struct stat link {};
  if (lstat(alias, &link) != 0) return errno == ENOENT ? Starts::kAbsent : Starts::kUnknown;
  char end[PATH_MAX];
  if (!S_ISLNK(link.st_mode) || !resolve_links(alias, end)) return Starts::kUnknown;
  if (std::strcmp(end, "/dev/null") == 0) {
    std::snprintf(name, size, "display-manager");
    return Starts::kMasked;
  }
  if (std::strcmp(base_name(end), "lightdm.service") != 0) {
    // A name too long for |name| is cut: it is only shown.
    if (std::snprintf(name, size, "%s", base_name(end)) >= 0) drop_suffix(name, ".service");
    return Starts::kOther;
  }
  if (is_masked(mask_dir_of, "lightdm.service")) {
    std::snprintf(name, size, "lightdm");
    return Starts::kMasked;
  }
  return Starts::kLightdm;
}

/// Reads the program that |file| names. Returns what it is, with its name in |name| for kOther.
Starts read_default_file(const char* file, char* name, std::size_t size) {
  UniqueFd fd(open_to_read(file));
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

bool other_display_manager(const DisplayManagerPaths& paths, char* buf, std::size_t size,
                           WordId* reason) {
  char name[NAME_MAX + 1] = "";
  Starts starts = Starts::kAbsent;
  struct stat systemd {};
  if (stat(paths.systemd_running, &systemd) == 0 && S_ISDIR(systemd.st_mode)) {
    starts = follow_alias(paths.unit_alias, paths.unit_alias, name, sizeof name);
    if (starts == Starts::kAbsent) {
      starts = follow_alias(paths.vendor_alias, paths.unit_alias, name, sizeof name);
    }
    if (starts == Starts::kAbsent) starts = Starts::kNothing;
  } else {
    starts = read_default_file(paths.default_file, name, sizeof name);
  }
  if (size > 0) buf[0] = '\0';
  char shown[quoted_size(NAME_MAX)];
  quote_name(name, shown, sizeof shown);
  WordId said = 0;
  if (starts == Starts::kMasked) {
    said = format_reason(buf, size, "display-manager-masked", shown);
  } else if (starts == Starts::kOther) {
    said = format_reason(buf, size, "display-manager-not-lightdm", shown);
  } else if (starts == Starts::kNothing) {
    said = format_reason(buf, size, "display-manager-disabled");
  } else {
    struct stat program {};
    if (stat(paths.lightdm, &program) == 0 && S_ISREG(program.st_mode)) return false;
    said = format_reason(buf, size, "lightdm-not-installed");
  }
  if (reason != nullptr) *reason = said;
  return true;
}
