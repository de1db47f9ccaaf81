#ifndef BRINDLEWAY_LIGHTDM_SETTING_ORIGIN_H_
#define BRINDLEWAY_LIGHTDM_SETTING_ORIGIN_H_

#include <climits>
#include <cstddef>

#include "common/quote.h"
#include "lightdm/keyfile_value.h"
#include "lightdm/seat_model.h"

/// Where a setting comes from, its parts as read; a description quotes the path and section.
struct SettingOrigin {
  const char* key;      // the key, as the sentence names it
  const char* value;    // quoted already; nullptr where the sentence names no value
  const char* path;     // the file
  const char* section;  // without brackets, or a sysconfig variable; nullptr: not named
  bool sysconfig;       // |section| is the sysconfig variable that stands for |key|
  unsigned line;
};

/// The ways a sentence names where a setting comes from, each kept as people already read it.
enum class OriginWords {
  kFrom,  // "KEY=VALUE from FILE [SECTION] line N": status's lines, parsed; never translated
  kSets,  // "FILE sets KEY=VALUE in [SECTION] (line N)": a refusal that names the value
  kIn,    // "KEY in FILE [SECTION] line N": before a reason about the value
};

/// The most bytes describe_origin writes, the terminator counted.
inline constexpr std::size_t SETTING_ORIGIN_SIZE = quoted_size(KEYFILE_VALUE_MAX) +
                                                   quoted_size(PATH_MAX) +
                                                   quoted_size(SEAT_GROUP_NAME_MAX) + 128;

/// Writes where |origin| comes from, in |words|, into |buf| (|size| bytes), cut with "..." if
/// it must be.
void describe_origin(const SettingOrigin& origin, OriginWords words, char* buf,
                     std::size_t size);

/// Returns the origin of |setting| under |key|, its value quoted into |value| (|size| bytes,
/// quoted_size(KEYFILE_VALUE_MAX) holds any).
SettingOrigin seat_setting_origin(const SeatSetting& setting, const char* key, char* value,
                                  std::size_t size);

#endif  // BRINDLEWAY_LIGHTDM_SETTING_ORIGIN_H_
