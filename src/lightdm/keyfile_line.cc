#include "lightdm/keyfile_line.h"

#include <cstring>

#include "common/i18n.h"

// The rules of GLib 2.74's key-file parser (gkeyfile.c), which LightDM 1.26 loads every
// configuration file with. Each branch names the GLib function whose rule it stands for. Byte
// for byte, not character for character: GLib steps over UTF-8 continuation bytes in a few
// places, and where that matters it is said.

namespace {

bool is_control(unsigned char c) { return c < 0x20 || c == 0x7f; }

bool is_continuation(unsigned char c) { return (c & 0xc0) == 0x80; }

bool is_ascii_alnum(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

KeyFileLine line_of(KeyFileLineKind kind, const char* problem) {
  return KeyFileLine{kind, Span{nullptr, 0}, Span{nullptr, 0}, problem};
}

/// g_key_file_line_is_group: "[", a name up to the first "]", then only spaces and tabs. GLib
/// steps over UTF-8 continuation bytes after the "]" and after each blank, so those pass too.
bool is_group_line(Span s, const char** close) {
  const void* found = std::memchr(s.data, ']', s.len);
  if (found == nullptr) return false;
  *close = static_cast<const char*>(found);
  for (const char* p = *close + 1; p < s.data + s.len; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (c != ' ' && c != '\t' && !is_continuation(c)) return false;
  }
  return true;
}

/// g_key_file_is_group_name: not empty, and no "[", "]" or control character.
bool is_group_name(Span name) {
  if (name.len == 0) return false;
  for (std::size_t i = 0; i < name.len; ++i) {
    auto c = static_cast<unsigned char>(name.data[i]);
    if (c == '[' || c == ']' || is_control(c)) return false;
  }
  return true;
}

/// g_key_file_is_key_name: a name up to "=", "[" or "]", not empty and without a space at
/// either end, then at most one locale suffix "[ll_CC.enc@mod]" that ends the key.
KeyFileLineKind check_key_name(Span key) {
  std::size_t q = 0;
  while (q < key.len && key.data[q] != '=' && key.data[q] != '[' && key.data[q] != ']') ++q;
  if (q == 0 || key.data[0] == ' ' || key.data[q - 1] == ' ') return KeyFileLineKind::kInvalid;
  if (q < key.len && key.data[q] == '[') {
    for (++q; q < key.len; ++q) {
      auto c = static_cast<unsigned char>(key.data[q]);
      // GLib asks Unicode whether a non-ASCII letter is alphanumeric.
      if (c >= 0x80) return KeyFileLineKind::kUnsure;
      if (!is_ascii_alnum(c) && c != '-' && c != '_' && c != '.' && c != '@') break;
    }
    if (q == key.len || key.data[q] != ']') return KeyFileLineKind::kInvalid;
    ++q;
  }
  return q == key.len ? KeyFileLineKind::kKeyValue : KeyFileLineKind::kInvalid;
}

}  // namespace

KeyFileLine classify_keyfile_line(Span line) {
  // g_key_file_parse_line: blanks before anything are skipped.
  std::size_t i = 0;
  while (i < line.len && is_keyfile_space(line.data[i])) ++i;
  Span s{line.data + i, line.len - i};

  // g_key_file_line_is_comment
  if (s.len == 0) return line_of(KeyFileLineKind::kBlank, nullptr);
  if (s.data[0] == '#') return line_of(KeyFileLineKind::kComment, nullptr);

  // GLib reads the rest of a line up to a NUL byte in some places and past it in others; such a
  // line is not judged.
  if (std::memchr(s.data, '\0', s.len) != nullptr) {
    return line_of(KeyFileLineKind::kUnsure, N_("a NUL byte"));
  }

  // g_key_file_line_is_group, g_key_file_parse_group
  const char* close = nullptr;
  if (s.data[0] == '[' && is_group_line(s, &close)) {
    Span name{s.data + 1, static_cast<std::size_t>(close - s.data - 1)};
    if (!is_group_name(name)) return line_of(KeyFileLineKind::kInvalid, N_("invalid group name"));
    return KeyFileLine{KeyFileLineKind::kGroup, name, Span{nullptr, 0}, nullptr};
  }

  // g_key_file_line_is_key_value_pair: an "=" that does not start the line.
  const auto* eq = static_cast<const char*>(std::memchr(s.data, '=', s.len));
  if (eq == nullptr || eq == s.data) {
    return line_of(KeyFileLineKind::kInvalid, N_("not a key-value pair, group or comment"));
  }

  // g_key_file_parse_key_value_pair: the key ends before blanks and "=", the value starts
  // after them.
  const char* key_end = eq;
  while (is_keyfile_space(key_end[-1])) --key_end;
  Span key{s.data, static_cast<std::size_t>(key_end - s.data)};
  KeyFileLineKind kind = check_key_name(key);
  if (kind == KeyFileLineKind::kInvalid) return line_of(kind, N_("invalid key name"));
  if (kind == KeyFileLineKind::kUnsure) return line_of(kind, N_("key with a non-ASCII locale"));
  const char* value = eq + 1;
  const char* end = s.data + s.len;
  while (value < end && is_keyfile_space(*value)) ++value;
  return KeyFileLine{KeyFileLineKind::kKeyValue, key,
                     Span{value, static_cast<std::size_t>(end - value)}, nullptr};
}

bool is_utf8_name(Span value) {
  static constexpr char kUtf8[] = "utf-8";
  if (value.len != 5) return false;
  for (std::size_t i = 0; i < 5; ++i) {
    char c = value.data[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kUtf8[i]) return false;
  }
  return true;
}
