#include "seatconf/file_replace.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/unique_fd.h"

// The replacement must never leave LightDM a partial file, nor leave litter in /etc:
//  1. The new text goes to a fresh file with an unpredictable name in the same directory,
//     created exclusively (mkostemp), so no one can prepare it and rename() stays on one
//     filesystem.
//  2. It is written whole, given its mode through the descriptor, and fsync'ed before the
//     rename: otherwise a power cut can leave an empty file under the old name.
//  3. Any failure before the rename unlinks the temporary file and leaves the old file as it
//     was; rename() is the single step that makes the new text visible.
//  4. The directory is fsync'ed after the rename so the new name survives a power cut. The
//     file is replaced by then, so a failure there is not reported.
//  5. From the creation of the temporary file until the rename, the signals that end a process
//     (pkexec sends SIGTERM when its caller goes away) are held back and arrive afterwards, so
//     no signal leaves a temporary file behind. SIGXFSZ, which a caller's file-size limit would
//     raise, is ignored so the write fails and is cleaned up like any other.

namespace {

constexpr mode_t kConfMode = 0644;

/// Holds back termination signals and ignores SIGXFSZ for as long as it lives.
class SignalGuard {
 public:
  SignalGuard() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGHUP);
    sigaddset(&held, SIGQUIT);
    sigprocmask(SIG_BLOCK, &held, &saved_mask_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &saved_xfsz_);
  }
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;
  ~SignalGuard() {
    int saved_errno = errno;
    sigaction(SIGXFSZ, &saved_xfsz_, nullptr);
    sigprocmask(SIG_SETMASK, &saved_mask_, nullptr);
    errno = saved_errno;
  }

 private:
  sigset_t saved_mask_{};
  struct sigaction saved_xfsz_ {};
};

/// A temporary file that is removed again unless it was renamed into place.
class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (created_ && !kept_) {
      int saved_errno = errno;
      unlink(path_);
      errno = saved_errno;
    }
  }

  /// Creates the file from |path| plus ".tmp.XXXXXX". Returns 0, or 1 with errno set.
  int create(const char* path) {
    int n = std::snprintf(path_, sizeof path_, "%s.tmp.XXXXXX", path);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof path_) {
      errno = ENAMETOOLONG;
      return 1;
    }
    fd_.reset(mkostemp(path_, O_CLOEXEC));
    created_ = fd_.get() >= 0;
    return created_ ? 0 : 1;
  }

  int fd() const { return fd_.get(); }
  const char* path() const { return path_; }

  /// Closes the descriptor. Returns close()'s result; the descriptor is gone either way.
  int close_now() { return fd_.close_now(); }

  /// The file now lives under its final name: do not remove it.
  void keep() { kept_ = true; }

 private:
  char path_[PATH_MAX] = {};
  UniqueFd fd_{-1};
  bool created_ = false;
  bool kept_ = false;
};

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

/// Writes |data| to |tmp| and flushes it to disk. Returns 0, or 1 with errno set.
int fill_temp_file(TempFile* tmp, const char* data, std::size_t len) {
  if (write_all(tmp->fd(), data, len) != 0) return 1;
  if (fchmod(tmp->fd(), kConfMode) != 0) return 1;
  if (fsync(tmp->fd()) != 0) return 1;
  return tmp->close_now() == 0 ? 0 : 1;
}

/// Makes the rename of an entry of |path|'s directory durable. Best effort.
void sync_parent_directory(const char* path) {
  char dir[PATH_MAX];
  const char* slash = std::strrchr(path, '/');
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

int replace_file(const char* path, const char* data, std::size_t len) {
  {
    SignalGuard signals;  // Declared first: it is released after the temporary file is gone.
    TempFile tmp;
    if (tmp.create(path) != 0) {
      std::fprintf(stderr, "Cannot create temp file: %s\n", std::strerror(errno));
      return 1;
    }
    if (fill_temp_file(&tmp, data, len) != 0) {
      std::fprintf(stderr, "Write error: %s\n", std::strerror(errno));
      return 1;
    }
    if (rename(tmp.path(), path) != 0) {
      std::fprintf(stderr, "Cannot replace %s: %s\n", path, std::strerror(errno));
      return 1;
    }
    tmp.keep();
  }
  sync_parent_directory(path);
  return 0;
}
