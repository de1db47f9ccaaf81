#ifndef BRINDLEWAY_LIGHTDM_KEYFILE_FIND_H_
#define BRINDLEWAY_LIGHTDM_KEYFILE_FIND_H_

#include <cstddef>

#include "common/span.h"
#include "lightdm/keyfile_value.h"
#include "lightdm/source_scan.h"

/// The most keys one lookup finds.
inline constexpr std::size_t KEYFILE_FIND_MAX = 4;

/// One key as the last line that set it in its group wrote it.
struct FoundKey {
  bool set;
  Span raw;
  unsigned line;
};

/// What GLib makes of a whole key file (a session's .desktop file, a .dmrc, AccountsService's
/// record of a user), and the keys asked for in one group of it.
struct KeyFileFind {
  SourceOutcome outcome;
  unsigned problem_line;
  const char* problem;
  /// In the order the keys were asked for. When the file does not load, what GLib had read
  /// before the line that stopped it.
  FoundKey keys[KEYFILE_FIND_MAX];
};

/// Reads |text| as g_key_file_load_from_data does, with the line rules LightDM's configuration
/// is read by, and finds the |count| keys |keys| (at most KEYFILE_FIND_MAX) in the group
/// |group|: a group that appears twice is one, and the last line that sets a key wins. A key
/// with a locale suffix ("Name[de]") is another key. Fills |find|.
void find_keyfile_keys(Span text, const char* group, const char* const keys[], std::size_t count,
                       KeyFileFind* find);

/// A key's string as GLib hands it to LightDM, worked out by both GLib rules.
enum class KeyReading {
  kAbsent,     // no string under either rule: not set, or not valid UTF-8
  kPresent,    // the same string under both
  kDiffers,    // a string under GLib 2.74, none from 2.77.3 on
};

/// Decodes |key| into |value| and returns how both GLib rules read it.
KeyReading read_found_key(const FoundKey& key, KeyFileString* value);

#endif  // BRINDLEWAY_LIGHTDM_KEYFILE_FIND_H_
