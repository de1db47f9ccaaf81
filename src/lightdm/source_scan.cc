#include "lightdm/source_scan.h"

#include <cstdio>
#include <cstring>

#include "common/i18n.h"
#include "lightdm/keyfile_value.h"
#include "lightdm/line_cursor.h"

// How LightDM 1.26 turns one file into seat settings (config_load_from_file and
// get_config_sections):
//  1. GLib loads the file whole or not at all. Groups of the same name merge, and within a group
//     the last line that sets a key wins.
//  2. LightDM then copies the groups in the order of their first appearance, renaming
//     "SeatDefaults" to "Seat:*", so that a later group overrides an earlier one key by key.
//  3. A seat takes "[Seat:*]" and then every "[Seat:GLOB]" whose glob matches its name.

namespace {

constexpr char kSeatPrefix[] = "Seat:";

void fail(SourceScan* scan, SourceOutcome outcome, unsigned number, const char* problem) {
  if (scan->outcome != SourceOutcome::kLoaded) return;  // the first problem stops GLib
  scan->outcome = outcome;
  scan->problem_line = number;
  scan->problem = problem;
}

bool same(Span a, Span b) { return a.len == b.len && std::memcmp(a.data, b.data, a.len) == 0; }

bool is_base_group(Span name) {
  return span_equals(name, "Seat:*") || span_equals(name, "SeatDefaults");
}

/// Fills |applies| for the group |name| and the seats in |seats|. Returns false for a group no
/// seat reads.
bool seat_group_applies(Span name, const SeatList& seats, bool applies[SEATS_MAX]) {
  bool any = false;
  for (std::size_t seat = 0; seat < seats.count; ++seat) {
    applies[seat] = is_base_group(name);
    if (!applies[seat] && name.len >= 5 && std::memcmp(name.data, kSeatPrefix, 5) == 0) {
      applies[seat] = seat_glob_matches(name.data + 5, name.len - 5, seats.names[seat]);
    }
    any = any || applies[seat];
  }
  return any;
}

void enter_group(SourceScan* scan, Span name, unsigned number) {
  // LightDM matches every seat glob with GLib's pattern code, which aborts on some names that
  // are not UTF-8.
  if (name.len > 5 && std::memcmp(name.data, kSeatPrefix, 5) == 0 &&
      !keyfile_utf8_valid(Span{name.data + 5, name.len - 5})) {
    fail(scan, SourceOutcome::kUnsure, number, N_("a seat section whose name is not UTF-8"));
  }
  if (scan->current == SourceScan::kNoGroupYet) scan->start_group = name;
  scan->in_start_group = same(name, scan->start_group);
  scan->in_lightdm_group = span_equals(name, "LightDM");
  bool applies[SEATS_MAX] = {};
  if (!seat_group_applies(name, *scan->seats, applies)) {
    scan->current = SourceScan::kNoSeatGroup;
    return;
  }
  for (std::size_t i = 0; i < scan->group_count; ++i) {
    if (same(scan->groups[i].name, name)) {
      scan->current = i;
      return;
    }
  }
  if (scan->group_count == SEAT_GROUPS_MAX || name.len > SEAT_GROUP_NAME_MAX) {
    fail(scan, SourceOutcome::kUnsure, number, N_("too many seat sections, or too long a name"));
    scan->current = SourceScan::kNoSeatGroup;
    return;
  }
  SourceScan::Group& group = scan->groups[scan->group_count];
  group.name = name;
  group.line = number;
  std::memcpy(group.applies, applies, sizeof applies);
  group.has_keys = false;
  group.has_locale_keys = false;
  for (auto& key : group.keys) key.set = false;
  scan->current = scan->group_count++;
}

/// Returns the index of |name| among the |count| key names |names|, or -1.
int key_index(Span name, const char* const names[], int count) {
  for (int key = 0; key < count; ++key) {
    if (name.len == std::strlen(names[key]) && std::memcmp(name.data, names[key], name.len) == 0) {
      return key;
    }
  }
  return -1;
}

void set_key(SourceScan* scan, const KeyFileLine& line, unsigned number) {
  if (scan->current == SourceScan::kNoGroupYet) {
    fail(scan, SourceOutcome::kRejected, number, N_("a key before any section"));
    return;
  }
  if (scan->in_start_group && span_equals(line.name, "Encoding") && !is_utf8_name(line.value)) {
    fail(scan, SourceOutcome::kRejected, number, N_("an encoding other than UTF-8"));
    return;
  }
  if (scan->in_lightdm_group) {
    const int key = key_index(line.name, LIGHTDM_KEY_NAMES, LIGHTDM_KEY_COUNT);
    if (key >= 0) {
      scan->lightdm_keys[key] = {true, line.value, number};
      return;
    }
    const int raw = key_index(line.name, LIGHTDM_RAW_KEY_NAMES, LIGHTDM_RAW_KEY_COUNT);
    if (raw >= 0) {
      scan->lightdm_raw_keys[raw] = {true, line.value, number};
      return;
    }
  }
  if (scan->current == SourceScan::kNoSeatGroup) return;
  // A valid key with "[" ends in "]": it has a locale suffix.
  if (line.name.data[line.name.len - 1] == ']') {
    scan->groups[scan->current].has_locale_keys = true;
    return;
  }
  scan->groups[scan->current].has_keys = true;
  for (int key = 0; key < SEAT_KEY_COUNT; ++key) {
    const char* name = SEAT_KEY_NAMES[key];
    if (line.name.len == std::strlen(name) &&
        std::memcmp(line.name.data, name, line.name.len) == 0) {
      auto& slot = scan->groups[scan->current].keys[key];
      slot.set = true;
      slot.raw = line.value;
      slot.line = number;
      return;
    }
  }
}

/// Copies |src| (|len| bytes) into |dst| of |cap| bytes, cut short if it must be.
void copy_text(char* dst, std::size_t cap, const char* src, std::size_t len) {
  std::size_t n = len < cap - 1 ? len : cap - 1;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

/// Sets |setting| from the line |line| of |scan|'s file, in the section |section|.
void set_setting(SeatSetting* setting, const SourceScan& scan, Span raw, Span section,
                 unsigned line) {
  setting->set = true;
  decode_keyfile_string(raw, &setting->value);
  copy_text(setting->path, sizeof setting->path, scan.path, std::strlen(scan.path));
  copy_text(setting->section, sizeof setting->section, section.data, section.len);
  setting->line = line;
  setting->from_sysconfig = false;
}

SeatGroup* model_group(SeatModel* model, Span name, const bool applies[SEATS_MAX]) {
  if (is_base_group(name)) return &model->groups[0];
  for (std::size_t i = 1; i < model->group_count; ++i) {
    if (std::strlen(model->groups[i].name) == name.len &&
        std::memcmp(model->groups[i].name, name.data, name.len) == 0) {
      return &model->groups[i];
    }
  }
  if (model->group_count == SEAT_GROUPS_MAX) return nullptr;
  SeatGroup* group = &model->groups[model->group_count++];
  copy_text(group->name, sizeof group->name, name.data, name.len);
  std::memcpy(group->applies, applies, sizeof group->applies);
  for (SeatSetting& setting : group->settings) setting.set = false;
  return group;
}

}  // namespace

void scan_begin(SourceScan* scan, const char* path, const SeatList& seats) {
  scan->path = path;
  scan->seats = &seats;
  scan->in_lightdm_group = false;
  for (auto& key : scan->lightdm_raw_keys) key.set = false;
  for (auto& key : scan->lightdm_keys) key.set = false;
  scan->group_count = 0;
  scan->current = SourceScan::kNoGroupYet;
  scan->start_group = Span{nullptr, 0};
  scan->in_start_group = false;
  scan->outcome = SourceOutcome::kLoaded;
  scan->problem_line = 0;
  scan->problem = nullptr;
  scan->refused_later = false;
}

void scan_line(SourceScan* scan, const KeyFileLine& line, unsigned number) {
  switch (line.kind) {
    case KeyFileLineKind::kBlank:
    case KeyFileLineKind::kComment:
      return;
    case KeyFileLineKind::kGroup:
      enter_group(scan, line.name, number);
      return;
    case KeyFileLineKind::kKeyValue:
      set_key(scan, line, number);
      return;
    case KeyFileLineKind::kInvalid:
      if (scan->outcome == SourceOutcome::kUnsure) scan->refused_later = true;
      fail(scan, SourceOutcome::kRejected, number, line.problem);
      return;
    case KeyFileLineKind::kUnsure:
      fail(scan, SourceOutcome::kUnsure, number, line.problem);
      return;
  }
}

void scan_text(SourceScan* scan, const char* text, std::size_t len) {
  LineCursor cursor(text, len);
  TextLine line;
  while (cursor.next(&line, LineSkip::kComments)) {
    scan_line(scan, classify_keyfile_line(line.content), line.number);
  }
}

SourceOutcome scan_merge(SourceScan* scan, SeatModel* model) {
  if (scan->outcome != SourceOutcome::kLoaded) return scan->outcome;
  for (std::size_t i = 0; i < scan->group_count; ++i) {
    const SourceScan::Group& group = scan->groups[i];
    // Where a glob section is created decides the order of seat sections; [Seat:*] comes first
    // whatever happens.
    if (!group.has_keys && group.has_locale_keys && !is_base_group(group.name)) {
      fail(scan, SourceOutcome::kUnsure, group.line,
           N_("a seat section whose only keys have a locale, which LightDM keeps or not by "
              "its language"));
      return scan->outcome;
    }
    if (!group.has_keys) continue;
    SeatGroup* target = model_group(model, group.name, group.applies);
    if (target == nullptr) {
      fail(scan, SourceOutcome::kUnsure, group.line, N_("too many seat sections"));
      return scan->outcome;
    }
    for (int key = 0; key < SEAT_KEY_COUNT; ++key) {
      if (!group.keys[key].set) continue;
      set_setting(&target->settings[key], *scan, group.keys[key].raw, group.name,
                  group.keys[key].line);
    }
  }
  for (int key = 0; key < LIGHTDM_KEY_COUNT; ++key) {
    if (!scan->lightdm_keys[key].set) continue;
    set_setting(&model->lightdm[key], *scan, scan->lightdm_keys[key].raw, Span{"LightDM", 7},
                scan->lightdm_keys[key].line);
  }
  for (int key = 0; key < LIGHTDM_RAW_KEY_COUNT; ++key) {
    const auto& found = scan->lightdm_raw_keys[key];
    if (!found.set) continue;
    LightdmSetting& setting = model->lightdm_raw[key];
    setting.set = true;
    copy_text(setting.raw, sizeof setting.raw, found.raw.data, found.raw.len);
    setting.len = found.raw.len;
    copy_text(setting.path, sizeof setting.path, scan->path, std::strlen(scan->path));
    setting.line = found.line;
  }
  return SourceOutcome::kLoaded;
}
