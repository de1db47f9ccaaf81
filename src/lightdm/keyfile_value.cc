#include "lightdm/keyfile_value.h"

#include <climits>
#include <cstring>

#include "lightdm/keyfile_line.h"

bool keyfile_utf8_valid(Span s) {
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

namespace {

bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

/// Reads a resolved value byte by byte, as atoi and LightDM's boolean test would read all of
/// it, while only its first KEYFILE_VALUE_MAX bytes are kept.
struct ValueReader {
  KeyFileString* out;
  enum { kBlanks, kSign, kDigits, kDone } number_phase = kBlanks;
  bool negative = false;
  long magnitude = 0;  // strtol's: it stops at LONG_MAX, or one past it for a negative value
  bool saturated = false;

  void add(char c) {
    if (out->len < KEYFILE_VALUE_MAX) out->text[out->len] = c;
    // LightDM's boolean test: "true", then nothing but GLib's blanks.
    if (out->len < 4) {
      out->truth = out->truth && c == "true"[out->len];
    } else if (!is_keyfile_space(c)) {
      out->truth = false;
    }
    ++out->len;
    read_number(c);
  }

  // atoi is strtol: blanks of the C locale, one sign, then digits up to the first other byte.
  void read_number(char c) {
    if (number_phase == kBlanks && is_c_space(c)) return;
    if (number_phase == kBlanks && (c == '+' || c == '-')) {
      negative = c == '-';
      number_phase = kSign;
      return;
    }
    if (number_phase == kDone || c < '0' || c > '9') {
      number_phase = kDone;
      return;
    }
    number_phase = kDigits;
    long digit = c - '0';
    if (saturated || __builtin_mul_overflow(magnitude, 10L, &magnitude) ||
        __builtin_add_overflow(magnitude, digit, &magnitude)) {
      saturated = true;
    }
  }

  void finish() {
    if (out->len < 4) out->truth = false;
    long value = magnitude;
    if (saturated) {
      value = negative ? LONG_MIN : LONG_MAX;
    } else if (negative) {
      value = -magnitude;
    }
    // What glibc's atoi returns: strtol's long, cut to an int.
    out->integer = static_cast<int>(value);
    out->text[out->len < KEYFILE_VALUE_MAX ? out->len : KEYFILE_VALUE_MAX] = '\0';
  }
};

}  // namespace

void decode_keyfile_string(Span raw, KeyFileString* out) {
  out->len = 0;
  out->text[0] = '\0';
  out->integer = 0;
  out->truth = true;
  out->escape_error = false;
  out->present = keyfile_utf8_valid(raw);
  if (!out->present) return;
  ValueReader reader{out};
  for (std::size_t i = 0; i < raw.len; ++i) {
    char c = raw.data[i];
    if (c != '\\') {
      reader.add(c);
      continue;
    }
    if (++i == raw.len) {  // a lone "\\" at the end is dropped
      out->escape_error = true;
      break;
    }
    switch (raw.data[i]) {
      case 's': reader.add(' '); break;
      case 'n': reader.add('\n'); break;
      case 't': reader.add('\t'); break;
      case 'r': reader.add('\r'); break;
      case '\\': reader.add('\\'); break;
      default:
        out->escape_error = true;
        reader.add('\\');
        reader.add(raw.data[i]);
        break;
    }
  }
  reader.finish();
}

bool keyfile_string_equals(const KeyFileString& value, const char* text) {
  return value.present && value.len <= KEYFILE_VALUE_MAX && std::strlen(text) == value.len &&
         std::memcmp(value.text, text, value.len) == 0;
}

