#include "common/json_out.h"

#include <cstdio>
#include <cstring>

#include <sys/mman.h>

namespace {

// The room is mapped by the first answer: a run that answers in plain text never has it in its
// address space, which a caller's RLIMIT_AS may hold to a few MiB.
char* g_buffer = nullptr;
JsonOut g_answer;

void put(JsonOut* out, const char* bytes, std::size_t n) {
  if (n == 0) return;
  if (out->overflow || n > out->size - out->len) {
    out->overflow = true;
    return;
  }
  std::memcpy(out->buf + out->len, bytes, n);
  out->len += n;
}

void put_char(JsonOut* out, char c) { put(out, &c, 1); }

/// Writes the comma that separates a value from the one before it, where one is due.
void begin_value(JsonOut* out) {
  if (out->after_key) {
    out->after_key = false;
    return;
  }
  if (out->depth > 0) {
    if (out->has_items[out->depth - 1]) put_char(out, ',');
    out->has_items[out->depth - 1] = true;
  }
}

/// Returns the length of the valid UTF-8 sequence at |text| (at most |len| bytes), or 0 when
/// the byte there does not start one.
std::size_t utf8_sequence(const unsigned char* text, std::size_t len) {
  const unsigned char c = text[0];
  if (c < 0x80) return 1;
  std::size_t n = 0;
  unsigned min = 0;
  unsigned code = 0;
  if (c >= 0xc2 && c <= 0xdf) {
    n = 2, min = 0x80, code = c & 0x1fU;
  } else if (c >= 0xe0 && c <= 0xef) {
    n = 3, min = 0x800, code = c & 0x0fU;
  } else if (c >= 0xf0 && c <= 0xf4) {
    n = 4, min = 0x10000, code = c & 0x07U;
  } else {
    return 0;
  }
  if (n > len) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((text[i] & 0xc0U) != 0x80) return 0;
    code = (code << 6) | (text[i] & 0x3fU);
  }
  if (code < min || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
  return n;
}

}  // namespace

JsonOut* json_answer() {
  if (g_buffer == nullptr) {
    void* room = mmap(nullptr, JSON_OUT_MAX, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (room != MAP_FAILED) g_buffer = static_cast<char*>(room);
  }
  // Without its room the answer overflows at its first byte, as one too large for it would.
  const bool roomless = g_buffer == nullptr;
  g_answer = JsonOut{g_buffer, roomless ? 0 : JSON_OUT_MAX, 0, roomless, 0, {}, false};
  return &g_answer;
}

void json_open(JsonOut* out, char bracket) {
  begin_value(out);
  put_char(out, bracket);
  if (out->depth == JSON_DEPTH_MAX) {
    out->overflow = true;
    return;
  }
  out->has_items[out->depth++] = false;
}

void json_close(JsonOut* out, char bracket) {
  put_char(out, bracket);
  if (out->depth > 0) --out->depth;
}

void json_key(JsonOut* out, const char* key) {
  begin_value(out);
  put_char(out, '"');
  put(out, key, std::strlen(key));
  put(out, "\":", 2);
  out->after_key = true;
}

void json_string(JsonOut* out, const char* text, std::size_t len) {
  begin_value(out);
  put_char(out, '"');
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t i = 0;
  while (i < len) {
    // The longest run that needs no escape goes in one copy.
    std::size_t run = i;
    while (run < len && bytes[run] >= 0x20 && bytes[run] < 0x80 && bytes[run] != '"' &&
           bytes[run] != '\\') {
      ++run;
    }
    put(out, text + i, run - i);
    i = run;
    if (i == len) break;
    const unsigned char c = bytes[i];
    char escape[8];
    if (c == '"' || c == '\\') {
      put_char(out, '\\');
      put_char(out, static_cast<char>(c));
      ++i;
    } else if (c == '\n') {
      put(out, "\\n", 2), ++i;
    } else if (c == '\t') {
      put(out, "\\t", 2), ++i;
    } else if (c < 0x20) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      put(out, escape, 6), ++i;
    } else if (const std::size_t n = utf8_sequence(bytes + i, len - i); n > 0) {
      put(out, text + i, n), i += n;
    } else {
      // Not UTF-8: shown as plain output shows it, as text.
      std::snprintf(escape, sizeof escape, "\\\\x%02x", c);
      put(out, escape, 5), ++i;
    }
  }
  put_char(out, '"');
}

void json_text(JsonOut* out, const char* text) {
  if (text == nullptr) {
    json_null(out);
    return;
  }
  json_string(out, text, std::strlen(text));
}

void json_base64(JsonOut* out, const char* data, std::size_t len) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  begin_value(out);
  put_char(out, '"');
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < len; i += 3) {
    const std::size_t left = len - i;
    const unsigned group = (unsigned{bytes[i]} << 16) |
                           (left > 1 ? unsigned{bytes[i + 1]} << 8 : 0U) |
                           (left > 2 ? unsigned{bytes[i + 2]} : 0U);
    const char four[4] = {kAlphabet[(group >> 18) & 63U], kAlphabet[(group >> 12) & 63U],
                          left > 1 ? kAlphabet[(group >> 6) & 63U] : '=',
                          left > 2 ? kAlphabet[group & 63U] : '='};
    put(out, four, 4);
  }
  put_char(out, '"');
}

void json_finish(JsonOut* out) { put_char(out, '\n'); }

void json_int(JsonOut* out, long long value) {
  begin_value(out);
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%lld", value);
  put(out, digits, static_cast<std::size_t>(n));
}

void json_bool(JsonOut* out, bool value) {
  begin_value(out);
  if (value) {
    put(out, "true", 4);
  } else {
    put(out, "false", 5);
  }
}

void json_null(JsonOut* out) {
  begin_value(out);
  put(out, "null", 4);
}

void json_text_at(JsonOut* out, const char* key, const char* text) {
  json_key(out, key);
  json_text(out, text);
}

void json_int_at(JsonOut* out, const char* key, long long value) {
  json_key(out, key);
  json_int(out, value);
}

void json_bool_at(JsonOut* out, const char* key, bool value) {
  json_key(out, key);
  json_bool(out, value);
}

bool is_valid_utf8(const char* text, std::size_t len) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t i = 0;
  while (i < len) {
    if (bytes[i] < 0x80) {
      ++i;
      continue;
    }
    const std::size_t n = utf8_sequence(bytes + i, len - i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}
