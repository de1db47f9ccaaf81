#include "gates/account_lookup.h"

#include <cerrno>
#include <cstring>

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/clean_child.h"
#include "common/constants.h"

// The account must be found the way LightDM finds it, through the name service, and a module
// of the name service can wait without end on a directory server that is gone. So the lookup
// runs in a child with the one deadline of every child, as the PAM check does, and sends its
// whole answer back in one write of less than PIPE_BUF bytes, which arrives whole or not at all.

namespace {

static_assert(sizeof(AccountInfo) < 4096, "one write to a pipe must arrive whole");

/// The child: looks |user| (|arg|) up and writes the AccountInfo to |out|.
void run_lookup(int out, void* arg) {
  const char* user = static_cast<const char*>(arg);
  // Every byte is set, padding included: all of it goes down the pipe.
  static AccountInfo info;
  std::memset(&info, 0, sizeof info);
  // getpwnam_r says "not found" (0 and no entry) apart from a failed lookup (an error number),
  // which must not pass for an absent account. On the child's stack, which the front door made
  // large enough, and out of the program's image.
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
  ssize_t ignored = write(out, &info, sizeof info);
  (void)ignored;
}

}  // namespace

void look_up_account(const char* user, AccountInfo* info) {
  ChildRun run{};
  run_clean_child(run_lookup, const_cast<char*>(user), ChildStreams::kNull, CHILD_DEADLINE_MS,
                  info, sizeof *info, &run);
  if (run.outcome == ChildOutcome::kEnded && run.len == sizeof *info && !run.cut &&
      WIFEXITED(run.status)) {
    return;
  }
  const AccountLookup outcome = run.outcome == ChildOutcome::kTimedOut ||
                                        run.outcome == ChildOutcome::kLeftRunning
                                    ? AccountLookup::kTimedOut
                                    : AccountLookup::kNoAnswer;
  std::memset(info, 0, sizeof *info);
  info->outcome = outcome;
  info->error = run.error;
}
