#include "lightdm/sysconfig_override.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "common/i18n.h"
#include "common/message_queue.h"
#include "common/quote.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"
#include "common/words.h"
#include "lightdm/line_cursor.h"
#include "lightdm/seat_autologin.h"

// openSUSE's LightDM applies DISPLAYMANAGER_AUTOLOGIN from /etc/sysconfig/displaymanager after
// every configuration file: a value that names someone makes LightDM log them in at once. The
// file is shell text. Only what reads the same in any shell is judged:
//  1. "NAME=word", "NAME=\"text\"" or "NAME='text'", after blanks, then blanks and perhaps a
//     comment; the last such line wins.
//  2. A value the shell would expand or join ($, `, \, a quote inside a bare word), and any
//     other line that names the variable ("export NAME=...", "NAME+=..."), cannot be judged.

namespace {

constexpr char kVariable[] = "DISPLAYMANAGER_AUTOLOGIN";
constexpr std::size_t kVariableLen = sizeof kVariable - 1;
/// Far more than any sysconfig file holds.
constexpr std::size_t kSysconfigMax = 65536;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool is_bare_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == '@' || c == '+' || c == ':' || c == ',' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool names_variable(Span line) {
  for (std::size_t i = 0; i + kVariableLen <= line.len; ++i) {
    if (std::memcmp(line.data + i, kVariable, kVariableLen) == 0) return true;
  }
  return false;
}

/// Reads the value after "NAME=" in |s|. Returns null and sets |*value|, or the problem.
const char* read_value(Span s, Span* value) {
  std::size_t i = 0;
  std::size_t end = 0;
  if (s.len > 0 && (s.data[0] == '"' || s.data[0] == '\'')) {
    const char quote = s.data[0];
    for (i = 1; i < s.len && s.data[i] != quote; ++i) {
      if (quote == '"' && (s.data[i] == '$' || s.data[i] == '`' || s.data[i] == '\\')) {
        return N_("a value the shell would expand");
      }
      // The shell keeps it, but whoever hands the value on to LightDM may not.
      if (s.data[i] == '\\') return N_("a backslash, which not every reader keeps");
    }
    if (i == s.len) return N_("a quote that is not closed");
    *value = Span{s.data + 1, i - 1};
    end = i + 1;
  } else {
    while (i < s.len && is_bare_byte(s.data[i])) ++i;
    *value = Span{s.data, i};
    end = i;
  }
  while (end < s.len && is_blank(s.data[end])) ++end;
  if (end < s.len && (s.data[end] != '#' || (end > 0 && !is_blank(s.data[end - 1])))) {
    return N_("a value the shell would read otherwise");
  }
  return nullptr;
}

/// Sets |setting| to |value| from line |line| of the sysconfig file at |path|.
void set_from_sysconfig(SeatSetting* setting, const char* path, Span value, unsigned line) {
  setting->set = true;
  decode_keyfile_string(value, &setting->value);
  std::snprintf(setting->path, sizeof setting->path, "%s", path);
  std::snprintf(setting->section, sizeof setting->section, "%s", kVariable);
  setting->line = line;
  setting->from_sysconfig = true;
}

}  // namespace

SysconfigAutologin parse_sysconfig_autologin(Span text) {
  SysconfigAutologin result{SysconfigAutologin::kUnset, Span{nullptr, 0}, 0, nullptr};
  LineCursor cursor(text.data, text.len);
  TextLine line{};
  while (cursor.next(&line, LineSkip::kNone)) {
    Span s = line.content;
    std::size_t i = 0;
    while (i < s.len && is_blank(s.data[i])) ++i;
    s = Span{s.data + i, s.len - i};
    if (s.len == 0 || s.data[0] == '#' || !names_variable(s)) continue;
    const char* problem = N_("a line the shell would read otherwise");
    Span value{nullptr, 0};
    if (s.len > kVariableLen && std::memcmp(s.data, kVariable, kVariableLen) == 0 &&
        s.data[kVariableLen] == '=') {
      problem = read_value(Span{s.data + kVariableLen + 1, s.len - kVariableLen - 1}, &value);
    }
    if (problem != nullptr) {
      return SysconfigAutologin{SysconfigAutologin::kUnsure, Span{nullptr, 0}, line.number,
                                problem};
    }
    result = SysconfigAutologin{SysconfigAutologin::kSet, value, line.number, nullptr};
  }
  return result;
}

int apply_sysconfig_override(const char* path, SeatModel* model, const char* prefix) {
  if (path == nullptr) return 0;
  static char buf[kSysconfigMax];
  char shown[quoted_size(SOURCE_PATH_MAX)];
  quote_name(path, shown, sizeof shown);
  UniqueFd fd(open_to_read(path));
  if (fd.get() < 0) {
    if (errno == ENOENT) return 0;
    say("sysconfig-unreadable", prefix, shown, std::strerror(errno));
    return 1;
  }
  struct stat st {};
  std::size_t len = 0;
  const char* why = nullptr;
  if (fstat(fd.get(), &st) != 0) {
    why = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    why = _("not a regular file");
  } else if (read_whole(fd.get(), buf, sizeof buf, &len) != 0) {
    why = errno == EFBIG ? _("the file is too large") : std::strerror(errno);
  }
  if (why != nullptr) {
    say("sysconfig-unreadable", prefix, shown, why);
    return 1;
  }
  SysconfigAutologin found = parse_sysconfig_autologin(Span{buf, len});
  if (found.state == SysconfigAutologin::kUnsure) {
    say("sysconfig-line-unsure", prefix, shown, found.line, _(found.problem));
    return 1;
  }
  if (found.state == SysconfigAutologin::kUnset || found.value.len == 0) return 0;
  set_from_sysconfig(&model->sysconfig_autologin, path, found.value, found.line);
  SeatGroup& base = model->groups[0];
  set_from_sysconfig(&base.settings[SEAT_KEY_USER], path, found.value, found.line);
  set_from_sysconfig(&base.settings[SEAT_KEY_TIMEOUT], path, Span{"0", 1}, found.line);
  return 0;
}
