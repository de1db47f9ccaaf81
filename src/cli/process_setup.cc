#include "cli/process_setup.h"

#include "common/i18n.h"
#include "common/message_queue.h"
#include "common/words.h"
#include "lightdm/run_storage.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

// Whoever starts the helper chooses much of what exec hands on, and pkexec passes most of it
// through: the signal mask and ignored signals, interval timers, resource limits, the umask.
// A root caller can also pass open descriptors and closed standard streams. Before the helper
// does anything else:
//  1. Interval timers are cleared. A caller's ITIMER_REAL would otherwise end the run at a
//     moment of the caller's choosing.
//  2. SIGCHLD is at its default, or the kernel reaps the shell that runs a tool and a tool that
//     worked counts as failed. SIGPIPE is ignored: a reader that went away makes a write fail
//     with EPIPE instead of ending the helper, or a tool, half-way through a change. SIGTSTP,
//     SIGTTIN and SIGTTOU are ignored, so that neither Ctrl-Z nor "stty tostop" on the caller's
//     terminal can stop a run in the moments before it blocks every signal.
//  3. Limits that can cut the helper or a root tool short are made generous (the tools inherit
//     them), and core dumps are off so that a crash cannot copy /etc/shadow into a core file.
//  4. Descriptors 0, 1 and 2 are open: otherwise the next file opened would take one of them,
//     and a message or a tool's output would be written into it.
//  5. Every other descriptor is closed. Marked close-on-exec only, a caller's descriptors
//     would still take up the helper's own table: with descriptors 3 to 1021 left open, the
//     drop-in that decides could not be opened. Closed, none of them can reach the tools
//     either.
//  6. The working directory is "/" and the umask 022, so that neither a caller's directory
//     (on a filesystem that may go away) nor its umask shapes what the helper or a tool
//     creates.
//  7. The locale variables hold names only, and the variables that name libc's directories are
//     gone (common/i18n.h); only then is the message catalog set up, outside the C locale.
// For a caller who is not root the same steps are harmless: a hard limit it may not raise is
// only used up to its value.

namespace {

/// How a limit is made sane: raised to at least |value|, or lowered to at most |value|.
struct LimitRule {
  rlim_t value;
  int resource;
  bool at_most;
};

constexpr rlim_t kStackFloor = rlim_t{8} << 20;  // Linux's default.
// More than select() can watch would be no help to a tool, so the floor stops there.
constexpr rlim_t kDescriptorFloor = 1024;

constexpr LimitRule kLimitRules[] = {
    {RLIM_INFINITY, RLIMIT_FSIZE, false},   {RLIM_INFINITY, RLIMIT_CPU, false},
    {RLIM_INFINITY, RLIMIT_AS, false},      {RLIM_INFINITY, RLIMIT_DATA, false},
    {RLIM_INFINITY, RLIMIT_NPROC, false},   {kStackFloor, RLIMIT_STACK, false},
    {kDescriptorFloor, RLIMIT_NOFILE, false}, {0, RLIMIT_CORE, true},
};

/// The most descriptors walked one by one when neither close_range nor /proc can be had.
constexpr rlim_t kDescriptorWalkCap = 1 << 20;

void clear_interval_timers() {
  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  setitimer(ITIMER_VIRTUAL, &off, nullptr);
  setitimer(ITIMER_PROF, &off, nullptr);
}

void set_disposition(int sig, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
}

void apply_limit(const LimitRule& rule) {
  rlimit old{};
  if (getrlimit(rule.resource, &old) != 0) return;
  rlimit want = old;
  if (rule.at_most) {
    if (old.rlim_max <= rule.value) return;
    want.rlim_cur = rule.value;
    want.rlim_max = rule.value;
  } else {
    if (old.rlim_cur >= rule.value) return;
    want.rlim_cur = rule.value;
    if (want.rlim_max < rule.value) want.rlim_max = rule.value;
  }
  if (setrlimit(rule.resource, &want) == 0) return;
  // Only root may raise a hard limit; anyone may raise the soft one up to it.
  want.rlim_max = old.rlim_max;
  if (want.rlim_cur > old.rlim_max) want.rlim_cur = old.rlim_max;
  setrlimit(rule.resource, &want);
}

int open_std_streams() {
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

/// Closes the open descriptors from |lowest| on that /proc lists. Returns 0, or 1 when /proc
/// cannot be read.
int close_listed(int lowest) {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return 1;
  const int own = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    long fd = 0;
    const char* p = entry->d_name;
    for (; *p >= '0' && *p <= '9' && fd < INT_MAX / 10; ++p) fd = fd * 10 + (*p - '0');
    if (p == entry->d_name || *p != '\0' || fd < lowest || fd == own) continue;
    close(static_cast<int>(fd));
  }
  closedir(dir);
  return 0;
}

/// Closes every descriptor from |lowest| up to the hard limit, open or not.
void close_up_to_limit(int lowest) {
  rlimit limit{};
  rlim_t end = kDescriptorWalkCap;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_max < end) end = limit.rlim_max;
  for (rlim_t fd = static_cast<rlim_t>(lowest); fd < end; ++fd) close(static_cast<int>(fd));
}

/// Kernels before 5.9 lack close_range: then /proc says which descriptors are open, and
/// without /proc every possible one is closed.
void close_from(int lowest) {
  if (close_range(static_cast<unsigned>(lowest), ~0U, 0) == 0) return;
  if (close_listed(lowest) == 0) return;
  close_up_to_limit(lowest);
}

}  // namespace

int prepare_process() {
  // First, so that no text is translated before: the catalog is set up when one first is.
  sanitize_locale_environment();
  clear_interval_timers();
  set_disposition(SIGCHLD, SIG_DFL);
  set_disposition(SIGPIPE, SIG_IGN);
  set_disposition(SIGTSTP, SIG_IGN);
  set_disposition(SIGTTIN, SIG_IGN);
  set_disposition(SIGTTOU, SIG_IGN);
  for (const LimitRule& rule : kLimitRules) apply_limit(rule);
  if (open_std_streams() != 0) return 1;
  close_from(3);
  umask(022);
  if (chdir("/") != 0) {
    say("no-root-directory", std::strerror(errno));
    return 1;
  }
  // Only now, with the caller's address-space limit lifted where it can be.
  if (reserve_run_storage() != 0) {
    say("no-run-memory", std::strerror(errno));
    return 1;
  }
  return 0;
}

int check_tool_limits() {
  struct Guarded {
    int resource;
    rlim_t least;
    const char* what;
  };
  // A tool killed by SIGXFSZ, SIGXCPU or SIGSEGV mid-write leaves a group file cut short and its
  // lock files behind; no limit on these is small enough to be harmless.
  constexpr Guarded kGuarded[] = {
      {RLIMIT_FSIZE, RLIM_INFINITY, N_("file-size")},
      {RLIMIT_CPU, RLIM_INFINITY, N_("CPU-time")},
      {RLIMIT_STACK, kStackFloor, N_("stack")},
  };
  for (const Guarded& guarded : kGuarded) {
    rlimit limit{};
    if (getrlimit(guarded.resource, &limit) != 0 || limit.rlim_cur >= guarded.least) continue;
    say("caller-limit", _(guarded.what), static_cast<unsigned long long>(limit.rlim_cur));
    return 1;
  }
  return 0;
}
