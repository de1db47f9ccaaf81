#include "common/child_wait.h"

#include <csignal>
#include <cstring>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/clean_child.h"
#include "common/monotonic_clock.h"

// The wait ends in time however the child behaves, kills what the child started with it, and
// tells a child that ended from one that was killed. A stopped child, or one that leads no
// process group (as a forked check might), must not hold the wait past its deadline.
TEST(WaitForChild, EndsByTheDeadlineAndKillsTheGroup) {
  enum class Child { kExits3, kSleeps, kStops, kSleepsInCallersGroup };
  struct Case {
    const char* what;
    Child child;
    ChildEnd end;
  };
  const Case cases[] = {
      {"exits with 3", Child::kExits3, ChildEnd::kEnded},
      {"sleeps, with a grandchild", Child::kSleeps, ChildEnd::kKilled},
      {"stops itself", Child::kStops, ChildEnd::kKilled},
      {"leads no group", Child::kSleepsInCallersGroup, ChildEnd::kKilled},
  };
  for (const Case& c : cases) {
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (c.child != Child::kSleepsInCallersGroup) setpgid(0, 0);
      if (c.child == Child::kExits3) _exit(3);
      if (c.child == Child::kStops) raise(SIGSTOP);
      if (c.child == Child::kSleeps && fork() == 0) {
        close(pipe_fds[0]);
        sleep(30);  // holds the pipe's write end while it lives
        _exit(0);
      }
      sleep(30);
      _exit(0);
    }
    close(pipe_fds[1]);
    const long long start = monotonic_ms();
    int status = -1;
    EXPECT_EQ(wait_for_child(pid, start + 300, &status), c.end) << c.what;
    const long long took = monotonic_ms() - start;
    EXPECT_LT(took, 2000) << c.what;
    if (c.end == ChildEnd::kEnded) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << c.what;
    } else {
      EXPECT_GE(took, 290) << c.what;
      EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1) << c.what << ": not reaped";
    }
    if (c.child == Child::kSleeps) {
      // The grandchild held the write end: end of file means it is gone too.
      char byte;
      EXPECT_EQ(read(pipe_fds[0], &byte, 1), 0) << c.what;
    }
    close(pipe_fds[0]);
  }
}

namespace {

/// What a test child does, by the number passed to it.
enum class Work { kAnswers, kAnswersMuch, kLeavesAHolder, kSleeps, kExecs };

/// The size of the large answer: more than a pipe holds, so it is read while the child runs.
constexpr std::size_t kMuch = 300000;

void test_body(int out, void* arg) {
  static char much[kMuch];
  switch (*static_cast<Work*>(arg)) {
    case Work::kAnswers:
      (void)!write(out, "yes", 3);
      return;
    case Work::kAnswersMuch:
      std::memset(much, 'm', sizeof much);
      for (std::size_t done = 0; done < sizeof much;) {
        const ssize_t n = write(out, much + done, sizeof much - done);
        if (n <= 0) _exit(1);
        done += static_cast<std::size_t>(n);
      }
      return;
    case Work::kLeavesAHolder:
      // A program started by a tool may hold the pipe; the child's own end decides.
      if (fork() == 0) {
        sleep(30);
        _exit(0);
      }
      (void)!write(out, "done", 4);
      _exit(4);
    case Work::kSleeps:
      sleep(30);
      return;
    case Work::kExecs: {
      char sh[] = "sh";
      char dash_c[] = "-c";
      char script[] = "echo \"$PATH $TERM\"; echo oops >&2";
      char* argv[] = {sh, dash_c, script, nullptr};
      execve("/bin/sh", argv, environ);
      _exit(127);
    }
  }
}

}  // namespace

// One child for every use: the answer is read whole whatever its size, and cut at its room;
// the child's end, not the pipe's, ends the wait; a child that does not end is killed at the
// deadline; a program it runs sees the clean environment and answers on standard output.
TEST(RunCleanChild, ReadsTheAnswerAndEndsByTheDeadline) {
  struct Case {
    const char* what;
    Work work;
    ChildStreams streams;
    std::size_t cap;
    ChildOutcome outcome;
    std::string answer;
    bool cut;
    long long at_most_ms;
  };
  const Case cases[] = {
      {"answers", Work::kAnswers, ChildStreams::kNull, 16, ChildOutcome::kEnded, "yes", false,
       1000},
      {"answers more than a pipe holds", Work::kAnswersMuch, ChildStreams::kNull, kMuch,
       ChildOutcome::kEnded, std::string(kMuch, 'm'), false, 1000},
      {"answers more than its room", Work::kAnswersMuch, ChildStreams::kNull, 10,
       ChildOutcome::kEnded, std::string(10, 'm'), true, 1000},
      {"leaves a program holding the pipe", Work::kLeavesAHolder, ChildStreams::kNull, 16,
       ChildOutcome::kEnded, "done", false, 1000},
      {"sleeps", Work::kSleeps, ChildStreams::kNull, 16, ChildOutcome::kTimedOut, "", false,
       1500},
      {"runs a program", Work::kExecs, ChildStreams::kAnswerOnOutput, 64, ChildOutcome::kEnded,
       "/usr/sbin:/usr/bin:/sbin:/bin \n", false, 1000},
  };
  for (const Case& c : cases) {
    static char answer[kMuch];
    Work work = c.work;
    ChildRun run{};
    const long long start = monotonic_ms();
    run_clean_child(test_body, &work, c.streams, 400, answer, c.cap, &run);
    EXPECT_LT(monotonic_ms() - start, c.at_most_ms) << c.what;
    EXPECT_EQ(run.outcome, c.outcome) << c.what;
    EXPECT_EQ(std::string(answer, run.len), c.answer) << c.what;
    EXPECT_EQ(run.cut, c.cut) << c.what;
  }
}
