#ifndef BRINDLEWAY_LIGHTDM_KEYFILE_VALUE_H_
#define BRINDLEWAY_LIGHTDM_KEYFILE_VALUE_H_

#include <cstddef>

#include "common/span.h"

/// The longest value this program keeps whole. A longer one is kept cut short and marked so.
inline constexpr std::size_t KEYFILE_VALUE_MAX = 1024;

/// How a GLib version reads a value with an escape it does not know ("\\q") or a backslash at
/// its end. GLib 2.74 (Debian 12) keeps the first as written and drops the second; from 2.77.3
/// on (GLib 2.84 in Debian 13) g_key_file_get_string hands LightDM no string for either.
enum class GlibRule { kKeepsBadEscapes, kRefusesBadEscapes };

/// Both rules, for a reader that must hold whichever GLib LightDM runs with.
inline constexpr GlibRule GLIB_RULES[] = {GlibRule::kKeepsBadEscapes,
                                          GlibRule::kRefusesBadEscapes};

/// A value as LightDM reads it with g_key_file_get_string.
struct KeyFileString {
  /// False when GLib hands LightDM no string at all: the value is not valid UTF-8.
  bool present;
  /// The value holds an escape GLib does not know, or ends in a backslash: under
  /// GlibRule::kRefusesBadEscapes it is no string either.
  bool escape_error;
  /// The value with its escapes resolved, NUL-terminated, at most KEYFILE_VALUE_MAX bytes.
  char text[KEYFILE_VALUE_MAX + 1];
  /// The length of the whole resolved value, which is more than the bytes kept when cut short.
  std::size_t len;
  /// What LightDM reads from the whole value for a seat's integer setting (atoi), and for its
  /// boolean settings ("true", perhaps followed by blanks), however long the value is.
  int integer;
  bool truth;
};

/// Returns true if |s| is valid UTF-8 as g_utf8_validate judges it: no overlong forms,
/// surrogates or code points past U+10FFFF.
bool keyfile_utf8_valid(Span s);

/// Resolves |raw| (KeyFileLine::value) as g_key_file_get_string does: "\s", "\n", "\t", "\r"
/// and "\\" become one byte, any other escape is kept as written, and a "\" at the end is
/// dropped, as GLib 2.74 does; both mark an escape error. A value that is not valid UTF-8 is not
/// present.
void decode_keyfile_string(Span raw, KeyFileString* out);

/// Returns true if GLib, following |rule|, hands LightDM a string for |value|.
inline bool keyfile_present(const KeyFileString& value, GlibRule rule) {
  return value.present && !(value.escape_error && rule == GlibRule::kRefusesBadEscapes);
}

/// Returns true if |value| was kept whole and equals |text|.
bool keyfile_string_equals(const KeyFileString& value, const char* text);

/// Returns the integer LightDM reads from |value| for a seat's integer settings: atoi of the
/// string, 0 when there is none.
inline int seat_integer(const KeyFileString& value, GlibRule rule) {
  return keyfile_present(value, rule) ? value.integer : 0;
}

/// Returns the truth LightDM reads from |value| for a seat's boolean settings: "true", perhaps
/// followed by blanks.
inline bool seat_boolean(const KeyFileString& value, GlibRule rule) {
  return keyfile_present(value, rule) && value.truth;
}

#endif  // BRINDLEWAY_LIGHTDM_KEYFILE_VALUE_H_
