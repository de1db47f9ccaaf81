#include "cli/username.h"

namespace {

// Deliberately not isalnum(): its answer depends on the locale, and every byte of 128 or
// above must be refused whatever the locale says.
bool is_name_byte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_';
}

}  // namespace

bool is_valid_username(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  for (const char* p = name; *p != '\0'; ++p) {
    // SSSD and winbind name domain accounts "user@domain", and LightDM logs them in; a
    // leading '@' names no account.
    if (*p == '@' && p != name) continue;
    if (!is_name_byte(static_cast<unsigned char>(*p))) return false;
  }
  return true;
}
