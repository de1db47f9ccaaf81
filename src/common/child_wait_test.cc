#include "common/child_wait.h"

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/monotonic_clock.h"

// The wait ends in time however the child behaves, kills what the child started with it, and
// tells a child that ended from one that was killed. A stopped child, or one that leads no
// process group (as a forked check might), must not hold the wait past its deadline.
TEST(WaitForChild, EndsByTheDeadlineAndKillsTheGroup) {
  enum class Child { kExits3, kSleeps, kStops, kSleepsInCallersGroup };
  struct Case {
    const char* what;
    Child child;
    int result;
  };
  const Case cases[] = {
      {"exits with 3", Child::kExits3, 0},
      {"sleeps, with a grandchild", Child::kSleeps, 1},
      {"stops itself", Child::kStops, 1},
      {"leads no group", Child::kSleepsInCallersGroup, 1},
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
    EXPECT_EQ(wait_for_child(pid, 300, &status), c.result) << c.what;
    const long long took = monotonic_ms() - start;
    EXPECT_LT(took, 2000) << c.what;
    if (c.result == 0) {
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
