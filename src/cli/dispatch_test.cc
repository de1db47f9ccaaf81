#include "cli/dispatch.h"

#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "common/message_queue.h"

// The refusals that need no system state; the rest run against the built binary in tests/.
TEST(RunHelper, NamesItselfWhenTheCallerGaveNoProgramName) {
  if (geteuid() != 0) GTEST_SKIP() << "the usage lines come only after the root check";
  const std::string usage =
      "Usage: brindleway-helper enable <username>\n"
      "       brindleway-helper disable [username]\n";
  char* no_args[] = {nullptr};
  testing::internal::CaptureStderr();
  EXPECT_EQ(run_helper(0, no_args), 1);
  flush_messages();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), usage);

  char empty[] = "";
  char* empty_name[] = {empty, nullptr};
  testing::internal::CaptureStderr();
  EXPECT_EQ(run_helper(1, empty_name), 1);
  flush_messages();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), usage);
}
