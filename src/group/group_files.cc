#include "group/group_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/constants.h"
#include "common/i18n.h"
#include "common/quote.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"
#include "common/words.h"

// What a run changed in the autologin group is read from the two files the account tools edit,
// never from the name service: getgrnam can hang on a directory service that does not answer,
// or answer with a group no tool here can change. A tool's exit status says nothing sure
// either: one killed at its deadline may have written already. So:
//  1. Each file is opened without following a link and without blocking (a FIFO put in its
//     place cannot hold the run), must be a regular file and at most GROUP_FILE_MAX bytes, and
//     is read whole: a line may be as long as the file (a group of 600 kiosk accounts is a line
//     of several KiB).
//  2. The first line that names the group counts, as it does for the tools.
//  3. Lines are kept as text and compared byte for byte: an exact undo puts back those bytes.

namespace {

/// A file read whole, in memory it owns.
struct WholeFile {
  char* text = nullptr;
  std::size_t len = 0;
  WholeFile() = default;
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;
  ~WholeFile() { std::free(text); }
};

/// Reads |fd| to its end into |file|, at most GROUP_FILE_MAX bytes; |hint| is its size as
/// fstat saw it. The file may grow while it is read: the bound holds for what is read.
GroupReadFailure read_file(int fd, std::size_t hint, WholeFile* file) {
  std::size_t cap = hint + 4096;
  for (;;) {
    if (cap > GROUP_FILE_MAX + 1) cap = GROUP_FILE_MAX + 1;
    char* grown = static_cast<char*>(std::realloc(file->text, cap));
    if (grown == nullptr) {
      errno = ENOMEM;
      return GroupReadFailure::kSystem;
    }
    file->text = grown;
    while (file->len < cap) {
      const ssize_t got = read(fd, file->text + file->len, cap - file->len);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return GroupReadFailure::kSystem;
      if (got == 0) return GroupReadFailure::kNone;
      file->len += static_cast<std::size_t>(got);
    }
    if (file->len > GROUP_FILE_MAX) return GroupReadFailure::kTooLarge;
    cap *= 2;
  }
}

/// Returns the first line of |file| that starts with |name| (|name_len| bytes) and a colon,
/// and its length in |*len|, or null.
const char* first_line_with(const WholeFile& file, const char* name, std::size_t name_len,
                            std::size_t* len) {
  const char* end = file.text + file.len;
  for (const char* p = file.text; p < end;) {
    const auto left = static_cast<std::size_t>(end - p);
    const char* newline = static_cast<const char*>(std::memchr(p, '\n', left));
    const char* stop = newline != nullptr ? newline : end;
    const auto n = static_cast<std::size_t>(stop - p);
    if (n > name_len && std::memcmp(p, name, name_len) == 0 && p[name_len] == ':') {
      *len = n;
      return p;
    }
    p = stop + 1;
  }
  return nullptr;
}

/// Returns the members field of |line| (the fourth), or null when it has fewer fields.
const char* members_of(const GroupLine& line) {
  const char* p = line.text;
  for (int colons = 0; colons < 3; ++colons) {
    p = std::strchr(p, ':');
    if (p == nullptr) return nullptr;
    ++p;
  }
  return p;
}

/// Returns true if the comma-separated |list| holds |name| of |len| bytes.
bool list_holds(const char* list, const char* name, std::size_t len) {
  if (list == nullptr || len == 0) return false;
  for (const char* p = list;;) {
    const char* end = std::strchr(p, ',');
    const std::size_t n = end != nullptr ? static_cast<std::size_t>(end - p) : std::strlen(p);
    if (n == len && std::memcmp(p, name, len) == 0) return true;
    if (end == nullptr) return false;
    p = end + 1;
  }
}

/// Returns true if every member of |a| is in |b|.
bool members_within(const char* a, const char* b) {
  if (a == nullptr) return true;
  for (const char* p = a;;) {
    const char* end = std::strchr(p, ',');
    const std::size_t n = end != nullptr ? static_cast<std::size_t>(end - p) : std::strlen(p);
    if (n > 0 && !list_holds(b, p, n)) return false;
    if (end == nullptr) return true;
    p = end + 1;
  }
}

GroupReadFailure read_one(const char* path, GroupLine* line) {
  int fd = -1;
  for (int tries = 0; fd < 0; ++tries) {
    fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0 && (errno != EINTR || tries == INTERRUPTED_TRIES)) return GroupReadFailure::kSystem;
  }
  UniqueFd file(fd);
  return find_group_line(file.get(), AUTOLOGIN_GROUP, line);
}

/// Writes why |path| could not be read into |why|, and returns its row.
WordId describe_failure(const char* path, GroupReadFailure failure, int error, char* why,
                        std::size_t size) {
  switch (failure) {
    case GroupReadFailure::kNone:
    case GroupReadFailure::kSystem:
      break;
    case GroupReadFailure::kNotRegular:
      return format_reason(why, size, "group-file-unusable", path);
    case GroupReadFailure::kTooLarge:
      return format_reason(why, size, "group-file-too-large", path, GROUP_FILE_MAX_MIB);
    case GroupReadFailure::kNulByte:
      return format_reason(why, size, "group-line-holds-nul", path, AUTOLOGIN_GROUP);
  }
  return format_reason(why, size, "group-file-unreadable", path, std::strerror(error));
}

/// Makes |to| a copy of |from|. Returns 0, or 1 when there is no memory for it.
int copy_line(const GroupLine& from, GroupLine* to) {
  to->clear();
  if (!from.present) return 0;
  to->text = strdup(from.text);
  to->present = to->text != nullptr;
  return to->present ? 0 : 1;
}

}  // namespace

void GroupLine::clear() {
  std::free(text);
  text = nullptr;
  present = false;
}

GroupReadFailure find_group_line(int fd, const char* name, GroupLine* line) {
  line->clear();
  struct stat st {};
  if (fstat(fd, &st) != 0) return GroupReadFailure::kSystem;
  if (!S_ISREG(st.st_mode)) return GroupReadFailure::kNotRegular;
  if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > GROUP_FILE_MAX) {
    return GroupReadFailure::kTooLarge;
  }
  WholeFile file;
  const GroupReadFailure failure = read_file(fd, static_cast<std::size_t>(st.st_size), &file);
  if (failure != GroupReadFailure::kNone) return failure;
  std::size_t len = 0;
  const char* found = first_line_with(file, name, std::strlen(name), &len);
  if (found == nullptr) return GroupReadFailure::kNone;
  if (std::memchr(found, '\0', len) != nullptr) return GroupReadFailure::kNulByte;
  line->text = strndup(found, len);
  if (line->text == nullptr) {
    errno = ENOMEM;
    return GroupReadFailure::kSystem;
  }
  line->present = true;
  return GroupReadFailure::kNone;
}

int read_group_files(GroupFiles* files, char* why, std::size_t size, WordId* reason) {
  GroupReadFailure failure = read_one(GROUP_FILE_PATH, &files->group);
  const char* path = GROUP_FILE_PATH;
  if (failure == GroupReadFailure::kNone) {
    failure = read_one(GSHADOW_FILE_PATH, &files->gshadow);
    path = GSHADOW_FILE_PATH;
  }
  if (failure == GroupReadFailure::kNone) return 0;
  const WordId row = describe_failure(path, failure, errno, why, size);
  if (reason != nullptr) *reason = row;
  return 1;
}

int copy_group_files(const GroupFiles& from, GroupFiles* to) {
  return copy_line(from.group, &to->group) != 0 || copy_line(from.gshadow, &to->gshadow) != 0
             ? 1
             : 0;
}

bool line_lists(const GroupLine& line, const char* user) {
  return line.present && list_holds(members_of(line), user, std::strlen(user));
}

bool group_files_agree(const GroupFiles& files) {
  if (files.group.present != files.gshadow.present) return false;
  if (!files.group.present) return true;
  const char* group_members = members_of(files.group);
  const char* gshadow_members = members_of(files.gshadow);
  return members_within(group_members, gshadow_members) &&
         members_within(gshadow_members, group_members);
}

bool files_list(const GroupFiles& files, const char* user) {
  return line_lists(files.group, user) || line_lists(files.gshadow, user);
}

bool same_group_lines(const GroupFiles& a, const GroupFiles& b) {
  const auto same = [](const GroupLine& x, const GroupLine& y) {
    return x.present == y.present && (!x.present || std::strcmp(x.text, y.text) == 0);
  };
  return same(a.group, b.group) && same(a.gshadow, b.gshadow);
}

void show_group_line(const GroupLine& line, char* buf, std::size_t size) {
  if (!line.present) {
    // TRANSLATORS: what a file has for a group it does not list, in "FILE has no line".
    std::snprintf(buf, size, "%s", _("no line"));
    return;
  }
  char head[SHOWN_GROUP_LINE_MAX + 1];
  const std::size_t len = strnlen(line.text, SHOWN_GROUP_LINE_MAX);
  std::memcpy(head, line.text, len);
  head[len] = '\0';
  char quoted[SHOWN_GROUP_LINE_SIZE];
  quote_name(head, quoted, sizeof quoted);
  std::snprintf(buf, size, "'%s%s'", quoted, line.text[len] != '\0' ? "..." : "");
}
