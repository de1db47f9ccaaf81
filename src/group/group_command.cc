#include "group/group_command.h"

#include <cstdio>

#include "common/constants.h"

// User names reach these command lines unquoted: they have passed is_valid_username, so they
// hold no byte the shell treats specially. A command that does not fit is never run cut short.

namespace {

bool fits(int n, std::size_t size) { return n >= 0 && static_cast<std::size_t>(n) < size; }

}  // namespace

int format_create_command(char* buf, std::size_t size) {
  return fits(std::snprintf(buf, size, "groupadd -r %s 2>/dev/null", AUTOLOGIN_GROUP), size) ? 0
                                                                                             : 1;
}

int format_add_command(const char* user, char* buf, std::size_t size) {
  int n = std::snprintf(buf, size, "usermod -aG %s %s 2>/dev/null", AUTOLOGIN_GROUP, user);
  return fits(n, size) ? 0 : 1;
}

int format_remove_command(const char* user, char* buf, std::size_t size) {
  int n = std::snprintf(buf, size, "gpasswd -d %s %s 2>/dev/null", user, AUTOLOGIN_GROUP);
  return fits(n, size) ? 0 : 1;
}
