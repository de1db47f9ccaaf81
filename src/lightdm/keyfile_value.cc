#include "lightdm/keyfile_value.h"

#include <cstdlib>
#include <cstring>

#include "lightdm/keyfile_line.h"

namespace {

/// g_utf8_validate: well-formed UTF-8 without overlong forms, surrogates or code points past
/// U+10FFFF.
bool is_valid_utf8(Span s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data);
  const unsigned char* end = p + s.len;
  while (p < end) {
    unsigned char c = *p;
    std::size_t n = 0;
    unsigned min = 0;
    unsigned cp = 0;
    if (c < 0x80) {
      ++p;
      continue;
    } else if ((c & 0xe0) == 0xc0) {
      n = 1, min = 0x80, cp = c & 0x1fu;
    } else if ((c & 0xf0) == 0xe0) {
      n = 2, min = 0x800, cp = c & 0x0fu;
    } else if ((c & 0xf8) == 0xf0) {
      n = 3, min = 0x10000, cp = c & 0x07u;
    } else {
      return false;
    }
    if (static_cast<std::size_t>(end - p) <= n) return false;
    for (std::size_t i = 1; i <= n; ++i) {
      if ((p[i] & 0xc0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3fu);
    }
    if (cp < min || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return false;
    p += n + 1;
  }
  return true;
}

void append(KeyFileString* out, char c) {
  if (out->len < KEYFILE_VALUE_MAX) out->text[out->len] = c;
  ++out->len;
}

}  // namespace

void decode_keyfile_string(Span raw, KeyFileString* out) {
  out->len = 0;
  out->text[0] = '\0';
  out->present = is_valid_utf8(raw);
  if (!out->present) return;
  for (std::size_t i = 0; i < raw.len; ++i) {
    char c = raw.data[i];
    if (c != '\\') {
      append(out, c);
      continue;
    }
    if (++i == raw.len) break;  // a lone "\" at the end is dropped
    switch (raw.data[i]) {
      case 's': append(out, ' '); break;
      case 'n': append(out, '\n'); break;
      case 't': append(out, '\t'); break;
      case 'r': append(out, '\r'); break;
      case '\\': append(out, '\\'); break;
      default:
        append(out, '\\');
        append(out, raw.data[i]);
        break;
    }
  }
  out->text[out->len < KEYFILE_VALUE_MAX ? out->len : KEYFILE_VALUE_MAX] = '\0';
}

bool keyfile_string_equals(const KeyFileString& value, const char* text) {
  return value.present && value.len <= KEYFILE_VALUE_MAX && std::strlen(text) == value.len &&
         std::memcmp(value.text, text, value.len) == 0;
}

int seat_integer(const KeyFileString& value) {
  if (!value.present) return 0;
  // LightDM calls atoi(); strtol is what glibc's atoi is, without its undefined overflow.
  return static_cast<int>(std::strtol(value.text, nullptr, 10));
}

bool seat_boolean(const KeyFileString& value) {
  if (!value.present) return false;
  std::size_t len = value.len < KEYFILE_VALUE_MAX ? value.len : KEYFILE_VALUE_MAX;
  while (len > 0 && is_keyfile_space(value.text[len - 1])) --len;
  return len == 4 && std::memcmp(value.text, "true", 4) == 0;
}
