#ifndef BRINDLEWAY_GROUP_GROUP_FILES_H_
#define BRINDLEWAY_GROUP_GROUP_FILES_H_

#include <cstddef>

#include "common/words.h"

/// The group file and the shadow group file that groupadd, usermod, gpasswd and groupdel edit.
inline constexpr const char GROUP_FILE_PATH[] = "/etc/group";
inline constexpr const char GSHADOW_FILE_PATH[] = "/etc/gshadow";

/// The largest group database file read, in MiB. Lines may have any length; a larger file
/// is refused, and the refusal names this bound.
inline constexpr int GROUP_FILE_MAX_MIB = 16;
inline constexpr std::size_t GROUP_FILE_MAX = static_cast<std::size_t>(GROUP_FILE_MAX_MIB) << 20;

/// The most bytes of a group line that a message shows; a longer one ends in "...".
inline constexpr std::size_t SHOWN_GROUP_LINE_MAX = 400;

/// Room for a line written by show_group_line: every byte may take four when quoted.
inline constexpr std::size_t SHOWN_GROUP_LINE_SIZE = SHOWN_GROUP_LINE_MAX * 4 + 16;

/// The first line of one group in one file, as the account tools find it. It owns its text.
struct GroupLine {
  bool present = false;
  char* text = nullptr;  // without its newline, NUL-terminated; null when absent

  GroupLine() = default;
  GroupLine(GroupLine&& other) noexcept : present(other.present), text(other.text) {
    other.present = false;
    other.text = nullptr;
  }
  GroupLine(const GroupLine&) = delete;
  GroupLine& operator=(const GroupLine&) = delete;
  GroupLine& operator=(GroupLine&&) = delete;
  ~GroupLine() { clear(); }
  /// Forgets the line: absent, no text.
  void clear();
};

/// The autologin group as the two files hold it.
struct GroupFiles {
  GroupLine group;    // in GROUP_FILE_PATH
  GroupLine gshadow;  // in GSHADOW_FILE_PATH
};

/// Why a group file could not be read.
enum class GroupReadFailure {
  kNone,
  kSystem,      // a system call failed: errno says why
  kNotRegular,  // not a regular file
  kTooLarge,    // larger than GROUP_FILE_MAX
  kNulByte,     // the group's line holds a NUL byte, which no tool writes
};

/// Reads |fd|, an open group or shadow group file, whole and fills |line| with its first line
/// that names the group |name|, or with present = false when none does. Returns kNone, or why
/// not (errno set for kSystem).
GroupReadFailure find_group_line(int fd, const char* name, GroupLine* line);

/// Returns 0 after reading the autologin group from both files into |files|, or 1 after writing
/// into |why| (|size| bytes), in the reader's language, which file could not be read and why
/// ("cannot read /etc/group: ..."), and its row into |*reason| unless |reason| is null. Each is
/// opened without following a link and without blocking, and must be a regular file.
int read_group_files(GroupFiles* files, char* why, std::size_t size, WordId* reason = nullptr);

/// Makes |to| a copy of |from|. Returns 0, or 1 when there is no memory for it.
int copy_group_files(const GroupFiles& from, GroupFiles* to);

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

/// Writes |line| into |buf| (|size| bytes, SHOWN_GROUP_LINE_SIZE will do) for a message: quoted
/// so that no byte can forge output, cut after SHOWN_GROUP_LINE_MAX bytes, or "no line" when
/// it is absent.
void show_group_line(const GroupLine& line, char* buf, std::size_t size);

#endif  // BRINDLEWAY_GROUP_GROUP_FILES_H_
