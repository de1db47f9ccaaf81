#ifndef BRINDLEWAY_GATES_USER_PROBE_H_
#define BRINDLEWAY_GATES_USER_PROBE_H_

#include <climits>
#include <cstddef>

/// The most bytes of ~/.dmrc passed back; a file of this size or more is "cannot tell".
inline constexpr std::size_t DMRC_MAX = 16384;

/// What the user's own home says, read as the user.
enum class HomeState {
  /// Exists, is a directory, the user can enter and write it, and an existing ~/.Xauthority is
  /// a regular file the user can write.
  kUsable,
  /// Does not exist (ENOENT).
  kMissing,
  kNotDirectory,
  /// The user cannot search (x) it, or a directory on the way to it.
  kNotEnterable,
  /// The user cannot create files in it.
  kNotWritable,
  kXauthorityNotWritable,
  /// Any other failure (errno in home_error).
  kCannotTell,
};

/// How the user's ~/.dmrc read.
enum class DmrcState {
  kRead,
  /// It cannot be loaded (absent, not readable by the user, not a regular file...): LightDM
  /// then reads its cache file instead. The errno is in dmrc_error.
  kAbsent,
  kTooLarge,
  /// A failure of the probe itself rather than of the file (errno in dmrc_error).
  kCannotTell,
  /// A FIFO, which LightDM opens without O_NONBLOCK and would wait on for a writer for ever.
  kFifo,
};

/// What one look at a user's account, as that user, found.
struct UserProbe {
  /// False: the child could not be run, or did not answer in time.
  bool done;
  /// When !done: why (e.g. "it did not answer within 30 seconds").
  char why[160];
  HomeState home;
  /// The errno for HomeState::kCannotTell.
  int home_error;
  /// pw_dir as the child's lookup found it.
  char home_path[PATH_MAX];
  /// How ~/.dmrc read. (The bytes are |dmrc|: one name cannot be both.)
  DmrcState dmrc_state;
  int dmrc_error;
  std::size_t dmrc_len;
  /// The raw bytes of ~/.dmrc when kRead, not parsed.
  char dmrc[DMRC_MAX];
};

/// Forks one child that looks |user| up itself (getpwnam_r, getgrouplist), drops to the user's
/// gid, supplementary groups and uid (setgroups, setgid, setuid; checked), closes every
/// descriptor but its answer pipe (the run lock's among them), and reads ~/.dmrc and looks at
/// the home as the user; the parent waits at most CHILD_DEADLINE_MS and kills it after. Fills
/// |probe|. Returns 0, or 1 when !probe->done.
int probe_user(const char* user, UserProbe* probe);

#endif  // BRINDLEWAY_GATES_USER_PROBE_H_
