#include "seatconf/conf_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/constants.h"
#include "common/unique_fd.h"
#include "seatconf/file_replace.h"
#include "seatconf/seat_rewrite.h"

// The configuration is never cut short: a file that does not fit the buffer whole, holds a NUL
// byte, or cannot be read to its end is refused before anything is written.

namespace {

/// The largest configuration that fits the input buffer with room for a terminator.
constexpr std::size_t kMaxConfSize = CONF_BUFFER_SIZE - 1;

/// One buffer of CONF_BUFFER_SIZE bytes, released on every path.
class ConfBuffer {
 public:
  ConfBuffer() : data_(static_cast<char*>(std::malloc(CONF_BUFFER_SIZE))) {}
  ConfBuffer(const ConfBuffer&) = delete;
  ConfBuffer& operator=(const ConfBuffer&) = delete;
  ~ConfBuffer() { std::free(data_); }

  /// Returns the buffer, or null when it could not be had.
  char* get() const { return data_; }

 private:
  char* data_;
};

/// Reads |fd| to its end into |buf| of |cap| bytes. Returns 0 and sets |*len|, or 1 with errno
/// set; a file of |cap| bytes or more counts as too large (EFBIG).
int read_whole(int fd, char* buf, std::size_t cap, std::size_t* len) {
  std::size_t total = 0;
  for (;;) {
    ssize_t n = read(fd, buf + total, cap - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 1;
    if (n == 0) break;
    total += static_cast<std::size_t>(n);
    if (total == cap) {
      errno = EFBIG;
      return 1;
    }
  }
  *len = total;
  return 0;
}

/// Reads the configuration at |path| into |buf|. Returns 0 and sets |*len| and |*st| (the
/// file as it was read), or 1 after reporting why.
int read_config(const char* path, char* buf, std::size_t* len, struct stat* st) {
  // O_NONBLOCK: a FIFO or a device put at the path must not hold the helper up. The check is
  // made on the descriptor that was opened, so the path cannot be swapped in between.
  UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) {
    std::fprintf(stderr, "Cannot open %s: %s\n", path, std::strerror(errno));
    return 1;
  }
  if (fstat(fd.get(), st) != 0) {
    std::fprintf(stderr, "Cannot read %s: %s\n", path, std::strerror(errno));
    return 1;
  }
  if (!S_ISREG(st->st_mode)) {
    std::fprintf(stderr, "Cannot read %s: not a regular file\n", path);
    return 1;
  }
  if (read_whole(fd.get(), buf, CONF_BUFFER_SIZE, len) != 0) {
    if (errno == EFBIG) {
      std::fprintf(stderr, "Cannot read %s: file is larger than %zu bytes\n", path,
                   kMaxConfSize);
    } else {
      std::fprintf(stderr, "Cannot read %s: %s\n", path, std::strerror(errno));
    }
    return 1;
  }
  if (std::memchr(buf, '\0', *len) != nullptr) {
    std::fprintf(stderr, "Cannot read %s: file contains a NUL byte\n", path);
    return 1;
  }
  return 0;
}

}  // namespace

int update_config_file(const char* path, const AutologinRequest& request) {
  ConfBuffer input;
  ConfBuffer output;
  if (input.get() == nullptr || output.get() == nullptr) return 1;
  std::size_t in_len = 0;
  struct stat read_as {};
  if (read_config(path, input.get(), &in_len, &read_as) != 0) return 1;
  std::size_t out_len = 0;
  // The new file must be readable by the next run, which is what turns automatic login off.
  if (rewrite_seat_section(input.get(), in_len, request, output.get(), kMaxConfSize,
                           &out_len) != 0) {
    std::fprintf(stderr, "Cannot update %s: the new file would be larger than %zu bytes\n", path,
                 kMaxConfSize);
    return 1;
  }
  return replace_file(path, output.get(), out_len, read_as);
}

int update_lightdm_config(const AutologinRequest& request) {
  return update_config_file(LIGHTDM_CONF_PATH, request);
}
