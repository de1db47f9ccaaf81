#ifndef BRINDLEWAY_COMMON_I18N_H_
#define BRINDLEWAY_COMMON_I18N_H_

#include <cstddef>

/// The helper's one text domain; its catalogs are LOCALE_DIR/LL/LC_MESSAGES/TEXT_DOMAIN.mo.
inline constexpr char TEXT_DOMAIN[] = "brindleway-helper";

/// Returns the catalog's translation of |msgid|, or |msgid| itself when no catalog is active.
/// The first call of this or of i18n_plural sets up the catalog when the environment asks for a
/// locale other than C/POSIX (LC_MESSAGES and LC_CTYPE only, the domain bound to LOCALE_DIR in
/// UTF-8), so a run that translates nothing calls nothing of libc's locale machinery.
const char* i18n_text(const char* msgid) __attribute__((format_arg(1)));

/// Returns the catalog's translation of |singular|/|plural| for |n|, or one of the two as
/// English chooses when no catalog is active.
const char* i18n_plural(const char* singular, const char* plural, unsigned long n)
    __attribute__((format_arg(1), format_arg(2)));

/// Returns true if |value| may name a locale: it holds no '/', no "..", and does not begin with
/// '.'. Anything else could make libc build a path outside the locale directories.
bool locale_value_is_safe(const char* value);

/// Writes into |buf| the elements of a LANGUAGE value that locale_value_is_safe accepts,
/// ':'-separated. Returns false when none is left or the kept elements do not fit.
bool filter_language_value(const char* value, char* buf, std::size_t size);

/// Makes every locale variable of the environment (LANG, LANGUAGE, LC_*) safe by the one rule,
/// element by element for LANGUAGE, and removes LOCPATH, GCONV_PATH and NLSPATH, which would
/// point libc at a caller's files. Call it before the first text is translated.
void sanitize_locale_environment();

/// Writes |format| (at most one %s), filled with |arg|, into |buf| (|size| bytes): in English
/// now, and again in the reader's language as soon as the catalog is set up, which this call
/// does not do. |buf| and |arg| must last the run; a later call for the same |buf| replaces the
/// earlier one. Text cut short ends at a whole character. Words that open many messages, worked
/// out this way, set up no catalog in a run that prints none of those messages.
void i18n_late_text(const char* format, const char* arg, char* buf, std::size_t size);

/// Ends |buf|, which snprintf filled to its |size| bytes and cut short, at its last whole UTF-8
/// character, so that a cut translation is still text.
void cut_at_character(char* buf, std::size_t size);

// gettext's own names, which xgettext and every translator know.
#define _(text) i18n_text(text)  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
#define N_(text) text

#endif  // BRINDLEWAY_COMMON_I18N_H_
