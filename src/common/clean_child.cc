#include "common/clean_child.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/child_wait.h"
#include "common/monotonic_clock.h"
#include "common/unique_fd.h"

// The children of the helper are the account tools, the PAM check, the account lookup, the
// look at the user's home and the writer of the messages. All run as root, and the caller chose
// much of what a child would otherwise inherit: the signal mask and ignored signals, the
// controlling terminal and its process group, open descriptors, the environment (nothing of it
// reaches a PAM module or a name-service module; the tools get theirs from execve). Ctrl-C,
// Ctrl-Z or a hang-up on the caller's terminal killed gpasswd half-way, or stopped it while the
// helper waited for ever. So each child first leaves all of that behind. SIGPIPE stays ignored:
// a tool that prints to a standard output whose reader has gone then gets an error instead of
// dying half-way through a change (gpasswd announces a removal before it makes it).
//
// One function starts every child, reads its answer and gives up on it, so that one place knows
// how a child ends:
//  1. The answer is read while the child runs: a pipe never fills and holds it up, whatever the
//     answer's size, and its end of file wakes the parent at once.
//  2. The child counts as ended when it is reaped, not at the end of file: a program it started
//     may hold the pipe for longer.
//  3. At the deadline its process group is killed, and the reap waited for REAP_AFTER_KILL_MS
//     at most (child_wait.h); a child stuck in the kernel is left to init. It keeps nothing of
//     the helper's but its answer pipe, so not the run lock.

extern char** environ;  // NOLINT: the process environment has no other name.

namespace {

char kPath[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
char* kCleanEnvironment[] = {kPath, nullptr};

/// The exit status of a child whose clean start failed.
constexpr int kNotCleanStatus = 125;
/// The longest pause between two looks at the child.
constexpr int kLongestPauseMs = 16;

/// Returns the descriptor that standard stream |fd| gets in a child with |streams|: -1 keeps
/// the caller's.
int stream_source(int fd, int null, int keep, ChildStreams streams) {
  if (fd == STDIN_FILENO) return null;
  if (streams == ChildStreams::kCallers) return -1;
  return fd == STDOUT_FILENO && streams == ChildStreams::kAnswerOnOutput ? keep : null;
}

/// Reads what is there of the answer on |fd| into |answer|; past |cap| bytes it is dropped.
/// Returns false once the pipe has ended (end of file, or an error).
bool take_answer(int fd, char* answer, std::size_t cap, ChildRun* run) {
  char spill[512];
  for (;;) {
    const bool room = run->len < cap;
    const ssize_t n = room ? read(fd, answer + run->len, cap - run->len)
                           : read(fd, spill, sizeof spill);
    if (n > 0) {
      if (room) run->len += static_cast<std::size_t>(n);
      if (!room) run->cut = true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && errno == EAGAIN;
  }
}

/// Reads the answer from |fd| until the child |pid| ends or |deadline| passes. Fills |run|.
void follow_child(pid_t pid, int fd, long long deadline, char* answer, std::size_t cap,
                  ChildRun* run) {
  bool open = fd >= 0;
  int pause = 1;
  for (;;) {
    if (open) open = take_answer(fd, answer, cap, run);
    const int ended = reap_if_ended(pid, &run->status);
    if (ended != 0) {
      if (open) take_answer(fd, answer, cap, run);
      run->outcome = ended > 0 ? ChildOutcome::kEnded : ChildOutcome::kTimedOut;
      if (ended > 0 && WIFEXITED(run->status) && WEXITSTATUS(run->status) == kNotCleanStatus &&
          run->len == 0) {
        run->outcome = ChildOutcome::kNotClean;
      }
      return;
    }
    const long long left = deadline - monotonic_ms();
    if (left <= 0) break;
    pollfd ready{fd, POLLIN, 0};
    const int wait = left < pause ? static_cast<int>(left) : pause;
    if (open) {
      poll(&ready, 1, wait);
    } else {
      const timespec span{0, wait * 1000000L};
      nanosleep(&span, nullptr);
    }
    if (pause < kLongestPauseMs) pause *= 2;
  }
  run->outcome = kill_child(pid) == ChildEnd::kKilled ? ChildOutcome::kTimedOut
                                                      : ChildOutcome::kLeftRunning;
}

}  // namespace

int clean_child_start(int keep, ChildStreams streams) {
  // The writer of the messages runs nothing but the helper's own code, and may still have to
  // say, in the reader's language, that a line was lost: it keeps the environment, which the
  // front door made safe.
  if (streams != ChildStreams::kCallers) environ = kCleanEnvironment;
  if (setsid() < 0) return 1;
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null < 0) return 1;
  for (int fd = 0; fd <= 2; ++fd) {
    const int source = stream_source(fd, null, keep, streams);
    if (source >= 0 && dup2(source, fd) != fd) return 1;
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

void run_clean_child(ChildBody body, void* arg, ChildStreams streams, int timeout_ms,
                     void* answer, std::size_t cap, ChildRun* run) {
  *run = ChildRun{ChildOutcome::kNotStarted, 0, 0, false, 0};
  const long long deadline = monotonic_ms() + timeout_ms;
  // A child that answers nothing through a pipe gets none: the message writer must still start
  // for a caller who left the helper only a descriptor or two to spare.
  int ends[2] = {-1, -1};
  const bool answers = cap > 0 || streams != ChildStreams::kCallers;
  if (answers && pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    run->error = errno;
    return;
  }
  UniqueFd from_child(ends[0]);
  UniqueFd to_parent(ends[1]);
  const pid_t pid = fork();
  if (pid < 0) {
    run->error = errno;
    return;
  }
  if (pid == 0) {
    // The child writes without O_NONBLOCK: the parent reads while it runs.
    const int out = to_parent.get();
    if ((out >= 0 && fcntl(out, F_SETFL, 0) != 0) || clean_child_start(out, streams) != 0) {
      _exit(kNotCleanStatus);
    }
    body(streams == ChildStreams::kAnswerOnOutput ? STDOUT_FILENO : out, arg);
    _exit(0);
  }
  to_parent.reset(-1);
  follow_child(pid, from_child.get(), deadline, static_cast<char*>(answer), cap, run);
}
