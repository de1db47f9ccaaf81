#ifndef BRINDLEWAY_LIGHTDM_SOURCE_SCAN_H_
#define BRINDLEWAY_LIGHTDM_SOURCE_SCAN_H_

#include <cstddef>

#include "common/span.h"
#include "lightdm/keyfile_line.h"
#include "lightdm/seat_model.h"

/// How far LightDM gets with one configuration file.
enum class SourceOutcome {
  kLoaded,    // read whole; its settings count
  kRejected,  // GLib refuses it: a drop-in is skipped, lightdm.conf stops LightDM
  kUnsure,    // this program cannot tell what LightDM makes of it
};

/// One file's seat sections while its lines are read. Its settings reach the model only when
/// the whole file has loaded, since LightDM skips a file that fails part way.
struct SourceScan {
  struct Group {
    Span name;  // as written, "SeatDefaults" included
    unsigned line;  // of its first header
    bool applies[SEATS_MAX];
    /// LightDM creates a group in its merged configuration only when it copies a key of it,
    /// so a group without keys takes no place in the order of first appearance.
    bool has_keys;
    /// Keys with a locale suffix ("key[fr]") LightDM keeps or drops by its own language, so
    /// whether they create the group cannot be told.
    bool has_locale_keys;
    struct {
      bool set;
      Span raw;
      unsigned line;
    } keys[SEAT_KEY_COUNT];
  };

  const char* path;
  /// The seats that count: a seat section that applies to none of them is passed over.
  const SeatList* seats;
  Group groups[SEAT_GROUPS_MAX];
  std::size_t group_count;
  /// The group the lines now belong to: an index into |groups|, kNoSeatGroup for a section that
  /// does not matter here, or kNoGroupYet before the first header.
  std::size_t current;
  /// The file's first group, whose "Encoding" key GLib checks.
  Span start_group;
  bool in_start_group;
  /// The lines are in "[LightDM]"; the keys of it that the helper reads, where the file sets
  /// them.
  bool in_lightdm_group;
  struct {
    bool set;
    Span raw;
    unsigned line;
  } lightdm_keys[LIGHTDM_KEY_COUNT], lightdm_raw_keys[LIGHTDM_RAW_KEY_COUNT];

  SourceOutcome outcome;
  unsigned problem_line;
  const char* problem;
  /// A line GLib refuses whatever came before it follows the first problem: however GLib read
  /// an unsure line, it refuses the file at that line at the latest.
  bool refused_later;

  static constexpr std::size_t kNoSeatGroup = static_cast<std::size_t>(-1);
  static constexpr std::size_t kNoGroupYet = static_cast<std::size_t>(-2);
};

/// Starts reading the file at |path| for the seats in |seats|; both must outlive |scan|.
void scan_begin(SourceScan* scan, const char* path, const SeatList& seats);

/// Takes one line of the file, |line| being what classify_keyfile_line made of it. The spans
/// in |line| must stay valid until scan_merge.
void scan_line(SourceScan* scan, const KeyFileLine& line, unsigned number);

/// Reads every line of |text| (|len| bytes) into |scan|.
void scan_text(SourceScan* scan, const char* text, std::size_t len);

/// Ends the file: when it loaded, its settings override what |model| holds, key by key, as
/// LightDM merges a later source over earlier ones. Returns the file's outcome.
SourceOutcome scan_merge(SourceScan* scan, SeatModel* model);

#endif  // BRINDLEWAY_LIGHTDM_SOURCE_SCAN_H_
