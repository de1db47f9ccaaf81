#include "lightdm/drop_in_names.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/read_whole.h"

// LightDM reads each drop-in directory once (g_dir_read_name), keeps the names that end in
// ".conf" and sorts them with strcmp. The helper does the same in one pass, so that the cost
// stays in step with the number of files: rewinding the directory for each name cost the
// square of it. A readdir() that fails ends GLib's listing silently; here it is an error, since
// a drop-in left out could be the one that decides.

namespace {

bool has_conf_suffix(const char* name, std::size_t len) {
  return len >= 5 && std::memcmp(name + len - 5, ".conf", 5) == 0;
}

/// Returns the next entry of |dir|, or null at the end (errno 0) or on failure (errno set).
const dirent* next_entry(DIR* dir) {
  for (int tries = 0;; ++tries) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry != nullptr || errno != EINTR || tries == INTERRUPTED_TRIES) return entry;
  }
}

}  // namespace

ListOutcome list_drop_in_names(DIR* dir, DropInNames* names) {
  names->count = 0;
  std::size_t used = 0;
  for (;;) {
    const dirent* entry = next_entry(dir);
    if (entry == nullptr) {
      if (errno != 0) return ListOutcome::kFailed;
      break;
    }
    const std::size_t len = std::strlen(entry->d_name);
    if (!has_conf_suffix(entry->d_name, len)) continue;
    if (names->count == DROP_IN_NAMES_MAX || len + 1 > DROP_IN_ARENA_SIZE - used) {
      return ListOutcome::kTooMany;
    }
    std::memcpy(names->arena + used, entry->d_name, len + 1);
    names->offsets[names->count++] = static_cast<std::uint32_t>(used);
    used += len + 1;
  }
  const char* arena = names->arena;
  const auto before = [arena](std::uint32_t a, std::uint32_t b) {
    return std::strcmp(arena + a, arena + b) < 0;
  };
  // A heap sort: n log n whatever the order, and no call into libc beyond strcmp.
  std::make_heap(names->offsets, names->offsets + names->count, before);
  std::sort_heap(names->offsets, names->offsets + names->count, before);
  return ListOutcome::kListed;
}
