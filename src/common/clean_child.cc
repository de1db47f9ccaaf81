#include "common/clean_child.h"

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

// The children of the helper are the account tools, the PAM check, the account lookup and the
// look at the user's home. All run as root, and the caller chose much of what a child would
// otherwise inherit: the signal mask and ignored signals, the controlling terminal and its
// process group, open descriptors, the environment (nothing of it reaches a PAM module or a
// name-service module; the tools get theirs from execve). Ctrl-C, Ctrl-Z or
// a hang-up on the caller's terminal killed gpasswd half-way, or stopped it while the helper
// waited for ever. So each child first leaves all of that behind. SIGPIPE stays ignored: a
// tool that prints to a standard output whose reader has gone then gets an error instead of
// dying half-way through a change (gpasswd announces a removal before it makes it).

extern char** environ;  // NOLINT: the process environment has no other name.

namespace {

char kPath[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
char* kCleanEnvironment[] = {kPath, nullptr};

}  // namespace

int clean_child_start(int keep) {
  environ = kCleanEnvironment;
  if (setsid() < 0) return 1;
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null < 0) return 1;
  for (int fd = 0; fd <= 2; ++fd) {
    if (dup2(null, fd) != fd) return 1;
  }
  if (keep > 3) close_range(3, static_cast<unsigned>(keep) - 1, 0);
  close_range(keep >= 3 ? static_cast<unsigned>(keep) + 1 : 3U, ~0U, 0);
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  for (int sig = 1; sig < NSIG; ++sig) {
    action.sa_handler = sig == SIGPIPE ? SIG_IGN : SIG_DFL;
    sigaction(sig, &action, nullptr);
  }
  return sigprocmask(SIG_SETMASK, &action.sa_mask, nullptr) == 0 ? 0 : 1;
}
