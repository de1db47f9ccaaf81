#include "gates/account_lookup.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/child_wait.h"
#include "common/clean_child.h"
#include "common/unique_fd.h"

// The account must be found the way LightDM finds it, through the name service, and a module
// of the name service can wait without end on a directory server that is gone. So the lookup
// runs in a child with the account tools' deadline, as the PAM check does, and sends its whole
// answer back in one write of less than PIPE_BUF bytes, which arrives whole or not at all.

namespace {

static_assert(sizeof(AccountInfo) < 4096, "one write to a pipe must arrive whole");

/// The child: looks |user| up and writes the AccountInfo to |out|. Never returns.
[[noreturn]] void run_lookup(int out, const char* user) {
  // Every byte is set, padding included: all of it goes down the pipe.
  static AccountInfo info;
  std::memset(&info, 0, sizeof info);
  info.outcome = AccountLookup::kNoAnswer;
  if (clean_child_start(out) == 0) {
    // getpwnam_r says "not found" (0 and no entry) apart from a failed lookup (an error
    // number), which must not pass for an absent account. On the child's stack, which the
    // front door made large enough, and out of the program's image.
    char buf[65536];
    passwd entry{};
    passwd* account = nullptr;
    const int error = getpwnam_r(user, &entry, buf, sizeof buf, &account);
    if (account != nullptr) {
      info.outcome = AccountLookup::kFound;
      info.uid = account->pw_uid;
    } else {
      info.outcome = error == 0 ? AccountLookup::kNotFound : AccountLookup::kFailed;
      info.error = error;
    }
  }
  ssize_t ignored = write(out, &info, sizeof info);
  (void)ignored;
  _exit(0);
}

}  // namespace

void look_up_account(const char* user, AccountInfo* info) {
  std::memset(info, 0, sizeof *info);
  info->outcome = AccountLookup::kNoAnswer;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    info->error = errno;
    return;
  }
  UniqueFd from_child(ends[0]);
  UniqueFd to_parent(ends[1]);
  const pid_t pid = fork();
  if (pid < 0) {
    info->error = errno;
    return;
  }
  if (pid == 0) run_lookup(to_parent.get(), user);
  to_parent.reset(-1);
  int status = 0;
  if (wait_for_child(pid, ACCOUNT_LOOKUP_DEADLINE_MS, &status) != 0) {
    info->outcome = AccountLookup::kTimedOut;
    return;
  }
  ssize_t n = 0;
  do {
    n = read(from_child.get(), info, sizeof *info);
  } while (n < 0 && errno == EINTR);
  if (n != static_cast<ssize_t>(sizeof *info) || !WIFEXITED(status)) {
    std::memset(info, 0, sizeof *info);
    info->outcome = AccountLookup::kNoAnswer;
  }
}
