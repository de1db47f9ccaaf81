#ifndef BRINDLEWAY_COMMON_READ_WHOLE_H_
#define BRINDLEWAY_COMMON_READ_WHOLE_H_

#include <cstddef>

/// Reads the open file |fd| to its end into |buf| of |cap| bytes. Returns 0 and sets |*len|, or
/// 1 with errno set; a file of |cap| bytes or more counts as too large (EFBIG), so a text read
/// whole always leaves a byte to spare.
int read_whole(int fd, char* buf, std::size_t cap, std::size_t* len);

#endif  // BRINDLEWAY_COMMON_READ_WHOLE_H_
