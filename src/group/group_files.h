#ifndef BRINDLEWAY_GROUP_GROUP_FILES_H_
#define BRINDLEWAY_GROUP_GROUP_FILES_H_

#include <cstddef>

/// The group file and the shadow group file that groupadd, usermod, gpasswd and groupdel edit.
inline constexpr const char GROUP_FILE_PATH[] = "/etc/group";
inline constexpr const char GSHADOW_FILE_PATH[] = "/etc/gshadow";

/// The largest group database file read; a larger one cannot be read.
inline constexpr long long GROUP_FILE_MAX = 16LL * 1024 * 1024;

/// Capacity of one kept line, terminator included; a longer line of the group cannot be read.
inline constexpr std::size_t GROUP_LINE_MAX = 4096;

/// The first line of one group in one file, as the account tools find it.
struct GroupLine {
  bool present;
  char text[GROUP_LINE_MAX];  // without its newline
};

/// The autologin group as the two files hold it.
struct GroupFiles {
  GroupLine group;    // in GROUP_FILE_PATH
  GroupLine gshadow;  // in GSHADOW_FILE_PATH
};

/// Returns 0 after filling |line| with the first line of |fd|, an open group or shadow group
/// file, that names the group |name|, or with present = false when none does. Returns 1 with
/// errno set when the file cannot be read, is not a regular file (EINVAL), is larger than
/// GROUP_FILE_MAX (EFBIG), or when that line is too long or holds a NUL (EINVAL).
int find_group_line(int fd, const char* name, GroupLine* line);

/// Returns 0 after reading the autologin group from both files into |files|, or 1 with errno
/// set and |*failed| naming the file that could not be read. Each is opened without following
/// a link and without blocking, and must be a regular file.
int read_group_files(GroupFiles* files, const char** failed);

/// Returns true if |user| is listed among the members of |line| (its fourth field), which is
/// the same in both files. A user whose primary group this is but who is not listed does not
/// count.
bool line_lists(const GroupLine& line, const char* user);

/// Returns true if the two files agree on the group: both have its line or neither has, and
/// both list the same members, in any order.
bool group_files_agree(const GroupFiles& files);

/// Returns true if |user| is listed in either file.
bool files_list(const GroupFiles& files, const char* user);

/// Returns true if both files hold exactly the lines of |other|, byte for byte.
bool same_group_lines(const GroupFiles& a, const GroupFiles& b);

/// Writes |line| into |buf| (|size| bytes) for a message: quoted so that no byte can forge
/// output, or "no line" when it is absent.
void show_group_line(const GroupLine& line, char* buf, std::size_t size);

#endif  // BRINDLEWAY_GROUP_GROUP_FILES_H_
