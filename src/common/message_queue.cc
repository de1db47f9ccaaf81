#include "common/message_queue.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/clean_child.h"
#include "common/format_text.h"
#include "common/i18n.h"
#include "common/words.h"

// Whoever starts the helper chooses where its standard streams lead: a pipe nobody reads, a
// terminal whose output is suspended (Ctrl-S), a file on a server that went away. A write there
// can block for ever, and a run that blocks while it holds the run lock, or before it has undone
// a refused change, holds up every later run and can be killed half-way. So:
//  1. Nothing is written while the run works: every message, the success line included, is
//     queued, and the queue is written out once the run has finished its change, undone what it
//     had to and let go of the run lock.
//  2. The writing has an end. Only /dev/null is written directly. Anything else, a regular file
//     too (a frozen file system, a FUSE or NFS server that went away), is written by a child
//     (run_clean_child), which is killed when it has not finished in MESSAGE_WRITE_DEADLINE_MS
//     and left behind when even that does not end it; a caller who never reads gets nothing,
//     and the exit status still tells. The descriptors are never made non-blocking: their open
//     file description is shared with the caller's shell or terminal.

namespace {

/// One stretch of queued text for one stream.
struct Segment {
  int fd;
  int start;
  int len;
};

constexpr int kSegmentsMax = 256;

struct Queue {
  char text[MESSAGE_QUEUE_BYTES];
  Segment segments[kSegmentsMax];
  int used;
  int count;
  bool lost_out;  // standard output text that did not fit
  const char* only_out;  // msg_out_only's text, which replaces everything queued for it
  std::size_t only_out_len;
  bool out_is_answer;
};

Queue g_queue;

/// Queues |format| with |args| for |fd|. Returns where the text begins in the queue, or -1 when
/// it was dropped.
__attribute__((format(printf, 2, 0))) int queue_text(int fd, const char* format, va_list args) {
  Queue& q = g_queue;
  const int room = MESSAGE_QUEUE_BYTES - q.used;
  const bool joins = q.count > 0 && q.segments[q.count - 1].fd == fd;
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): the callers start |args|.
  const int n = std::vsnprintf(q.text + q.used, static_cast<std::size_t>(room), format, args);
  // Text cut short could say something else than it means: it is dropped whole.
  if (n < 0 || n >= room || (!joins && q.count == kSegmentsMax)) {
    if (fd == STDOUT_FILENO) q.lost_out = true;
    return -1;
  }
  if (!joins) q.segments[q.count++] = Segment{fd, q.used, 0};
  q.segments[q.count - 1].len += n;
  const int start = q.used;
  q.used += n;
  return start;
}

/// Returns true if |fd| is /dev/null, which takes every write at once. Any other file may not:
/// a regular file on a frozen file system, or on a FUSE or NFS server that does not answer.
bool takes_writes_at_once(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == makedev(1, 3);
}

/// Writes |len| bytes of |text| to |fd|. Returns 0, or an error number.
int write_fully(int fd, const char* text, std::size_t len) {
  while (len > 0) {
    const ssize_t n = write(fd, text, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    text += n;
    len -= static_cast<std::size_t>(n);
  }
  return 0;
}

/// Writes the whole queue in order. Returns 0, or 1 when some standard output text was not
/// written; that is then said on standard error, once.
int write_queue() {
  const Queue& q = g_queue;
  int out_error = q.lost_out ? EIO : 0;
  if (q.only_out != nullptr) out_error = write_fully(STDOUT_FILENO, q.only_out, q.only_out_len);
  for (int i = 0; i < q.count; ++i) {
    const Segment& s = q.segments[i];
    if (s.fd == STDOUT_FILENO && (out_error != 0 || q.only_out != nullptr)) continue;
    const int error = write_fully(s.fd, q.text + s.start, static_cast<std::size_t>(s.len));
    if (s.fd == STDOUT_FILENO) out_error = error;
  }
  if (out_error == 0) return 0;
  char warning[320];
  format_reason(warning, sizeof warning, "output-not-written", std::strerror(out_error));
  (void)write_fully(STDERR_FILENO, warning, std::strlen(warning));
  return 1;
}

/// Returns true if the queue holds standard output text, or lost some.
bool has_output() {
  if (g_queue.lost_out || g_queue.only_out != nullptr) return true;
  for (int i = 0; i < g_queue.count; ++i) {
    if (g_queue.segments[i].fd == STDOUT_FILENO) return true;
  }
  return false;
}

/// The writer: writes the queue to the caller's streams, and says how by its exit status.
void write_from_child(int /*out*/, void* /*arg*/) {
  // The writer must not outlive the helper by more than its deadline.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  _exit(write_queue());
}

/// Writes the queue from a child that is killed at the deadline. Returns as write_queue does;
/// a child that did not finish in time counts as output not written.
int write_queue_in_child() {
  ChildRun run{};
  run_clean_child(write_from_child, nullptr, ChildStreams::kCallers, MESSAGE_WRITE_DEADLINE_MS,
                  nullptr, 0, &run);
  if (run.outcome != ChildOutcome::kEnded) return has_output() ? 1 : 0;
  return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0 ? 0 : 1;
}

}  // namespace

void msg_out(const char* format, ...) {  // NOLINT(cert-dcl50-cpp): printf is the interface
  va_list args;
  va_start(args, format);
  queue_text(STDOUT_FILENO, format, args);
  va_end(args);
}

const char* msg_err_queued(const char* translated, va_list args, int* len) {
  const int start = queue_text(STDERR_FILENO, translated, args);
  if (start < 0) {
    *len = 0;
    return nullptr;
  }
  *len = g_queue.used - start;
  return g_queue.text + start;
}

void msg_out_only(const char* text, std::size_t len) {
  g_queue.only_out = text;
  g_queue.only_out_len = len;
}

void msg_out_is_answer() { g_queue.out_is_answer = true; }

int flush_messages() {
  Queue& q = g_queue;
  int failed = 0;
  if (q.count > 0 || q.lost_out || q.only_out != nullptr) {
    const bool direct = takes_writes_at_once(STDOUT_FILENO) && takes_writes_at_once(STDERR_FILENO);
    failed = direct ? write_queue() : write_queue_in_child();
  }
  const bool answer_lost = failed != 0 && q.out_is_answer;
  q.used = 0;
  q.count = 0;
  forget_said_words();  // they point into the text just let go
  q.lost_out = false;
  q.only_out = nullptr;
  return answer_lost ? 1 : 0;
}
