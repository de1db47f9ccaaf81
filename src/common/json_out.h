#ifndef BRINDLEWAY_COMMON_JSON_OUT_H_
#define BRINDLEWAY_COMMON_JSON_OUT_H_

#include <cstddef>

// One JSON object, built in a buffer of its own: the answer a program reads on standard output
// in place of the plain lines. Every string the helper writes is valid UTF-8, whatever bytes a
// file or a caller gave it, so any parser takes the object whole.

/// Room for one answer: the configuration before and after and the message queue's worth of
/// text (messages, the tools' output), every byte escaped at worst as "\u00XX", and the rest.
inline constexpr std::size_t JSON_OUT_MAX = 2 * 6 * 131072 + 7 * 65536;

/// How deep objects and arrays nest.
inline constexpr int JSON_DEPTH_MAX = 8;

/// An answer being built. Once it overflows it stays so, and is never written out.
struct JsonOut {
  char* buf;
  std::size_t size;
  std::size_t len;
  bool overflow;
  int depth;
  bool has_items[JSON_DEPTH_MAX];
  bool after_key;
};

/// Returns the run's one answer, emptied. Its buffer is reserved with the program and touched
/// only by a run that answers in JSON.
JsonOut* json_answer();

/// Opens an object ('{') or an array ('[') where a value goes.
void json_open(JsonOut* out, char bracket);

/// Closes the innermost object ('}') or array (']').
void json_close(JsonOut* out, char bracket);

/// Writes the member name |key|, which must be plain ASCII; its value follows.
void json_key(JsonOut* out, const char* key);

/// Writes |len| bytes of |text| as a string: valid UTF-8 as it is, every other byte as the
/// text "\xNN", as plain output quotes it.
void json_string(JsonOut* out, const char* text, std::size_t len);

/// Writes the NUL-terminated |text| as json_string does, or null where |text| is null.
void json_text(JsonOut* out, const char* text);

/// Writes |len| bytes of |data| as a base64 string (RFC 4648, with padding).
void json_base64(JsonOut* out, const char* data, std::size_t len);

/// Ends the answer with the line feed that follows the object.
void json_finish(JsonOut* out);

void json_int(JsonOut* out, long long value);
void json_bool(JsonOut* out, bool value);
void json_null(JsonOut* out);

/// A member of the innermost object: its name |key| and the value the matching writer above
/// writes.
void json_text_at(JsonOut* out, const char* key, const char* text);
void json_int_at(JsonOut* out, const char* key, long long value);
void json_bool_at(JsonOut* out, const char* key, bool value);

/// Returns true if |len| bytes of |text| are valid UTF-8: no overlong form, no surrogate,
/// nothing above U+10FFFF, no sequence cut short.
bool is_valid_utf8(const char* text, std::size_t len);

#endif  // BRINDLEWAY_COMMON_JSON_OUT_H_
