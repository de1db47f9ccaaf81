#include "common/child_wait.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/i18n.h"
#include "common/monotonic_clock.h"

// A child that never ends must not hold the helper, and with it the run lock and a staged
// file, for ever. The wait is bounded by the monotonic clock alone: the helper blocks every
// signal once it has staged its file, so neither a SIGCHLD handler nor an alarm can be used.
// The child is looked at after pauses that grow from 1 ms to 16 ms: a quick tool costs the
// helper about a millisecond, a slow one few wake-ups. (A pidfd would wake the wait at once,
// but valgrind, which the tests run the helper under, does not know pidfd_open.) At the
// deadline the child's whole process group is killed, so that a program it started cannot
// outlive it, and the child is reaped. That wait has an end too: a process asleep in the kernel
// on a FUSE server that reads requests and never answers, or on a frozen file system, does
// not die of SIGKILL until the file system lets it go, nor does a program it started. After
// REAP_AFTER_KILL_MS whatever is left of the group is left behind (init reaps it once the
// helper has gone); it holds no descriptor of the helper's but the pipe or streams it was
// given, so not the run lock.

namespace {

/// The longest pause between two looks at the child.
constexpr long kLongestPauseMs = 16;

/// Sleeps |ms| milliseconds (less than a second), or less when interrupted.
void pause_for(long ms) {
  const timespec span{0, ms * 1000000};
  nanosleep(&span, nullptr);
}

/// Returns true if a process of the process group |pgid| is alive: not a zombie. /proc is
/// read, as kill(-pgid, 0) counts zombies too, and not every init reaps at once.
bool group_lives(pid_t pgid) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return kill(-pgid, 0) == 0;
  bool lives = false;
  while (const dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    char path[64];
    char stat[512];
    const int len = std::snprintf(path, sizeof path, "/proc/%.20s/stat", entry->d_name);
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof path) continue;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    const ssize_t n = read(fd, stat, sizeof stat - 1);
    close(fd);
    if (n <= 0) continue;
    stat[n] = '\0';
    // "pid (comm) state ppid pgrp ...": the name may hold anything, so the last ')' counts.
    const char* end = std::strrchr(stat, ')');
    if (end == nullptr || end[1] != ' ' || end[2] == '\0') continue;
    const char state = end[2];
    char* rest = nullptr;
    std::strtol(end + 3, &rest, 10);  // the parent
    if (state != 'Z' && state != 'X' && std::strtol(rest, nullptr, 10) == pgid) {
      lives = true;
      break;
    }
  }
  closedir(proc);
  return lives;
}

}  // namespace

int reap_if_ended(pid_t pid, int* status) {
  for (;;) {
    const pid_t got = waitpid(pid, status, WNOHANG);
    if (got == pid) return 1;
    if (got == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

ChildEnd wait_for_child(pid_t pid, long long deadline_ms, int* status) {
  long pause = 1;
  for (;;) {
    const int ended = reap_if_ended(pid, status);
    if (ended == 1) return ChildEnd::kEnded;
    if (ended < 0) return ChildEnd::kKilled;  // not our child to wait for, or to kill
    const long long left = deadline_ms - monotonic_ms();
    if (left <= 0) break;
    pause_for(left < pause ? static_cast<long>(left) : pause);
    if (pause < kLongestPauseMs) pause *= 2;
  }
  return kill_child(pid);
}

ChildEnd kill_child(pid_t pid) {
  // A child that does not lead a group of its own is at least killed itself.
  const bool group = kill(-pid, SIGKILL) == 0;
  if (!group) kill(pid, SIGKILL);
  // The child's end is not enough: a tool it ran (the real usermod under the shell) may be the
  // one asleep in the kernel, and it may still write. The group must be gone too; a killed
  // grandchild that init has not reaped yet counts as gone.
  const long long give_up = monotonic_ms() + REAP_AFTER_KILL_MS;
  int ignored = 0;
  bool reaped = false;
  for (;;) {
    if (!reaped) reaped = reap_if_ended(pid, &ignored) != 0;
    if (reaped && (!group || !group_lives(pid))) return ChildEnd::kKilled;
    if (monotonic_ms() >= give_up) return ChildEnd::kLeftRunning;
    pause_for(kLongestPauseMs);
  }
}

void describe_missed_deadline(int timeout_ms, char* buf, std::size_t size) {
  const int seconds = timeout_ms / 1000;
  std::snprintf(buf, size,
                i18n_plural("it did not answer within %d second",
                            "it did not answer within %d seconds",
                            static_cast<unsigned long>(seconds)),
                seconds);
}
