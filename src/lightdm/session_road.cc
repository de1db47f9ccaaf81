#include "lightdm/session_road.h"

#include <cstring>

// GLib's shell quoting (gshell.c, tokenize_command_line and g_shell_unquote) as LightDM meets
// it in a setup script or a session's Exec, and LightDM's own rules for the session's kind and
// the seat's type. Pure functions of the text: the gate looks the programs up.

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

/// Appends |c| to the word being built. Returns false when it does not fit.
bool put(char* word, std::size_t size, std::size_t* len, char c) {
  if (*len + 1 >= size) return false;
  word[(*len)++] = c;
  word[*len] = '\0';
  return true;
}

}  // namespace

ShellWords shell_first_word(const char* text, char* word, std::size_t size) {
  if (size == 0) return ShellWords::kInvalid;
  word[0] = '\0';
  std::size_t len = 0;
  bool in_word = false;  // a word has begun, even an empty one such as ''
  bool first_done = false;
  bool fits = true;
  const char* p = text;
  while (*p != '\0') {
    const char c = *p;
    if (!in_word && is_blank(c)) {
      ++p;
      continue;
    }
    if (!in_word && c == '#') {  // a comment runs to the end of the line
      while (*p != '\0' && *p != '\n') ++p;
      continue;
    }
    if (in_word && is_blank(c)) {
      in_word = false;
      first_done = true;
      ++p;
      continue;
    }
    in_word = true;
    const bool keep = !first_done;
    if (c == '\\') {
      if (p[1] == '\0') return ShellWords::kInvalid;
      if (p[1] != '\n' && keep) fits = fits && put(word, size, &len, p[1]);
      p += 2;
    } else if (c == '\'') {
      const char* end = std::strchr(p + 1, '\'');
      if (end == nullptr) return ShellWords::kInvalid;
      for (const char* q = p + 1; q < end && keep; ++q) fits = fits && put(word, size, &len, *q);
      p = end + 1;
    } else if (c == '"') {
      ++p;
      for (;;) {
        if (*p == '\0') return ShellWords::kInvalid;
        if (*p == '"') break;
        if (*p == '\\' && (p[1] == '"' || p[1] == '\\' || p[1] == '$' || p[1] == '`' ||
                           p[1] == '\n')) {
          if (p[1] != '\n' && keep) fits = fits && put(word, size, &len, p[1]);
          p += 2;
          continue;
        }
        if (keep) fits = fits && put(word, size, &len, *p);
        ++p;
      }
      ++p;
    } else {
      if (keep) fits = fits && put(word, size, &len, c);
      ++p;
    }
  }
  if (!in_word && !first_done) return ShellWords::kEmpty;
  return fits ? ShellWords::kWords : ShellWords::kInvalid;
}

SessionKind session_kind(const char* dir, const KeyFileString* type, bool wayland_dir_rule) {
  if (type != nullptr) {
    if (keyfile_string_equals(*type, "x")) return SessionKind::kX;
    if (keyfile_string_equals(*type, "wayland")) return SessionKind::kWayland;
    return SessionKind::kOther;
  }
  constexpr char kSuffix[] = "/wayland-sessions";
  const std::size_t len = std::strlen(dir);
  const std::size_t suffix = sizeof kSuffix - 1;
  if (wayland_dir_rule && len >= suffix && std::strcmp(dir + len - suffix, kSuffix) == 0) {
    return SessionKind::kWayland;
  }
  return SessionKind::kX;
}

SeatTypeVerdict seat_type_verdict(const char* types, bool knows_unity, char* entry,
                                  std::size_t size) {
  const char* start = types;
  while (*start != '\0') {
    const char* end = std::strchr(start, ';');
    const std::size_t len = end != nullptr ? static_cast<std::size_t>(end - start)
                                           : std::strlen(start);
    const auto is = [&](const char* name) {
      return len == std::strlen(name) && std::memcmp(start, name, len) == 0;
    };
    const bool local = is("local") || is("xlocal");
    if (local || is("xremote")) {
      if (len < size) {
        std::memcpy(entry, start, len);
        entry[len] = '\0';
      }
      return local ? SeatTypeVerdict::kLocal : SeatTypeVerdict::kRemote;
    }
    if (knows_unity && is("unity")) return SeatTypeVerdict::kNone;
    if (end == nullptr) break;
    start = end + 1;
  }
  return SeatTypeVerdict::kNone;
}
