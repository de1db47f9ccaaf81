#include "common/quote.h"

#include <cstdio>

std::size_t quote_text(const char* text, bool keep_spaces, char* buf, std::size_t size) {
  std::size_t n = 0;
  for (const char* p = text; *p != '\0' && n + 5 < size; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if ((c > 0x20 || (keep_spaces && c == 0x20)) && c < 0x7f && c != '\\') {
      buf[n++] = static_cast<char>(c);
    } else {
      n += static_cast<std::size_t>(std::snprintf(buf + n, size - n, "\\x%02x", c));
    }
  }
  if (size > 0) buf[n < size ? n : size - 1] = '\0';
  return n;
}

void quote_name(const char* text, char* buf, std::size_t size) {
  quote_text(text, true, buf, size);
}
