#include "common/i18n.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>

extern char** environ;  // NOLINT: the process environment has no other name.

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
//  5. Nothing of this runs before the first text is translated, and nothing in the C locale: a
//     run that prints only its success line, which is never translated, pays nothing for it.
//     The environment is made safe at the front door all the same, since the account tools
//     take its values too.

namespace {

/// libintl's functions and setlocale, looked up (dlsym) only once a catalog is wanted: every
/// function the helper imports is bound at start-up (-z now), and a run in the C locale should
/// not pay for those it never calls.
struct Gettext {
  char* (*setlocale)(int, const char*);
  char* (*bindtextdomain)(const char*, const char*);
  char* (*bind_textdomain_codeset)(const char*, const char*);
  char* (*dgettext)(const char*, const char*);
  char* (*dngettext)(const char*, const char*, const char*, unsigned long);
};

Gettext g_gettext;
bool g_started = false;
bool g_active = false;

/// A text that i18n_late_text wrote in English, to be written again once the catalog is up.
struct LateText {
  const char* format;
  const char* arg;
  char* buf;
  std::size_t size;
};

/// One for each kind of words a run opens its messages with.
constexpr int kLateTextsMax = 4;
LateText g_late[kLateTextsMax];
int g_late_count = 0;

/// The variables that name directories libc would read from.
constexpr const char* kPathVariables[] = {"LOCPATH=", "GCONV_PATH=", "NLSPATH="};

/// Returns the rest of |entry| after |prefix|, or null when it does not begin with it.
const char* after(const char* entry, const char* prefix) {
  for (; *prefix != '\0'; ++prefix, ++entry) {
    if (*entry != *prefix) return nullptr;
  }
  return entry;
}

/// Returns true if |entry| ("NAME=VALUE") names a locale: LANG, LANGUAGE or any LC_*.
bool is_locale_variable(const char* entry) {
  return after(entry, "LANG=") != nullptr || after(entry, "LANGUAGE=") != nullptr ||
         after(entry, "LC_") != nullptr;
}

/// Returns the value of |entry|, after its first '='.
char* value_of(char* entry) {
  while (*entry != '\0' && *entry != '=') ++entry;
  return *entry == '=' ? entry + 1 : entry;
}

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

template <typename F>
bool look_up(const char* name, F* fn) {
  *fn = reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
  return *fn != nullptr;
}

bool load_gettext(Gettext* api) {
  return look_up("setlocale", &api->setlocale) && look_up("bindtextdomain", &api->bindtextdomain) &&
         look_up("bind_textdomain_codeset", &api->bind_textdomain_codeset) &&
         look_up("dgettext", &api->dgettext) && look_up("dngettext", &api->dngettext);
}

/// Writes |late| in the language the run now speaks.
void write_late_text(const LateText& late) {
  const char* format = g_active ? g_gettext.dgettext(TEXT_DOMAIN, late.format) : late.format;
  // The format is one of the callers' literals, or its translation: msgfmt --check keeps the
  // catalogs' directives those of the literal.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  // NOLINTNEXTLINE(clang-diagnostic-format-nonliteral)
  const int n = std::snprintf(late.buf, late.size, format, late.arg != nullptr ? late.arg : "");
#pragma GCC diagnostic pop
  if (n < 0 && late.size > 0) late.buf[0] = '\0';
  if (n >= 0 && static_cast<std::size_t>(n) >= late.size) cut_at_character(late.buf, late.size);
}

/// Sets up the message catalog, once, when the environment asks for a locale other than
/// C/POSIX: LC_MESSAGES and LC_CTYPE only, and the domain bound to LOCALE_DIR in UTF-8.
void start_translations() {
  g_started = true;
  // libc ignores LANGUAGE when the messages locale is C: so does this test.
  if (!names_a_locale(messages_locale()) || !load_gettext(&g_gettext)) return;
  g_gettext.setlocale(LC_CTYPE, "");
  g_gettext.setlocale(LC_MESSAGES, "");
  if (g_gettext.bindtextdomain(TEXT_DOMAIN, BRINDLEWAY_LOCALE_DIR) == nullptr) return;
  if (g_gettext.bind_textdomain_codeset(TEXT_DOMAIN, "UTF-8") == nullptr) return;
  g_active = true;
  for (int i = 0; i < g_late_count; ++i) write_late_text(g_late[i]);
}

}  // namespace

bool locale_value_is_safe(const char* value) {
  if (value[0] == '.') return false;
  for (const char* p = value; *p != '\0'; ++p) {
    if (*p == '/' || (p[0] == '.' && p[1] == '.')) return false;
  }
  return true;
}

bool filter_language_value(const char* value, char* buf, std::size_t size) {
  // |buf| may be |value| itself: what is kept never runs ahead of what is read.
  std::size_t used = 0;
  std::size_t read = 0;
  while (value[read] != '\0') {
    std::size_t len = 0;
    while (value[read + len] != '\0' && value[read + len] != ':') ++len;
    // One element judged on its own: a copy, terminated where the ':' was.
    char element[256];
    const bool fits = len < sizeof element;
    if (fits) {
      for (std::size_t i = 0; i < len; ++i) element[i] = value[read + i];
      element[len] = '\0';
    }
    read += len;
    if (value[read] == ':') ++read;
    if (len == 0 || !fits || !locale_value_is_safe(element)) continue;
    const std::size_t need = used + (used > 0 ? 1 : 0) + len;
    if (need >= size) return false;
    if (used > 0) buf[used++] = ':';
    for (std::size_t i = 0; i < len; ++i) buf[used++] = element[i];
  }
  if (size > 0) buf[used < size ? used : size - 1] = '\0';
  return used > 0;
}

void sanitize_locale_environment() {
  // The environment is rewritten in place: a dropped entry leaves the array, and a LANGUAGE
  // value loses its unsafe elements, which never makes it longer.
  char** kept = environ;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    // Every variable judged here begins with L, G or N; the others are passed over at once.
    const char first = **entry;
    if (first != 'L' && first != 'G' && first != 'N') {
      *kept++ = *entry;
      continue;
    }
    bool drop = false;
    for (const char* name : kPathVariables) drop = drop || after(*entry, name) != nullptr;
    char* value = value_of(*entry);
    if (after(*entry, "LANGUAGE=") != nullptr) {
      drop = !filter_language_value(value, value, std::strlen(value) + 1);
    } else if (is_locale_variable(*entry)) {
      drop = !locale_value_is_safe(value);
    }
    if (!drop) *kept++ = *entry;
  }
  if (kept != nullptr) *kept = nullptr;
}

void i18n_late_text(const char* format, const char* arg, char* buf, std::size_t size) {
  const LateText late{format, arg, buf, size};
  int slot = 0;
  while (slot < g_late_count && g_late[slot].buf != buf) ++slot;
  if (slot < kLateTextsMax) {
    g_late[slot] = late;
    if (slot == g_late_count) ++g_late_count;
  } else if (!g_started) {
    start_translations();  // no room to write it again later: it is translated now
  }
  write_late_text(late);
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
  if (!g_started) start_translations();
  if (!g_active || msgid[0] == '\0') return msgid;
  return g_gettext.dgettext(TEXT_DOMAIN, msgid);
}

const char* i18n_plural(const char* singular, const char* plural, unsigned long n) {
  if (!g_started) start_translations();
  if (!g_active) return n == 1 ? singular : plural;
  return g_gettext.dngettext(TEXT_DOMAIN, singular, plural, n);
}
