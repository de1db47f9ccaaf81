#include "common/i18n.h"

#include <clocale>
#include <cstdlib>
#include <cstring>

#include <libintl.h>

#ifndef BRINDLEWAY_LOCALE_DIR
#error "the build sets BRINDLEWAY_LOCALE_DIR, the one directory the catalogs are read from"
#endif

// The caller chooses the locale variables, and libc builds paths from them: the locale files
// under /usr/lib/locale, the catalogs under the locale directory, the conversion modules. So:
//  1. LOCPATH, GCONV_PATH and NLSPATH, which name directories outright, are removed.
//  2. A locale value is kept only when it holds no '/' and no "..", and does not begin with
//     '.': a name, never a path. LANGUAGE is a list and is judged element by element. The
//     account tools get the same values (build_tool_env).
//  3. The catalog directory is fixed at build time; no variable moves it.
//  4. Only LC_MESSAGES and LC_CTYPE are taken from the environment, never LC_ALL: numbers, the
//     collation and the character classes the reading of LightDM's files relies on stay C's.
//     LC_CTYPE is needed for the catalog's text to be converted to UTF-8.
//  5. In the C locale nothing of this runs: a plain run pays nothing for it.

namespace {

bool g_active = false;

/// The variables that name a locale, and only that.
constexpr const char* kLocaleVariables[] = {
    "LANG",        "LANGUAGE",   "LC_ALL",           "LC_CTYPE",   "LC_MESSAGES",
    "LC_NUMERIC",  "LC_TIME",    "LC_COLLATE",       "LC_MONETARY", "LC_PAPER",
    "LC_NAME",     "LC_ADDRESS", "LC_TELEPHONE",     "LC_MEASUREMENT", "LC_IDENTIFICATION",
};

/// The variables that name directories libc would read from.
constexpr const char* kPathVariables[] = {"LOCPATH", "GCONV_PATH", "NLSPATH"};

/// The most bytes of a LANGUAGE value kept; a longer list is dropped whole.
constexpr std::size_t kLanguageMax = 256;

/// Returns true if |text| is set and is neither "C" nor "POSIX".
bool names_a_locale(const char* text) {
  return text != nullptr && text[0] != '\0' && std::strcmp(text, "C") != 0 &&
         std::strcmp(text, "POSIX") != 0;
}

/// Returns the locale name libc takes for LC_MESSAGES: the first set value of LC_ALL,
/// LC_MESSAGES and LANG, or null.
const char* messages_locale() {
  constexpr const char* kLookup[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  for (const char* name : kLookup) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return nullptr;
}

}  // namespace

bool locale_value_is_safe(const char* value) {
  return value[0] != '.' && std::strchr(value, '/') == nullptr &&
         std::strstr(value, "..") == nullptr;
}

bool filter_language_value(const char* value, char* buf, std::size_t size) {
  std::size_t used = 0;
  if (size == 0) return false;
  buf[0] = '\0';
  char element[kLanguageMax];
  while (*value != '\0') {
    std::size_t len = std::strcspn(value, ":");
    if (len > 0 && len < sizeof element) {
      std::memcpy(element, value, len);
      element[len] = '\0';
      if (locale_value_is_safe(element)) {
        const std::size_t need = used + (used > 0 ? 1 : 0) + len;
        if (need >= size) return false;
        if (used > 0) buf[used++] = ':';
        std::memcpy(buf + used, element, len);
        used += len;
        buf[used] = '\0';
      }
    }
    value += len;
    if (*value == ':') ++value;
  }
  return used > 0;
}

void sanitize_locale_environment() {
  for (const char* name : kPathVariables) unsetenv(name);
  for (const char* name : kLocaleVariables) {
    const char* value = std::getenv(name);
    if (value == nullptr) continue;
    if (std::strcmp(name, "LANGUAGE") == 0) {
      char kept[kLanguageMax];
      if (filter_language_value(value, kept, sizeof kept)) {
        if (std::strcmp(kept, value) != 0) setenv(name, kept, 1);
      } else {
        unsetenv(name);
      }
    } else if (!locale_value_is_safe(value)) {
      unsetenv(name);
    }
  }
}

void start_translations() {
  // libc ignores LANGUAGE when the messages locale is C: so does this test.
  if (!names_a_locale(messages_locale())) return;
  std::setlocale(LC_CTYPE, "");
  std::setlocale(LC_MESSAGES, "");
  if (bindtextdomain(TEXT_DOMAIN, BRINDLEWAY_LOCALE_DIR) == nullptr) return;
  if (bind_textdomain_codeset(TEXT_DOMAIN, "UTF-8") == nullptr) return;
  g_active = true;
}

void cut_at_character(char* buf, std::size_t size) {
  if (size < 2) return;
  const std::size_t len = size - 1;  // the bytes snprintf kept
  std::size_t start = len - 1;
  while (start > 0 && (static_cast<unsigned char>(buf[start]) & 0xc0) == 0x80) --start;
  const auto lead = static_cast<unsigned char>(buf[start]);
  const std::size_t need = lead < 0x80 ? 1 : lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : 2;
  if (start + need > len) buf[start] = '\0';
}

const char* i18n_text(const char* msgid) {
  if (!g_active || msgid[0] == '\0') return msgid;
  return dgettext(TEXT_DOMAIN, msgid);
}

const char* i18n_plural(const char* singular, const char* plural, unsigned long n) {
  if (!g_active) return n == 1 ? singular : plural;
  return dngettext(TEXT_DOMAIN, singular, plural, n);
}
