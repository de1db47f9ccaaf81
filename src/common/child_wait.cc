#include "common/child_wait.h"

#include <cerrno>
#include <csignal>
#include <ctime>

#include <sys/wait.h>

int wait_for_child(pid_t pid, int timeout_ms, int* status) {
  for (int waited = 0;; waited += 10) {
    pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid) return 0;
    if (done < 0 && errno != EINTR) return 1;
    if (waited >= timeout_ms) break;
    const timespec tick{0, 10 * 1000 * 1000};
    nanosleep(&tick, nullptr);
  }
  kill(-pid, SIGKILL);
  while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
  }
  return 1;
}
