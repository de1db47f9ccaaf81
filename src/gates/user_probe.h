#ifndef BRINDLEWAY_GATES_USER_PROBE_H_
#define BRINDLEWAY_GATES_USER_PROBE_H_

#include <climits>
#include <cstddef>

/// The most bytes of ~/.dmrc passed back; a file of this size or more is "cannot tell".
inline constexpr std::size_t DMRC_MAX = 16384;

/// What the user's own home says, read as the user.
enum class HomeState {
  /// Exists, is a directory, and the user can enter it.
  kEnterable,
  /// Nothing at all is at its path (ENOENT, and no link to nothing on the way).
  kMissing,
  /// It, or a directory on the way to it, is a symbolic link to nothing.
  kDanglingLink,
  kNotDirectory,
  /// The user cannot search (x) it, or a directory on the way to it.
  kNotEnterable,
  /// Any other failure (errno in home_error).
  kCannotTell,
};

/// What LightDM's open of ~/.Xauthority (O_WRONLY|O_CREAT, through a link) would meet.
enum class XauthState {
  /// A regular file the user may open for writing.
  kWritable,
  /// Absent, or a link to nothing: the user may create it where it would be created.
  kCreatable,
  /// A FIFO (LightDM reads the file first, and would wait on it for ever), a directory...
  kNotRegular,
  /// It exists, or cannot be reached, and the user may not open it for writing.
  kNotWritable,
  /// The user may not create it at xauth_path.
  kNotCreatable,
  /// Any other failure (errno in xauth_error).
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
  /// Only when home is kEnterable.
  XauthState xauth;
  int xauth_error;
  /// Where LightDM would create ~/.Xauthority (the last link's target, for a link to nothing).
  char xauth_path[PATH_MAX];
  /// How ~/.dmrc read. (The bytes are |dmrc|: one name cannot be both.)
  DmrcState dmrc_state;
  int dmrc_error;
  std::size_t dmrc_len;
  /// The raw bytes of ~/.dmrc when kRead, not parsed.
  char dmrc[DMRC_MAX];
};

/// Forks one child that looks |user| up itself (getpwnam_r, getgrouplist), reads ~/.dmrc with
/// LightDM's credentials (no supplementary groups, the user's gid and uid), then drops to the
/// user's gid, supplementary groups and uid (setgroups, setgid, setuid; checked), closes every
/// descriptor but its answer pipe (the run lock's among them), and looks at the home as the
/// user; the parent waits at most CHILD_DEADLINE_MS and kills it after. Fills
/// |probe|. Returns 0, or 1 when !probe->done.
int probe_user(const char* user, UserProbe* probe);

#endif  // BRINDLEWAY_GATES_USER_PROBE_H_
