#include "group/group_command.h"

#include <cstdio>

#include "common/constants.h"

// User names reach these command lines unquoted: they have passed is_valid_username, so they
// hold no byte the shell treats specially. Two more rules keep a command from doing something
// else than it says:
//  1. A command that does not fit its buffer is never produced, so never run cut short.
//  2. A name that begins with '-' is never handed to a tool, which would take it for an option
//     ("-oG", "--help"). The command texts stay as they are, without a "--".

namespace {

bool fits(int n, std::size_t size) { return n >= 0 && static_cast<std::size_t>(n) < size; }

bool reads_as_option(const char* user) { return user[0] == '-'; }

}  // namespace

int format_create_command(char* buf, std::size_t size) {
  return fits(std::snprintf(buf, size, "groupadd -r %s 2>/dev/null", AUTOLOGIN_GROUP), size) ? 0
                                                                                             : 1;
}

int format_add_command(const char* user, char* buf, std::size_t size) {
  if (reads_as_option(user)) return 1;
  int n = std::snprintf(buf, size, "usermod -aG %s %s 2>/dev/null", AUTOLOGIN_GROUP, user);
  return fits(n, size) ? 0 : 1;
}

int format_remove_command(const char* user, char* buf, std::size_t size) {
  if (reads_as_option(user)) return 1;
  int n = std::snprintf(buf, size, "gpasswd -d %s %s 2>/dev/null", user, AUTOLOGIN_GROUP);
  return fits(n, size) ? 0 : 1;
}

int format_delete_group_command(char* buf, std::size_t size) {
  return fits(std::snprintf(buf, size, "groupdel %s >/dev/null 2>&1", AUTOLOGIN_GROUP), size) ? 0
                                                                                              : 1;
}

int format_undo_add_command(const char* user, char* buf, std::size_t size) {
  if (reads_as_option(user)) return 1;
  int n = std::snprintf(buf, size, "gpasswd -d %s %s >/dev/null 2>&1", user, AUTOLOGIN_GROUP);
  return fits(n, size) ? 0 : 1;
}
