#include "seatconf/file_replace.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/unique_fd.h"

// The replacement must never leave LightDM a partial file, never lose someone else's change,
// and never leave litter in /etc:
//  1. Every maskable signal is blocked from before the temporary file exists until the process
//     exits. No signal can end the run between creation and rename or clean-up, and once the
//     rename is done the run finishes, directory fsync and exit status 0 included.
//  2. The new text goes to a fresh file with an unpredictable name in the same directory,
//     created exclusively (mkostemp), so no one can prepare it and rename() stays on one
//     filesystem.
//  3. It is written whole, owned by root:root, never more readable than the old file (its mode
//     is the old mode & 0644), and fsync'ed before the rename: otherwise a power cut can leave
//     an empty file under the old name.
//  4. Just before the rename the path must still be the file that was read: same device,
//     inode, size, mtime and ctime. Otherwise someone saved the file meanwhile, and the rename
//     would silently undo their change: refuse instead.
//  5. Any failure before the rename unlinks the temporary file and leaves the old file as it
//     was. The message comes after that clean-up, so even a failing print cannot keep it from
//     happening; a temporary file that cannot be removed is named.
//  6. The directory is fsync'ed after the rename so the new name survives a power cut. The
//     file is replaced by then, so a failure there is not reported.

namespace {

/// The step of a replacement that failed, or kDone.
enum class Step { kDone, kCreate, kWrite, kCheck, kChanged, kRename };

constexpr mode_t kMostPermissive = 0644;

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

/// Writes |data| to |fd|, gives it its owner and |mode|, and flushes it to disk. Returns 0, or
/// 1 with errno set.
int fill_temp_file(int fd, const char* data, std::size_t len, mode_t mode) {
  if (write_all(fd, data, len) != 0) return 1;
  // Root's files belong to root:root whatever group the caller ran under.
  if (geteuid() == 0 && fchown(fd, 0, 0) != 0) return 1;
  if (fchmod(fd, mode) != 0) return 1;
  return fsync(fd) == 0 ? 0 : 1;
}

bool same_time(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

/// The change time is compared too: it also moves when an edit kept the mtime, or when only
/// the mode or owner changed, which the new file would otherwise undo.
bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         same_time(a.st_mtim, b.st_mtim) && same_time(a.st_ctim, b.st_ctim);
}

/// Writes the new file beside |path|. Returns the step that failed with |*error| set, or kDone.
/// From kWrite on, |tmp_path| names a temporary file that exists.
Step write_temp_file(const char* path, const char* data, std::size_t len,
                     const struct stat& read_as, char* tmp_path, std::size_t tmp_size,
                     int* error) {
  int n = std::snprintf(tmp_path, tmp_size, "%s.tmp.XXXXXX", path);
  if (n < 0 || static_cast<std::size_t>(n) >= tmp_size) {
    *error = ENAMETOOLONG;
    return Step::kCreate;
  }
  UniqueFd fd(mkostemp(tmp_path, O_CLOEXEC));
  if (fd.get() < 0) {
    *error = errno;
    return Step::kCreate;
  }
  if (fill_temp_file(fd.get(), data, len, read_as.st_mode & kMostPermissive) != 0 ||
      fd.close_now() != 0) {
    *error = errno;
    return Step::kWrite;
  }
  return Step::kDone;
}

/// Renames |tmp_path| over |path| if |path| is still the file |read_as| describes. Returns the
/// step that failed with |*error| set, or kDone.
Step rename_if_unchanged(const char* tmp_path, const char* path, const struct stat& read_as,
                         int* error) {
  struct stat now {};
  if (stat(path, &now) != 0) {
    *error = errno;
    return Step::kCheck;
  }
  if (!same_file(now, read_as)) return Step::kChanged;
  if (rename(tmp_path, path) != 0) {
    *error = errno;
    return Step::kRename;
  }
  return Step::kDone;
}

void report_failure(Step failed, int error, const char* path) {
  switch (failed) {
    case Step::kCreate:
      std::fprintf(stderr, "Cannot create temp file: %s\n", std::strerror(error));
      break;
    case Step::kWrite:
      std::fprintf(stderr, "Write error: %s\n", std::strerror(error));
      break;
    case Step::kChanged:
      std::fprintf(stderr, "Cannot replace %s: the file changed while it was being rewritten\n",
                   path);
      break;
    case Step::kCheck:
    case Step::kRename:
      std::fprintf(stderr, "Cannot replace %s: %s\n", path, std::strerror(error));
      break;
    case Step::kDone:
      break;
  }
}

/// Makes the rename of an entry of |path|'s directory durable. Best effort.
void sync_parent_directory(const char* path) {
  char dir[PATH_MAX];
  const char* slash = nullptr;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/') slash = p;
  }
  if (slash == nullptr) {
    dir[0] = '.';
    dir[1] = '\0';
  } else {
    std::size_t len = slash == path ? 1 : static_cast<std::size_t>(slash - path);
    if (len >= sizeof dir) return;
    std::memcpy(dir, path, len);
    dir[len] = '\0';
  }
  UniqueFd fd(open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) fsync(fd.get());
}

}  // namespace

namespace {

/// Removes the temporary file after |failed|, then says what failed, then names a temporary
/// file that could not be removed. Returns 1.
int clean_up_and_report(Step failed, int error, const char* path, const char* tmp_path) {
  int unlink_error = 0;
  if (failed != Step::kCreate && unlink(tmp_path) != 0) unlink_error = errno;
  report_failure(failed, error, path);
  if (unlink_error != 0) {
    std::fprintf(stderr, "Cannot remove temp file %s: %s\n", tmp_path,
                 std::strerror(unlink_error));
  }
  return 1;
}

/// Copies |text| into |buf| of PATH_MAX bytes. Returns false when it does not fit.
bool copy_path(char (&buf)[PATH_MAX], const char* text) {
  int n = std::snprintf(buf, sizeof buf, "%s", text);
  return n >= 0 && static_cast<std::size_t>(n) < sizeof buf;
}

}  // namespace

int stage_file(const char* path, const char* data, std::size_t len, const struct stat& read_as,
               StagedFile* staged) {
  block_all_signals();
  staged->staged = false;
  staged->read_as = read_as;
  int error = ENAMETOOLONG;
  Step failed = Step::kCreate;
  if (copy_path(staged->path, path)) {
    failed = write_temp_file(path, data, len, read_as, staged->tmp_path,
                             sizeof staged->tmp_path, &error);
  }
  if (failed != Step::kDone) return clean_up_and_report(failed, error, path, staged->tmp_path);
  staged->staged = true;
  return 0;
}

int commit_staged_file(StagedFile* staged) {
  if (!staged->staged) return 1;
  staged->staged = false;
  int error = 0;
  const Step failed = rename_if_unchanged(staged->tmp_path, staged->path, staged->read_as, &error);
  if (failed != Step::kDone) {
    return clean_up_and_report(failed, error, staged->path, staged->tmp_path);
  }
  sync_parent_directory(staged->path);
  return 0;
}

int discard_staged_file(StagedFile* staged) {
  if (!staged->staged) return 0;
  staged->staged = false;
  if (unlink(staged->tmp_path) == 0) return 0;
  std::fprintf(stderr, "Cannot remove temp file %s: %s\n", staged->tmp_path, std::strerror(errno));
  return 1;
}

int replace_file(const char* path, const char* data, std::size_t len,
                 const struct stat& read_as) {
  static StagedFile staged;  // two paths of PATH_MAX: kept off a caller's small stack
  if (stage_file(path, data, len, read_as, &staged) != 0) return 1;
  return commit_staged_file(&staged);
}
