#ifndef BRINDLEWAY_GATES_USER_PROBE_H_
#define BRINDLEWAY_GATES_USER_PROBE_H_

#include <climits>
#include <cstddef>

/// The most bytes of ~/.dmrc passed back; a larger file is "cannot tell".
inline constexpr std::size_t DMRC_MAX = 16384;

/// What the user's own home says, read as the user.
enum class HomeState {
  kUsable,
  kMissing,
  kNotDirectory,
  kNotEnterable,
  kNotWritable,
  kXauthorityNotWritable,
  kCannotTell,
};

enum class DmrcState { kRead, kAbsent, kTooLarge, kCannotTell };

struct UserProbe {
  bool done;
  char why[160];
  HomeState home;
  int home_error;
  char home_path[PATH_MAX];
  DmrcState dmrc;
  int dmrc_error;
  std::size_t dmrc_len;
  char dmrc[DMRC_MAX];
};

/// Looks at |user|'s home and ~/.dmrc as the user. Fills |probe|. Returns 0, or 1 when !done.
int probe_user(const char* user, UserProbe* probe);

#endif  // BRINDLEWAY_GATES_USER_PROBE_H_
