#include "gates/member_view.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <cstdlib>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "common/constants.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"
#include "group/group_files.h"

// A dry run of enable asks PAM as the real run would after its group step, which a stack that
// lets in only members of autologin needs. The real files must not change, so the PAM child sees
// copies instead:
//  1. The child gets a mount namespace of its own, made private first: on a machine where "/"
//     is a shared mount, a mount made in the new namespace would otherwise reach everyone's.
//  2. The copies live on a tmpfs that is never attached anywhere but at the two paths it
//     stands over; nothing is written under /etc or anywhere else that outlives the child.
//  3. nscd's socket is hidden behind an empty directory, so that glibc reads the files rather
//     than a cache that does not list the user.
// What a directory service says about the group is not changed: the account tools do not
// change it either.
// Only this child of a dry run mounts anything, so the calls go through syscall(): every run
// binds each libc function it imports at start-up, and a plain run should not pay for these.

namespace {

/// Where glibc asks nscd.
constexpr char kNscdDir[] = "/var/run/nscd";

/// The lowest and highest gid the made-up group line may take: the system range groupadd -r
/// takes from.
constexpr unsigned kSystemGidMin = 100;
constexpr unsigned kSystemGidMax = 999;

int fail_with(char* why, std::size_t size, const char* what, int error) {
  std::snprintf(why, size, "%s: %s", what, std::strerror(error));
  return 1;
}

bool write_all(int fd, const char* data, std::size_t len) {
  while (len > 0) {
    const ssize_t n = write(fd, data, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    len -= static_cast<std::size_t>(n);
  }
  return true;
}

/// Returns where the first line of |text| that names the autologin group starts, or |len|.
std::size_t find_group(const char* text, std::size_t len) {
  const std::size_t name_len = std::strlen(AUTOLOGIN_GROUP);
  std::size_t at = 0;
  while (at < len) {
    if (len - at > name_len && std::memcmp(text + at, AUTOLOGIN_GROUP, name_len) == 0 &&
        text[at + name_len] == ':') {
      return at;
    }
    const void* end = std::memchr(text + at, '\n', len - at);
    if (end == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(end) - text) + 1;
  }
  return len;
}

/// Returns the highest gid of the system range that no line of /etc/group |text| uses.
unsigned free_system_gid(const char* text, std::size_t len) {
  static bool used[kSystemGidMax + 1];
  std::size_t at = 0;
  while (at < len) {
    const char* line = text + at;
    const void* nl = std::memchr(line, '\n', len - at);
    const std::size_t line_len = nl != nullptr ? static_cast<std::size_t>(
                                                     static_cast<const char*>(nl) - line)
                                               : len - at;
    // The third field: name:password:GID:members.
    std::size_t field = 0;
    std::size_t i = 0;
    while (i < line_len && field < 2) field += line[i++] == ':' ? 1U : 0U;
    unsigned gid = 0;
    bool digits = false;
    while (i < line_len && line[i] >= '0' && line[i] <= '9' && gid <= kSystemGidMax) {
      gid = gid * 10 + static_cast<unsigned>(line[i++] - '0');
      digits = true;
    }
    if (digits && gid <= kSystemGidMax) used[gid] = true;
    at += line_len + 1;
  }
  for (unsigned gid = kSystemGidMax; gid >= kSystemGidMin; --gid) {
    if (!used[gid]) return gid;
  }
  return kSystemGidMax;
}

/// Writes into |out| the file |text| with |user| listed in the autologin group, or with the
/// group's line |missing| added at its end where it has none. Returns true if all was written.
bool write_with_member(int out, const char* text, std::size_t len, const char* user,
                       const char* missing) {
  const std::size_t at = find_group(text, len);
  if (at == len) {
    const bool ends_line = len == 0 || text[len - 1] == '\n';
    return write_all(out, text, len) && (ends_line || write_all(out, "\n", 1)) &&
           write_all(out, missing, std::strlen(missing));
  }
  const void* nl = std::memchr(text + at, '\n', len - at);
  const std::size_t end = nl != nullptr ? static_cast<std::size_t>(
                                              static_cast<const char*>(nl) - text)
                                        : len;
  // The members are the last field in both files; an empty one takes the name alone.
  const bool empty = text[end - 1] == ':';
  return write_all(out, text, end) && (empty || write_all(out, ",", 1)) &&
         write_all(out, user, std::strlen(user)) && write_all(out, text + end, len - end);
}

/// Returns a descriptor that a system call returned as a long, or -1.
int as_fd(long result) { return result < 0 ? -1 : static_cast<int>(result); }

/// Makes a detached tmpfs mount for the copies. Returns its descriptor, or -1 with errno set.
int detached_tmpfs() {
  UniqueFd context(as_fd(syscall(SYS_fsopen, "tmpfs", FSOPEN_CLOEXEC)));
  if (context.get() < 0 ||
      syscall(SYS_fsconfig, context.get(), FSCONFIG_SET_STRING, "mode", "0755", 0) != 0 ||
      syscall(SYS_fsconfig, context.get(), FSCONFIG_CMD_CREATE, nullptr, nullptr, 0) != 0) {
    return -1;
  }
  return as_fd(syscall(SYS_fsmount, context.get(), FSMOUNT_CLOEXEC, 0));
}

/// Attaches the detached mount |tree| at |path|. Returns 0, or -1 with errno set.
int attach(int tree, const char* path) {
  return syscall(SYS_move_mount, tree, "", AT_FDCWD, path, MOVE_MOUNT_F_EMPTY_PATH) == 0 ? 0 : -1;
}

/// Puts a copy of the file at |path| that lists |user|, made on the tmpfs |room| under |name|,
/// over |path|, with the original's owner and mode. Returns 0, or 1 with errno set.
int stand_copy_over(int room, const char* path, const char* name, const char* user,
                    bool shadow) {
  UniqueFd original(open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat st {};
  if (original.get() < 0 || fstat(original.get(), &st) != 0) return 1;
  if (!S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > GROUP_FILE_MAX) {
    errno = S_ISREG(st.st_mode) ? EFBIG : EINVAL;
    return 1;
  }
  // The child ends right after PAM has answered, and the memory with it.
  const auto cap = static_cast<std::size_t>(st.st_size) + 1;
  char* text = static_cast<char*>(std::calloc(cap, 1));
  std::size_t len = 0;
  if (text == nullptr || read_whole(original.get(), text, cap, &len) != 0) return 1;
  // The group's line as groupadd -r and usermod -aG would leave it.
  char missing[512];
  if (shadow) {
    std::snprintf(missing, sizeof missing, "%s:!::%s\n", AUTOLOGIN_GROUP, user);
  } else {
    std::snprintf(missing, sizeof missing, "%s:x:%u:%s\n", AUTOLOGIN_GROUP,
                  free_system_gid(text, len), user);
  }
  UniqueFd copy(openat(room, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  bool ok = copy.get() >= 0 && write_with_member(copy.get(), text, len, user, missing) &&
            fchown(copy.get(), st.st_uid, st.st_gid) == 0 &&
            fchmod(copy.get(), st.st_mode & 07777) == 0;
  if (!ok) return 1;
  UniqueFd tree(as_fd(syscall(SYS_open_tree, room, name, OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC)));
  if (tree.get() < 0) return 1;
  return attach(tree.get(), path) == 0 ? 0 : 1;
}

}  // namespace

int view_user_in_autologin_group(const char* user, char* why, std::size_t size) {
  if (syscall(SYS_unshare, CLONE_NEWNS) != 0) return fail_with(why, size, "unshare", errno);
  if (syscall(SYS_mount, nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return fail_with(why, size, "/", errno);
  }
  UniqueFd room(detached_tmpfs());
  if (room.get() < 0) return fail_with(why, size, "tmpfs", errno);
  if (stand_copy_over(room.get(), GROUP_FILE_PATH, "group", user, false) != 0) {
    return fail_with(why, size, GROUP_FILE_PATH, errno);
  }
  if (stand_copy_over(room.get(), GSHADOW_FILE_PATH, "gshadow", user, true) != 0) {
    return fail_with(why, size, GSHADOW_FILE_PATH, errno);
  }
  struct stat st {};
  if (stat(kNscdDir, &st) == 0 && S_ISDIR(st.st_mode)) {
    UniqueFd empty(detached_tmpfs());
    if (empty.get() < 0 || attach(empty.get(), kNscdDir) != 0) {
      return fail_with(why, size, kNscdDir, errno);
    }
  }
  return 0;
}
