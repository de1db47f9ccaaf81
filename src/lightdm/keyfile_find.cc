#include "lightdm/keyfile_find.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "common/i18n.h"
#include "lightdm/keyfile_line.h"
#include "lightdm/line_cursor.h"

// GLib's rules for a whole key file beyond one line (g_key_file_parse_line and
// g_key_file_add_key): a key before any group refuses the file, the first group's "Encoding"
// must be UTF-8, a group named twice is one group, and a key set twice keeps its last value.
// GLib stops at the first line it refuses; what it read before stays in the key file.

namespace {

bool same(Span a, const char* b) {
  return a.len == std::strlen(b) && std::memcmp(a.data, b, a.len) == 0;
}

void fail(KeyFileFind* find, SourceOutcome outcome, unsigned line, const char* problem) {
  find->outcome = outcome;
  find->problem_line = line;
  find->problem = problem;
}

}  // namespace

void find_keyfile_keys(Span text, const char* group, const char* const keys[], std::size_t count,
                       KeyFileFind* find) {
  find->outcome = SourceOutcome::kLoaded;
  find->problem_line = 0;
  find->problem = nullptr;
  std::fill(std::begin(find->keys), std::end(find->keys), FoundKey{false, Span{nullptr, 0}, 0});
  bool any_group = false;
  Span start_group{nullptr, 0};
  bool in_start = false;
  bool in_group = false;
  LineCursor cursor(text.data, text.len);
  TextLine line;
  while (cursor.next(&line, LineSkip::kComments)) {
    const KeyFileLine kind = classify_keyfile_line(line.content);
    switch (kind.kind) {
      case KeyFileLineKind::kBlank:
      case KeyFileLineKind::kComment:
        continue;
      case KeyFileLineKind::kInvalid:
        // An unsure line before it: GLib refuses the file here at the latest, either way.
        fail(find, SourceOutcome::kRejected, line.number, kind.problem);
        return;
      case KeyFileLineKind::kUnsure:
        // Unless GLib refuses the file later anyway, what it makes of it cannot be told.
        if (find->outcome == SourceOutcome::kLoaded) {
          fail(find, SourceOutcome::kUnsure, line.number, kind.problem);
        }
        continue;
      case KeyFileLineKind::kGroup:
        if (!any_group) start_group = kind.name;
        any_group = true;
        in_start = kind.name.len == start_group.len &&
                   std::memcmp(kind.name.data, start_group.data, kind.name.len) == 0;
        in_group = same(kind.name, group);
        continue;
      case KeyFileLineKind::kKeyValue:
        break;
    }
    if (!any_group) {
      fail(find, SourceOutcome::kRejected, line.number, N_("a key before any section"));
      return;
    }
    if (in_start && span_equals(kind.name, "Encoding") && !is_utf8_name(kind.value)) {
      fail(find, SourceOutcome::kRejected, line.number, N_("an encoding other than UTF-8"));
      return;
    }
    // After an unsure line nothing read counts: only a refusal can still change the outcome.
    if (!in_group || find->outcome != SourceOutcome::kLoaded) continue;
    for (std::size_t i = 0; i < count && i < KEYFILE_FIND_MAX; ++i) {
      if (same(kind.name, keys[i])) find->keys[i] = FoundKey{true, kind.value, line.number};
    }
  }
}

KeyReading read_found_key(const FoundKey& key, KeyFileString* value) {
  if (!key.set) return KeyReading::kAbsent;
  decode_keyfile_string(key.raw, value);
  if (!keyfile_present(*value, GlibRule::kKeepsBadEscapes)) return KeyReading::kAbsent;
  return keyfile_present(*value, GlibRule::kRefusesBadEscapes) ? KeyReading::kPresent
                                                                : KeyReading::kDiffers;
}
