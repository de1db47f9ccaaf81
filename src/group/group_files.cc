#include "group/group_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/constants.h"
#include "common/i18n.h"
#include "common/quote.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"

// What a run changed in the autologin group is read from the two files the account tools edit,
// never from the name service: getgrnam can hang on a directory service that does not answer,
// or answer with a group no tool here can change. A tool's exit status says nothing sure
// either: one killed at its deadline may have written already. So:
//  1. Each file is opened without following a link and without blocking (a FIFO put in its
//     place cannot hold the run), must be a regular file and at most GROUP_FILE_MAX bytes.
//  2. The first line that names the group counts, as it does for the tools.
//  3. Lines are kept as text and compared byte for byte: an exact undo puts back those bytes.

namespace {

/// Scans a file for the first line that starts with a prefix, a chunk at a time.
struct LineScan {
  GroupLine* line;
  const char* prefix;
  std::size_t prefix_len;
  std::size_t column = 0;     // bytes of the current line seen so far
  bool matching = true;       // the current line still starts like |prefix|
  bool capturing = false;     // the current line is the group's, kept in |line|
  bool done = false;
  bool bad = false;           // the group's line is too long or holds a NUL
};

void end_line(LineScan* scan) {
  if (scan->capturing) {
    scan->line->text[scan->column] = '\0';
    scan->line->present = true;
    scan->done = true;
  }
  scan->column = 0;
  scan->matching = true;
  scan->capturing = false;
}

void take_byte(LineScan* scan, char c) {
  if (c == '\n') {
    end_line(scan);
    return;
  }
  if (scan->matching && scan->column < scan->prefix_len) {
    scan->matching = c == scan->prefix[scan->column];
    scan->capturing = scan->matching && scan->column + 1 == scan->prefix_len;
    if (scan->capturing) std::memcpy(scan->line->text, scan->prefix, scan->prefix_len);
  } else if (scan->capturing) {
    if (c == '\0' || scan->column + 1 >= GROUP_LINE_MAX) {
      scan->bad = true;
      return;
    }
    scan->line->text[scan->column] = c;
  }
  ++scan->column;
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

int read_one(const char* path, GroupLine* line) {
  int fd = -1;
  for (int tries = 0; fd < 0; ++tries) {
    fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0 && (errno != EINTR || tries == INTERRUPTED_TRIES)) return 1;
  }
  UniqueFd file(fd);
  return find_group_line(file.get(), AUTOLOGIN_GROUP, line);
}

}  // namespace

int find_group_line(int fd, const char* name, GroupLine* line) {
  line->present = false;
  line->text[0] = '\0';
  struct stat st {};
  if (fstat(fd, &st) != 0) return 1;
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return 1;
  }
  if (st.st_size > GROUP_FILE_MAX) {
    errno = EFBIG;
    return 1;
  }
  char prefix[GROUP_LINE_MAX];
  const int n = std::snprintf(prefix, sizeof prefix, "%s:", name);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof prefix) {
    errno = EINVAL;
    return 1;
  }
  LineScan scan{line, prefix, static_cast<std::size_t>(n)};
  static char chunk[16384];
  long long total = 0;
  while (!scan.done && !scan.bad) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return 1;
    if (got == 0) break;
    total += got;
    // The file may grow while it is read; the bound holds for what is read too.
    if (total > GROUP_FILE_MAX) {
      errno = EFBIG;
      return 1;
    }
    for (ssize_t i = 0; i < got && !scan.done && !scan.bad; ++i) take_byte(&scan, chunk[i]);
  }
  if (!scan.done && !scan.bad) end_line(&scan);  // a last line without its newline
  if (scan.bad) {
    line->present = false;
    errno = EINVAL;
    return 1;
  }
  return 0;
}

int read_group_files(GroupFiles* files, const char** failed) {
  *failed = GROUP_FILE_PATH;
  if (read_one(GROUP_FILE_PATH, &files->group) != 0) return 1;
  *failed = GSHADOW_FILE_PATH;
  return read_one(GSHADOW_FILE_PATH, &files->gshadow);
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
  char quoted[GROUP_LINE_MAX];
  quote_name(line.text, quoted, sizeof quoted);
  std::snprintf(buf, size, "'%s'", quoted);
}
