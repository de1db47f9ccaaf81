#include "common/format_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/i18n.h"

// printf-style, so that the compiler checks every call's arguments against its format.
bool format_text(char* buf, std::size_t size, const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
  va_list args;
  va_start(args, format);
  const bool fitted = format_text_v(buf, size, format, args);
  va_end(args);
  return fitted;
}

bool format_text_v(char* buf, std::size_t size, const char* format, va_list args) {
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): the callers start |args|.
  const int n = std::vsnprintf(buf, size, format, args);
  if (n >= 0 && static_cast<std::size_t>(n) < size) return true;
  if (n < 0) buf[0] = '\0';
  // A translation cut short must still be text: the mark goes after the last whole character.
  if (n >= 0 && size >= 4) {
    buf[size - 4] = '\0';
    cut_at_character(buf, size - 3);
    std::memcpy(buf + std::strlen(buf), "...", 4);
  }
  return false;
}
