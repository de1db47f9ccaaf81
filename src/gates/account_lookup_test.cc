#include "gates/account_lookup.h"

#include <csignal>
#include <cstring>

#include <gtest/gtest.h>

namespace {

// The lookup's answer crosses a pipe from a child: what the name service says of root and of a
// name no system has arrives whole.
TEST(AccountLookupTest, AnswersFromTheChild) {
  // The child is waited for with SIGCHLD at its default, as the front door leaves it.
  std::signal(SIGCHLD, SIG_DFL);
  AccountInfo info;
  look_up_account("root", &info);
  ASSERT_EQ(info.outcome, AccountLookup::kFound);
  EXPECT_EQ(info.uid, 0U);

  look_up_account("brindleway-no-such-user", &info);
  EXPECT_EQ(info.outcome, AccountLookup::kNotFound);
  EXPECT_EQ(info.error, 0);
}

}  // namespace
