#include "cli/audit_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "common/constants.h"

// Automatic login is a desktop without a password, so who switched it is worth a line in the
// authentication log, as passwd, usermod and sudo leave one. glibc's syslog() is not used: its
// send blocks while the daemon's socket is full, and a stuck daemon would hold the helper, its
// run lock and everyone behind it. One datagram is sent instead, without waiting, in the form
// of RFC 3164 that every Linux log daemon reads; a failure to send is not the caller's concern.

namespace {

constexpr char kLogSocket[] = "/dev/log";
/// authpriv (10) * 8 + notice (5).
constexpr int kPriority = 85;

/// Returns who asked for the change: pkexec's caller, or whoever ran the helper directly.
uid_t requesting_uid() {
  const char* from_pkexec = std::getenv("PKEXEC_UID");
  uid_t uid = 0;
  if (from_pkexec != nullptr && parse_uid(from_pkexec, &uid)) return uid;
  return getuid();
}

/// Fills |local| with the local time. Returns false when it cannot be had.
bool local_time(tm* local) {
  // The system's zone, not one the caller chose: TZ may name any file to read.
  unsetenv("TZ");
  timespec now{};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
  return localtime_r(&now.tv_sec, local) != nullptr;
}

}  // namespace

bool parse_uid(const char* text, uid_t* uid) {
  if (text[0] == '\0') return false;
  unsigned long long value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + static_cast<unsigned long long>(*p - '0');
    if (value >= static_cast<uid_t>(-1)) return false;  // past uid_t, or its "no uid"
  }
  *uid = static_cast<uid_t>(value);
  return true;
}

void audit_autologin_change(const char* user) {
  // RFC 3164's timestamp, "Mmm dd hh:mm:ss" with the day padded by a space, in English
  // whatever the locale.
  static constexpr char kMonths[][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  tm t{};
  // Without a clock the line still goes, stamped with the first of January.
  if (!local_time(&t) || t.tm_mon < 0 || t.tm_mon > 11) {
    t = tm{};
    t.tm_mday = 1;
  }
  // A user name is as long as the account database allows; it is never cut.
  static char line[20480];
  const unsigned long uid = requesting_uid();
  const int pid = static_cast<int>(getpid());
  int n = std::snprintf(line, sizeof line,
                        "<%d>%s %2d %02d:%02d:%02d %s[%d]: automatic login %s%s by uid %lu",
                        kPriority, kMonths[t.tm_mon], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                        PROGRAM_NAME, pid, user != nullptr ? "enabled for " : "disabled",
                        user != nullptr ? user : "", uid);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof line) return;
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  sockaddr_un to{};
  to.sun_family = AF_UNIX;
  std::memcpy(to.sun_path, kLogSocket, sizeof kLogSocket);
  sendto(fd, line, static_cast<std::size_t>(n), MSG_DONTWAIT | MSG_NOSIGNAL,
         reinterpret_cast<const sockaddr*>(&to), sizeof to);
  close(fd);
}
