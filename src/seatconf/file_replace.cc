#include "seatconf/file_replace.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/message_queue.h"
#include "common/unique_fd.h"
#include "common/words.h"
#include "seatconf/file_attributes.h"

// The replacement must never leave LightDM a partial file, never lose someone else's change,
// and never leave litter in /etc:
//  1. Every maskable signal is blocked from before the new file exists until the process
//     exits. No signal can end the run between creation and commit or clean-up, and once the
//     new file is in place the run finishes, directory fsync and exit status 0 included.
//  2. The new text goes to an unnamed file (O_TMPFILE) in the same directory, so that a crash,
//     a SIGKILL or a power cut before the commit leaves nothing behind, and the commit stays
//     on one filesystem. Only where the filesystem has no unnamed files is it a named file
//     from the start, made exclusively with an unpredictable name (mkostemp).
//  3. It is written whole, owned by root:root, given the old file's ACL, labels and other
//     extended attributes (seatconf/file_attributes.cc says which), never more readable than
//     the old file (its mode is the old mode & 0644, set after the ACL so that the ACL's mask
//     follows it), and fsync'ed before it gets a name: otherwise a power cut can leave an
//     empty file under the old name. An attribute that cannot be kept refuses here.
//  4. At the commit the path must still be the file that was read: same device, inode, size,
//     mtime and ctime. Otherwise someone saved the file meanwhile, and replacing it would
//     silently undo their change: refuse instead.
//  5. The new file then gets an unpredictable name beside the old one and the two are
//     exchanged atomically (RENAME_EXCHANGE). What came out must be the file that was read
//     (device, inode, size, mtime: the exchange itself moves its ctime); a save that slipped in
//     between the check and the exchange is exchanged back and the run refuses as in 4. Then
//     the old file's new name is removed. Where the filesystem cannot exchange, a rename
//     follows the check of 4.
//  6. Any failure before the commit removes the new file and leaves the old file as it was.
//     The message comes after that clean-up, so even a failing print cannot keep it from
//     happening; a temporary file that cannot be removed is named.
//  7. The directory is fsync'ed after the commit so the new name survives a power cut. The
//     file is replaced by then, so a failure there is not reported.

namespace {

/// The step of a replacement that failed, or kDone.
enum class Step { kDone, kCreate, kWrite, kAttributes, kCheck, kChanged, kRename };

constexpr mode_t kMostPermissive = 0644;

/// Names tried for the new file at the commit before giving up.
constexpr int kNameTries = 100;

constexpr char kNameChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

void block_all_signals() {
  sigset_t all;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, nullptr);
}

/// Writes all |len| bytes of |data| to |fd|. Returns 0, or 1 with errno set.
int write_all(int fd, const char* data, std::size_t len) {
  while (len > 0) {
    ssize_t n = write(fd, data, len);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 1;
    if (n == 0) {
      errno = EIO;
      return 1;
    }
    data += n;
    len -= static_cast<std::size_t>(n);
  }
  return 0;
}

/// Writes |data| to |fd|, gives it its owner, the attributes of the old file |old_fd| and
/// |mode|, and flushes it to disk. Returns kDone, kAttributes with |attributes| filled, or
/// kWrite with errno set.
Step fill_temp_file(int fd, int old_fd, const char* data, std::size_t len, mode_t mode,
                    AttributeFailure* attributes) {
  if (write_all(fd, data, len) != 0) return Step::kWrite;
  // Root's files belong to root:root whatever group the caller ran under. The owner comes
  // before the attributes: a change of owner may drop some.
  if (geteuid() == 0 && fchown(fd, 0, 0) != 0) return Step::kWrite;
  if (carry_file_attributes(old_fd, fd, attributes) != 0) return Step::kAttributes;
  if (fchmod(fd, mode) != 0) return Step::kWrite;
  return fsync(fd) == 0 ? Step::kDone : Step::kWrite;
}

bool same_time(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

/// What survives a rename: the same file with the same content.
bool same_content(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         same_time(a.st_mtim, b.st_mtim);
}

/// The change time is compared too: it also moves when an edit kept the mtime, or when only
/// the mode or owner changed, which the new file would otherwise undo.
bool same_file(const struct stat& a, const struct stat& b) {
  return same_content(a, b) && same_time(a.st_ctim, b.st_ctim);
}

/// Copies the directory part of |path| into |dir|. Returns false when it does not fit.
bool parent_directory(const char* path, char (&dir)[PATH_MAX]) {
  const char* slash = nullptr;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/') slash = p;
  }
  if (slash == nullptr) {
    dir[0] = '.';
    dir[1] = '\0';
    return true;
  }
  std::size_t len = slash == path ? 1 : static_cast<std::size_t>(slash - path);
  if (len >= sizeof dir) return false;
  std::memcpy(dir, path, len);
  dir[len] = '\0';
  return true;
}

/// Turns the last six bytes of |name| (|len| long) into unpredictable letters and digits.
void randomize_suffix(char* name, std::size_t len) {
  unsigned char bytes[6];
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    // Without the kernel's generator a name that is merely unlikely is the best to be had;
    // linkat refuses an existing name, so it is never a wrong one.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    unsigned long long mix = static_cast<unsigned long long>(now.tv_nsec) * 0x9E3779B97F4A7C15ULL ^
                             static_cast<unsigned long long>(getpid());
    for (unsigned char& byte : bytes) {
      byte = static_cast<unsigned char>(mix);
      mix >>= 8;
    }
  }
  for (std::size_t i = 0; i < sizeof bytes; ++i) {
    name[len - sizeof bytes + i] = kNameChars[bytes[i] % (sizeof kNameChars - 1)];
  }
}

/// Writes the pattern of a temporary name beside |path|, "PATH.tmp.XXXXXX", into |tmp_path|.
/// Returns its length, or 0 with |tmp_path| empty when it does not fit.
std::size_t temp_name_pattern(const char* path, char (&tmp_path)[PATH_MAX]) {
  const int n = std::snprintf(tmp_path, sizeof tmp_path, "%s.tmp.XXXXXX", path);
  if (n >= 0 && static_cast<std::size_t>(n) < sizeof tmp_path) return static_cast<std::size_t>(n);
  tmp_path[0] = '\0';
  return 0;
}

/// Says that the temporary file |tmp_path| is left behind, for |error|.
void report_left_behind(const char* tmp_path, int error) {
  say("temp-file-left", tmp_path, std::strerror(error));
}

/// Creates the new file beside |path|: unnamed where the filesystem allows, else under a
/// fresh name written to |tmp_path|, which stays empty otherwise. Returns its descriptor, or
/// -1 with errno set.
int create_new_file(const char* path, char (&tmp_path)[PATH_MAX]) {
  tmp_path[0] = '\0';
  char dir[PATH_MAX];
  if (!parent_directory(path, dir)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const int fd = open(dir, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  // EOPNOTSUPP: this filesystem has no unnamed files; EISDIR: the kernel has none.
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR)) return fd;
  if (temp_name_pattern(path, tmp_path) == 0) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const int named = mkostemp(tmp_path, O_CLOEXEC);
  if (named < 0) tmp_path[0] = '\0';
  return named;
}

/// Gives the unnamed file |fd| a fresh name beside |path|, written to |tmp_path|. Returns
/// kDone, or kRename with |*error| set and |tmp_path| empty.
Step name_new_file(int fd, const char* path, char (&tmp_path)[PATH_MAX], int* error) {
  char by_proc[32];
  std::snprintf(by_proc, sizeof by_proc, "/proc/self/fd/%d", fd);  // fits: an int is short
  const std::size_t len = temp_name_pattern(path, tmp_path);
  *error = ENAMETOOLONG;
  for (int tries = 0; len > 0 && tries < kNameTries; ++tries) {
    randomize_suffix(tmp_path, len);
    int linked = linkat(fd, "", AT_FDCWD, tmp_path, AT_EMPTY_PATH);
    // Before Linux 6.10 AT_EMPTY_PATH needs CAP_DAC_READ_SEARCH; /proc needs nothing more.
    if (linked != 0 && (errno == ENOENT || errno == EPERM || errno == EINVAL)) {
      linked = linkat(AT_FDCWD, by_proc, AT_FDCWD, tmp_path, AT_SYMLINK_FOLLOW);
    }
    if (linked == 0) return Step::kDone;
    *error = errno;
    if (errno != EEXIST) break;
  }
  tmp_path[0] = '\0';
  return Step::kRename;
}

/// Returns kDone if |path| is still the file |read_as| describes, else kChanged, or kCheck
/// with |*error| set when that cannot be told.
Step check_unchanged(const char* path, const struct stat& read_as, int* error) {
  struct stat now {};
  if (stat(path, &now) != 0) {
    *error = errno;
    return Step::kCheck;
  }
  return same_file(now, read_as) ? Step::kDone : Step::kChanged;
}

/// Puts |staged|'s named new file in place of its path. Returns the step that failed with
/// |*error| set, or kDone. On failure the new file is at staged->tmp_path, to be removed,
/// unless |*kept| says that name now holds someone else's file, which must stay.
Step exchange_into_place(StagedFile* staged, int* error, bool* kept) {
  const char* tmp_path = staged->tmp_path;
  const char* path = staged->path;
  if (renameat2(AT_FDCWD, tmp_path, AT_FDCWD, path, RENAME_EXCHANGE) != 0) {
    // EINVAL: this filesystem cannot exchange; ENOSYS: the kernel cannot. The check before
    // the commit stands for the one after.
    if (errno != EINVAL && errno != ENOSYS) {
      *error = errno;
      return Step::kRename;
    }
    if (rename(tmp_path, path) != 0) {
      *error = errno;
      return Step::kRename;
    }
    return Step::kDone;
  }
  struct stat out {};
  const bool came_out = lstat(tmp_path, &out) == 0;
  if (!came_out) *error = errno;
  if (came_out && same_content(out, staged->read_as)) {
    if (unlink(tmp_path) != 0) {
      // The change is made; the old file under its temporary name is only litter.
      report_left_behind(tmp_path, errno);
    }
    return Step::kDone;
  }
  // Someone saved the file between the check and the exchange: theirs goes back.
  if (renameat2(AT_FDCWD, tmp_path, AT_FDCWD, path, RENAME_EXCHANGE) != 0) {
    *kept = true;
    say("saved-file-not-restored", path, tmp_path, std::strerror(errno));
  }
  return came_out ? Step::kChanged : Step::kCheck;
}

void report_failure(Step failed, int error, const char* path,
                    const AttributeFailure* attributes) {
  switch (failed) {
    case Step::kAttributes:
      if (attributes != nullptr) report_attribute_failure(path, *attributes);
      break;
    case Step::kCreate:
      say("temp-file-not-created", std::strerror(error));
      break;
    case Step::kWrite:
      say("write-failed", std::strerror(error));
      break;
    case Step::kChanged:
      say("conf-changed-meanwhile", path);
      break;
    case Step::kCheck:
    case Step::kRename:
      say("replace-failed", path, std::strerror(error));
      break;
    case Step::kDone:
      break;
  }
}

/// Makes the rename of an entry of |path|'s directory durable. Best effort.
void sync_parent_directory(const char* path) {
  char dir[PATH_MAX];
  if (!parent_directory(path, dir)) return;
  UniqueFd fd(open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) fsync(fd.get());
}

/// Removes the named temporary file |tmp_path| (none when empty), then says what failed
/// (|attributes| for kAttributes), then names a temporary file that could not be removed.
/// Returns 1.
int clean_up_and_report(Step failed, int error, const char* path, const char* tmp_path,
                        const AttributeFailure* attributes = nullptr) {
  int unlink_error = 0;
  if (tmp_path[0] != '\0' && unlink(tmp_path) != 0) unlink_error = errno;
  report_failure(failed, error, path, attributes);
  if (unlink_error != 0) {
    report_left_behind(tmp_path, unlink_error);
  }
  return 1;
}

/// Copies |text| into |buf| of PATH_MAX bytes. Returns false when it does not fit.
bool copy_path(char (&buf)[PATH_MAX], const char* text) {
  int n = std::snprintf(buf, sizeof buf, "%s", text);
  return n >= 0 && static_cast<std::size_t>(n) < sizeof buf;
}

}  // namespace

int stage_file(const char* path, int old_fd, const char* data, std::size_t len,
               const struct stat& read_as, StagedFile* staged) {
  block_all_signals();
  staged->staged = false;
  staged->fd = -1;
  staged->tmp_path[0] = '\0';
  staged->read_as = read_as;
  if (!copy_path(staged->path, path)) {
    return clean_up_and_report(Step::kCreate, ENAMETOOLONG, path, "");
  }
  UniqueFd fd(create_new_file(path, staged->tmp_path));
  if (fd.get() < 0) return clean_up_and_report(Step::kCreate, errno, path, "");
  const bool named = staged->tmp_path[0] != '\0';
  AttributeFailure attributes{};
  Step failed =
      fill_temp_file(fd.get(), old_fd, data, len, read_as.st_mode & kMostPermissive, &attributes);
  if (failed == Step::kDone && named && fd.close_now() != 0) failed = Step::kWrite;
  if (failed != Step::kDone) {
    const int error = errno;
    fd.reset(-1);
    return clean_up_and_report(failed, error, path, staged->tmp_path, &attributes);
  }
  if (!named) staged->fd = fd.release();
  staged->staged = true;
  return 0;
}

int commit_staged_file(StagedFile* staged) {
  if (!staged->staged) return 1;
  staged->staged = false;
  UniqueFd unnamed(staged->fd);  // an unnamed file vanishes with its last descriptor
  staged->fd = -1;
  int error = 0;
  Step failed = check_unchanged(staged->path, staged->read_as, &error);
  if (failed == Step::kDone && unnamed.get() >= 0) {
    failed = name_new_file(unnamed.get(), staged->path, staged->tmp_path, &error);
  }
  bool kept = false;
  if (failed == Step::kDone) failed = exchange_into_place(staged, &error, &kept);
  if (failed != Step::kDone) {
    return clean_up_and_report(failed, error, staged->path, kept ? "" : staged->tmp_path);
  }
  sync_parent_directory(staged->path);
  return 0;
}

int discard_staged_file(StagedFile* staged) {
  if (!staged->staged) return 0;
  staged->staged = false;
  if (staged->fd >= 0) {
    close(staged->fd);
    staged->fd = -1;
    return 0;
  }
  if (unlink(staged->tmp_path) == 0) return 0;
  report_left_behind(staged->tmp_path, errno);
  return 1;
}

int replace_file(const char* path, int old_fd, const char* data, std::size_t len,
                 const struct stat& read_as) {
  static StagedFile staged;  // two paths of PATH_MAX: kept off a caller's small stack
  if (stage_file(path, old_fd, data, len, read_as, &staged) != 0) return 1;
  return commit_staged_file(&staged);
}
