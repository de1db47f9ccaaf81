#include "cli/cgroup_escape.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "common/read_whole.h"
#include "common/span.h"
#include "common/unique_fd.h"

// pkexec leaves the helper in its caller's cgroup, and on a systemd desktop that cgroup is the
// user's own, delegated to the user. From there a caller could stop the run while it holds the
// run lock (cgroup.freeze: no deadline applies to a frozen process), kill it half-way through
// a change (cgroup.kill), or make its tools fail (pids.max, memory.max) or crawl (cpu.max).
// So, before it takes the lock, the helper moves itself into the top cgroup of the v2
// hierarchy:
//  1. Only the cgroup2 hierarchy is touched. On a hybrid machine its top is mounted at
//     /sys/fs/cgroup/unified beside the v1 controllers, which no user is delegated and which
//     stay as they are.
//  2. The hierarchy is found in /proc/self/mountinfo, read through a fixed buffer. Only a mount
//     of the top ("/") counts: a mount of a subtree would move the helper into that subtree,
//     which may be the caller's. Every such mount of this cgroup namespace shows the same top,
//     so the first one that opens as the mount mountinfo named is taken; mountinfo lists
//     mounts in the order they were made, and the first is the one the system made at boot.
//  3. The directory must be that very mount (its device is the one mountinfo names), so that a
//     mount over it cannot redirect the write, and cgroup.procs is opened relative to it
//     without following a link.
//  4. Where the move cannot be made the run goes on silently: the move is a protection, not a
//     condition. A caller then keeps what it had before: it can stop or limit the run, but
//     every step that holds the lock still has its own deadline once the run is let go.

namespace {

/// Cuts the next blank-separated field off |*rest| (|*rest_len| bytes). Returns false when none
/// is left.
bool next_field(const char** rest, std::size_t* rest_len, Span* field) {
  if (*rest == nullptr) return false;
  const void* blank = std::memchr(*rest, ' ', *rest_len);
  field->data = *rest;
  if (blank == nullptr) {
    field->len = *rest_len;
    *rest = nullptr;
    *rest_len = 0;
  } else {
    field->len = static_cast<std::size_t>(static_cast<const char*>(blank) - *rest);
    *rest += field->len + 1;
    *rest_len -= field->len + 1;
  }
  return true;
}

/// Reads a decimal number of at most 9 digits that fills |text| whole.
bool parse_number(const char* text, std::size_t len, unsigned* value) {
  if (len == 0 || len > 9) return false;
  unsigned n = 0;
  for (std::size_t i = 0; i < len; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    n = n * 10 + static_cast<unsigned>(text[i] - '0');
  }
  *value = n;
  return true;
}

/// Reads "MAJOR:MINOR".
bool parse_device(Span field, unsigned* major_number, unsigned* minor_number) {
  const void* colon = std::memchr(field.data, ':', field.len);
  if (colon == nullptr) return false;
  const std::size_t head = static_cast<std::size_t>(static_cast<const char*>(colon) - field.data);
  return parse_number(field.data, head, major_number) &&
         parse_number(field.data + head + 1, field.len - head - 1, minor_number);
}

/// Undoes the kernel's escapes in a path of mountinfo: a blank, tab, line feed or backslash is
/// written as a backslash and three octal digits. Returns false for a path that is not
/// absolute, an escape that is not one of those forms, a NUL, or one too long for |out|.
bool unescape_path(Span field, char* out, std::size_t cap) {
  if (field.len == 0 || field.data[0] != '/') return false;
  std::size_t n = 0;
  for (std::size_t i = 0; i < field.len; ++i) {
    unsigned c = static_cast<unsigned char>(field.data[i]);
    if (c == '\\') {
      if (field.len - i < 4) return false;
      c = 0;
      for (std::size_t k = 1; k <= 3; ++k) {
        const char digit = field.data[i + k];
        if (digit < '0' || digit > '7') return false;
        c = c * 8 + static_cast<unsigned>(digit - '0');
      }
      if (c == 0 || c > 0xff) return false;
      i += 3;
    }
    if (n + 1 >= cap) return false;
    out[n++] = static_cast<char>(c);
  }
  out[n] = '\0';
  return true;
}

/// Fills the rest of |reader|'s buffer. Returns 0 (eof set at the end), or -1 (errno set).
int fill(MountinfoReader* reader) {
  for (int tries = 0;; ++tries) {
    const ssize_t n = read(reader->fd, reader->buf + reader->end,
                           sizeof reader->buf - reader->end);
    if (n < 0 && errno == EINTR && tries < INTERRUPTED_TRIES) continue;
    if (n < 0) return -1;
    if (n == 0) reader->eof = true;
    reader->end += static_cast<std::size_t>(n);
    return 0;
  }
}

/// Moves into the top cgroup mounted as |top|. Returns 0, or 1 with errno set.
int join_top(const Cgroup2Top& top) {
  UniqueFd dir(open(top.dir, O_PATH | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
  struct stat st {};
  if (dir.get() < 0 || fstat(dir.get(), &st) != 0) return 1;
  if (major(st.st_dev) != top.major || minor(st.st_dev) != top.minor) {
    errno = EXDEV;
    return 1;
  }
  UniqueFd procs(openat(dir.get(), "cgroup.procs", O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
  if (procs.get() < 0) return 1;
  // "0" names the writer: the whole process moves, and every child it starts from now on is
  // born in the top cgroup.
  for (int tries = 0;; ++tries) {
    if (write(procs.get(), "0", 1) == 1) return 0;
    if (errno != EINTR || tries == INTERRUPTED_TRIES) return 1;
  }
}

}  // namespace

void mountinfo_reader_init(MountinfoReader* reader, int fd) {
  reader->fd = fd;
  reader->start = 0;
  reader->end = 0;
  reader->eof = false;
  reader->skipping = false;
}

bool parse_cgroup2_top(const char* line, std::size_t len, Cgroup2Top* top) {
  // "ID PARENT MAJOR:MINOR ROOT MOUNT-POINT OPTIONS [OPTIONAL...] - FSTYPE SOURCE SUPER-OPTIONS"
  // Blanks inside a field are escaped, so the first " - " is the separator. The file type is
  // looked at first: most lines are passed over with a search or two.
  std::size_t at = 1;
  for (;;) {
    const void* dash = at < len ? std::memchr(line + at, '-', len - at) : nullptr;
    if (dash == nullptr) return false;
    at = static_cast<std::size_t>(static_cast<const char*>(dash) - line);
    if (at + 1 < len && line[at - 1] == ' ' && line[at + 1] == ' ') break;
    ++at;
  }
  const char* rest = line + at + 2;
  std::size_t rest_len = len - at - 2;
  Span fstype{};
  if (!next_field(&rest, &rest_len, &fstype) || !span_equals(fstype, "cgroup2")) return false;
  rest = line;
  rest_len = at - 1;
  Span id{}, parent{}, device{}, root{}, mount_point{};
  return next_field(&rest, &rest_len, &id) && next_field(&rest, &rest_len, &parent) &&
         next_field(&rest, &rest_len, &device) && next_field(&rest, &rest_len, &root) &&
         next_field(&rest, &rest_len, &mount_point) && rest != nullptr &&
         span_equals(root, "/") && parse_device(device, &top->major, &top->minor) &&
         unescape_path(mount_point, top->dir, sizeof top->dir);
}

int next_cgroup2_top(MountinfoReader* reader, Cgroup2Top* top) {
  for (;;) {
    char* const begin = reader->buf + reader->start;
    const std::size_t held = reader->end - reader->start;
    const void* feed = std::memchr(begin, '\n', held);
    if (feed != nullptr) {
      const std::size_t len = static_cast<std::size_t>(static_cast<const char*>(feed) - begin);
      const bool skipped = reader->skipping;
      reader->skipping = false;
      reader->start += len + 1;
      if (!skipped && parse_cgroup2_top(begin, len, top)) return 1;
      continue;
    }
    if (reader->eof) {
      // A last line without its line feed.
      reader->start = reader->end;
      return !reader->skipping && held > 0 && parse_cgroup2_top(begin, held, top) ? 1 : 0;
    }
    if (reader->skipping || held == sizeof reader->buf) {
      reader->skipping = true;  // the part held belongs to a line too long to look at
      reader->start = reader->end = 0;
    } else if (reader->start > 0) {
      std::memmove(reader->buf, begin, held);
      reader->start = 0;
      reader->end = held;
    }
    if (fill(reader) != 0) return -1;
  }
}

int leave_caller_cgroup() {
  UniqueFd info(open_to_read("/proc/self/mountinfo"));
  if (info.get() < 0) return 1;
  static MountinfoReader reader;
  mountinfo_reader_init(&reader, info.get());
  static Cgroup2Top top;
  while (next_cgroup2_top(&reader, &top) == 1) {
    if (join_top(top) == 0) return 0;
  }
  return 1;
}
