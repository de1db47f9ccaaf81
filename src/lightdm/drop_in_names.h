#ifndef BRINDLEWAY_LIGHTDM_DROP_IN_NAMES_H_
#define BRINDLEWAY_LIGHTDM_DROP_IN_NAMES_H_

#include <cstddef>
#include <cstdint>

#include <dirent.h>

/// The most drop-in names one directory may hold, and the bytes they may take together, NULs
/// included. A real system has a handful; a directory past either is not judged. Kept small
/// enough that the program still loads under a caller's 4 MiB address-space limit, which only
/// the process front door can lift, once the program has loaded.
inline constexpr std::size_t DROP_IN_NAMES_MAX = 8192;
inline constexpr std::size_t DROP_IN_ARENA_SIZE = DROP_IN_NAMES_MAX * 32;

/// The names in one directory that end in ".conf", in strcmp order, as LightDM loads them.
/// Fixed in size: listing a directory allocates nothing.
struct DropInNames {
  char arena[DROP_IN_ARENA_SIZE];
  std::uint32_t offsets[DROP_IN_NAMES_MAX];  // where each name starts in |arena|
  std::size_t count;
};

/// How a listing ended.
enum class ListOutcome { kListed, kFailed, kTooMany };

/// Reads |dir| once, to its end, into |names| and sorts them. Returns kListed, kFailed with
/// errno set when the directory could not be read to its end (EINTR is retried a few times), or
/// kTooMany when the names do not fit.
ListOutcome list_drop_in_names(DIR* dir, DropInNames* names);

/// Returns the |i|th name of |names|.
inline const char* drop_in_name(const DropInNames& names, std::size_t i) {
  return names.arena + names.offsets[i];
}

#endif  // BRINDLEWAY_LIGHTDM_DROP_IN_NAMES_H_
