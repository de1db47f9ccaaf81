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

/// Writes the local time in the C locale's "Mmm dd hh:mm:ss" into |buf|. Returns false when
/// the time cannot be had.
bool format_timestamp(char* buf, std::size_t size) {
  // The system's zone, not one the caller chose: TZ may name any file to read.
  unsetenv("TZ");
  const time_t now = time(nullptr);
  tm local{};
  if (localtime_r(&now, &local) == nullptr) return false;
  return std::strftime(buf, size, "%b %e %H:%M:%S", &local) != 0;
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
  char stamp[32];
  if (!format_timestamp(stamp, sizeof stamp)) stamp[0] = '\0';
  // A user name is as long as the account database allows; it is never cut.
  static char line[20480];
  const unsigned long uid = requesting_uid();
  const int pid = static_cast<int>(getpid());
  int n = user != nullptr
              ? std::snprintf(line, sizeof line,
                              "<%d>%s %s[%d]: automatic login enabled for %s by uid %lu",
                              kPriority, stamp, PROGRAM_NAME, pid, user, uid)
              : std::snprintf(line, sizeof line,
                              "<%d>%s %s[%d]: automatic login disabled by uid %lu", kPriority,
                              stamp, PROGRAM_NAME, pid, uid);
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
