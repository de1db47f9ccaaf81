#ifndef BRINDLEWAY_COMMON_UNIQUE_FD_H_
#define BRINDLEWAY_COMMON_UNIQUE_FD_H_

#include <cerrno>

#include <unistd.h>

/// Owns one file descriptor and closes it when it goes out of scope, keeping errno as it was,
/// so that a failure can be reported after the clean-up has run.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(-1); }

  /// Closes the descriptor held, if any, and takes |fd| in its place.
  void reset(int fd) {
    if (fd_ >= 0) {
      int saved_errno = errno;
      close(fd_);
      errno = saved_errno;
    }
    fd_ = fd;
  }

  /// Returns the descriptor, or -1 when none is held.
  int get() const { return fd_; }

  /// Gives up the descriptor without closing it. Returns it, or -1 when none was held.
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

  /// Closes the descriptor now. Returns close()'s result; the descriptor is gone either way.
  int close_now() {
    int fd = fd_;
    fd_ = -1;
    return close(fd);
  }

 private:
  int fd_;
};

#endif  // BRINDLEWAY_COMMON_UNIQUE_FD_H_
