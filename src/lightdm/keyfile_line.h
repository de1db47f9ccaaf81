#ifndef BRINDLEWAY_LIGHTDM_KEYFILE_LINE_H_
#define BRINDLEWAY_LIGHTDM_KEYFILE_LINE_H_

#include "common/span.h"

/// What GLib's key-file parser, which LightDM uses, makes of one line.
enum class KeyFileLineKind {
  kBlank,     // nothing but blanks
  kComment,   // "#" after blanks
  kGroup,     // "[name]"
  kKeyValue,  // "key=value"
  kInvalid,   // anything else: the parser refuses the whole file
  kUnsure,    // a NUL byte, or a key whose locale suffix holds non-ASCII letters: not judged
};

struct KeyFileLine {
  KeyFileLineKind kind;
  /// The group's name without its brackets (kGroup), or the key (kKeyValue).
  Span name;
  /// The value as written, from its first non-blank byte to the end of the line (kKeyValue).
  Span value;
  /// Why the parser refuses the line (kInvalid, kUnsure).
  const char* problem;
};

/// Returns true for the bytes GLib counts as blanks before a line, around "=" and before a
/// value: space, tab, line feed, form feed and carriage return, but not vertical tab.
inline bool is_keyfile_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

/// Returns true if |value| names UTF-8 as GLib's key-file parser reads an "Encoding" key of the
/// first group: it refuses a file whose first group names any other encoding.
bool is_utf8_name(Span value);

/// Returns what the key-file parser makes of |line|, the content of one line (TextLine::content).
/// A comment is known by its first byte; whatever follows, NUL bytes included, is not looked at.
KeyFileLine classify_keyfile_line(Span line);

#endif  // BRINDLEWAY_LIGHTDM_KEYFILE_LINE_H_
