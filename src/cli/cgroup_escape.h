#ifndef BRINDLEWAY_CLI_CGROUP_ESCAPE_H_
#define BRINDLEWAY_CLI_CGROUP_ESCAPE_H_

#include <climits>
#include <cstddef>

/// The longest line of /proc/self/mountinfo that is looked at; a longer one (an overlay mount
/// with many layers) is passed over whole.
inline constexpr std::size_t MOUNTINFO_LINE_MAX = 4096;

/// A mount of the cgroup v2 hierarchy's top, as one line of mountinfo shows it.
struct Cgroup2Top {
  char dir[PATH_MAX];  // the mount point, unescaped
  unsigned major;      // the device of the mount, to know the directory opened is this mount
  unsigned minor;
};

/// Reads mountinfo a line at a time through a fixed buffer.
struct MountinfoReader {
  int fd;
  char buf[MOUNTINFO_LINE_MAX];
  std::size_t start;  // the first byte not yet looked at
  std::size_t end;    // one past the last byte read
  bool eof;
  bool skipping;  // inside a line too long for |buf|
};

/// Makes |reader| read mountinfo text from |fd|, which stays the caller's to close.
void mountinfo_reader_init(MountinfoReader* reader, int fd);

/// Parses one mountinfo line of |len| bytes, without its line feed. Returns true, filling
/// |*top|, if it is a cgroup2 mount of the hierarchy's top ("/") at a mount point that
/// unescapes whole into |top->dir|; false for anything else, and for a line not well formed.
bool parse_cgroup2_top(const char* line, std::size_t len, Cgroup2Top* top);

/// Finds the next line of |reader| that parse_cgroup2_top accepts. Returns 1 with |*top|
/// filled, 0 at the end of the text, or -1 when a read failed (errno set).
int next_cgroup2_top(MountinfoReader* reader, Cgroup2Top* top);

/// Moves the whole process into the top cgroup of the cgroup v2 hierarchy that it sees, out of
/// the caller's cgroup, whose freezer, kill switch and limits a caller may hold. The v1
/// controllers are left alone. Returns 0 once moved, or 1 when it could not be (no cgroup2
/// mounted, no right to move, a top that is not the mount mountinfo named); nothing is said
/// then, and the run goes on where it is.
int leave_caller_cgroup();

#endif  // BRINDLEWAY_CLI_CGROUP_ESCAPE_H_
