#ifndef BRINDLEWAY_COMMON_READ_WHOLE_H_
#define BRINDLEWAY_COMMON_READ_WHOLE_H_

#include <cstddef>

/// How often a call that fails with EINTR is tried again before the failure counts. Nothing
/// here installs a signal handler, so a real EINTR is rare; the bound keeps a call that always
/// fails so from looping for ever.
inline constexpr int INTERRUPTED_TRIES = 64;

/// Opens |path| for reading as LightDM opens a configuration file, following links;
/// O_NONBLOCK only so that a FIFO cannot hold the helper up. An EINTR is tried again up to
/// INTERRUPTED_TRIES times. Returns the descriptor, or -1 with errno set.
int open_to_read(const char* path);

/// Reads the open file |fd| to its end into |buf| of |cap| bytes. Returns 0 and sets |*len|, or
/// 1 with errno set; a file of |cap| bytes or more counts as too large (EFBIG), so a text read
/// whole always leaves a byte to spare.
int read_whole(int fd, char* buf, std::size_t cap, std::size_t* len);

#endif  // BRINDLEWAY_COMMON_READ_WHOLE_H_
