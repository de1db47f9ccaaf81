// libFuzzer target for the seat section rewrite. Besides the sanitizers' checks it holds the
// rewrite to properties of what LightDM will read:
//  - the output fits its buffer, and a text that needs no change comes back as itself;
//  - every line outside the seat sections comes through unchanged and in order, as LightDM
//    reads it: a last line without a line feed may gain a terminator;
//  - the lines handed to the scan during the rewrite are the lines of the output: a scan of the
//    output read on its own gives the same settings and the same outcome;
//  - LightDM loads the output exactly when it loads the input;
//  - after disable no seat section holds an autologin-user or autologin-user-timeout key; after
//    enable [Seat:*] comes to autologin-user=alice with a timeout of 0;
//  - a second rewrite changes nothing. One case is by design: a seat section that held a
//    timeout line but no user line gets the timeout line rewritten in place and the two-line
//    block at its end, so "autologin-user-timeout=0" stands twice; the second run drops the
//    later one, and a third changes nothing;
//  - disable of enable's output grows it by at most the two bytes enable keeps free.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/constants.h"
#include "lightdm/keyfile_line.h"
#include "lightdm/keyfile_value.h"
#include "lightdm/seat_model.h"
#include "lightdm/source_scan.h"
#include "seatconf/seat_rewrite.h"

namespace {

constexpr std::size_t kCap = CONF_BUFFER_SIZE - 1;

/// seat0 and the seat of a machine without logind, as on a machine with one seat.
const SeatList& one_seat() {
  static SeatList seats;
  static bool listed = false;
  if (!listed) seat_list_reset(&seats);
  listed = true;
  return seats;
}

struct Rewritten {
  std::string text;
  SourceScan scan;
};

bool rewrite(const std::string& in, bool enable, Rewritten* out) {
  static char buf[CONF_BUFFER_SIZE];
  AutologinRequest request{enable, enable ? "alice" : nullptr};
  Span result{nullptr, 0};
  scan_begin(&out->scan, "fuzz", one_seat());
  if (rewrite_seat_section(Span{in.data(), in.size()}, request, RewriteOptions{false, false}, buf,
                           kCap, &result, &out->scan) != 0) {
    return false;
  }
  if (result.len > kCap) std::abort();
  out->text.assign(result.data, result.len);
  if (out->text == in && result.data != in.data()) std::abort();  // an unchanged text is copied
  return true;
}

/// What LightDM reads of the lines outside seat sections (each without its terminator: a line
/// feed and one carriage return before it), judged by headers alone.
std::vector<std::string> outside_lines(const std::string& text) {
  std::vector<std::string> lines;
  bool in_seat = false;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t nl = text.find('\n', pos);
    std::size_t next = nl == std::string::npos ? text.size() : nl + 1;
    std::string line = text.substr(pos, (nl == std::string::npos ? text.size() : nl) - pos);
    std::string content = line;
    if (nl != std::string::npos && !content.empty() && content.back() == '\r') content.pop_back();
    KeyFileLine kind = classify_keyfile_line(Span{content.data(), content.size()});
    if (kind.kind == KeyFileLineKind::kGroup) {
      in_seat = span_equals(kind.name, "Seat:*") || span_equals(kind.name, "SeatDefaults");
    }
    if (!in_seat && kind.kind != KeyFileLineKind::kGroup) lines.push_back(content);
    pos = next;
  }
  return lines;
}

/// Merges |scan| into a fresh model; returns the outcome.
SourceOutcome merged(SourceScan scan, SeatModel* model) {
  seat_model_reset(model, one_seat());
  return scan_merge(&scan, model);
}

void same_settings(const SeatModel& a, const SeatModel& b) {
  if (a.group_count != b.group_count) std::abort();
  for (std::size_t g = 0; g < a.group_count; ++g) {
    for (int k = 0; k < SEAT_KEY_COUNT; ++k) {
      const SeatSetting& x = a.groups[g].settings[k];
      const SeatSetting& y = b.groups[g].settings[k];
      if (x.set != y.set) std::abort();
      if (x.set && (x.value.present != y.value.present || x.value.len != y.value.len ||
                    std::strcmp(x.value.text, y.value.text) != 0)) {
        std::abort();
      }
    }
  }
}

void check(const std::string& in, bool enable) {
  Rewritten once;
  if (!rewrite(in, enable, &once)) return;
  if (outside_lines(in) != outside_lines(once.text)) std::abort();

  static SeatModel during;
  static SeatModel after;
  static SeatModel before;
  SourceScan reread;
  scan_begin(&reread, "fuzz", one_seat());
  scan_text(&reread, once.text.data(), once.text.size());
  SourceScan original;
  scan_begin(&original, "fuzz", one_seat());
  scan_text(&original, in.data(), in.size());
  SourceOutcome outcome = merged(once.scan, &during);
  if (merged(reread, &after) != outcome || merged(original, &before) != outcome) std::abort();
  if (outcome == SourceOutcome::kLoaded) {
    same_settings(during, after);
    const SeatSetting& user = after.groups[0].settings[SEAT_KEY_USER];
    const SeatSetting& timeout = after.groups[0].settings[SEAT_KEY_TIMEOUT];
    if (!enable && (user.set || timeout.set)) std::abort();
    if (enable && !keyfile_string_equals(user.value, "alice")) std::abort();
    if (enable && timeout.set && seat_integer(timeout.value, GlibRule::kKeepsBadEscapes) != 0) std::abort();
  }

  Rewritten twice;
  if (!rewrite(once.text, enable, &twice)) std::abort();
  Rewritten thrice;
  if (!rewrite(twice.text, enable, &thrice) || thrice.text != twice.text) std::abort();
  bool timeout_twice = false;
  if (enable) {
    std::size_t first = once.text.find("autologin-user-timeout=0\n");
    timeout_twice = first != std::string::npos &&
                    once.text.find("autologin-user-timeout=0\n", first + 1) != std::string::npos;
  }
  if (twice.text != once.text && !timeout_twice) std::abort();

  if (enable) {
    Rewritten off;
    if (!rewrite(once.text, false, &off) || off.text.size() > once.text.size() + 2) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= CONF_BUFFER_SIZE) return 0;
  std::string in(reinterpret_cast<const char*>(data), size);
  check(in, true);
  check(in, false);
  return 0;
}
