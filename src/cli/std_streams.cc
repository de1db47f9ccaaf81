#include "cli/std_streams.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

// A caller may start the helper with a standard stream closed. The next file it opened would
// then take that descriptor, and a message or a tool's output meant for the stream would be
// written into it: the configuration's temporary file among them.

int ensure_std_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // open() returns the lowest free descriptor, which is |fd| itself.
    int opened = open("/dev/null", O_RDWR | O_NOCTTY);
    if (opened != fd) {
      if (opened >= 0) close(opened);
      return 1;
    }
  }
  return 0;
}
