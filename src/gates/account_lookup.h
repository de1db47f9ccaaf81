#ifndef BRINDLEWAY_GATES_ACCOUNT_LOOKUP_H_
#define BRINDLEWAY_GATES_ACCOUNT_LOOKUP_H_

#include <sys/types.h>

/// How a lookup ended.
enum class AccountLookup {
  kFound,
  kNotFound,
  kFailed,    // the name service answered with an error number
  kTimedOut,  // no answer within CHILD_DEADLINE_MS
  kNoAnswer,  // the child could not be started or ended without an answer
};

/// What the name service said of one account, fit to pass through a pipe. Only the uid is
/// judged here; the look at the home looks the account up again, as the user.
struct AccountInfo {
  AccountLookup outcome;
  int error;  // the error number, for kFailed and kNoAnswer
  uid_t uid;
};

/// Looks |user| up with getpwnam_r, as LightDM does, in a child process that starts clean
/// (clean_child_start) and is killed with its process group when it has not answered within
/// CHILD_DEADLINE_MS. A name service module that never answers, or leaves threads
/// and handlers behind, holds up nothing but that child. Fills |info|.
void look_up_account(const char* user, AccountInfo* info);

#endif  // BRINDLEWAY_GATES_ACCOUNT_LOOKUP_H_
