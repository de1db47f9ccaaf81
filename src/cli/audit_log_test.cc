#include "cli/audit_log.h"

#include <gtest/gtest.h>

// The audit line names whoever pkexec says asked; a value it did not write must not pass for a
// uid, and none may be read as another (a wrap past uid_t, a sign, a blank).
TEST(ParseUid, TakesPlainDecimalDigitsThatFit) {
  struct Case {
    const char* text;
    bool ok;
    uid_t uid;
  };
  const Case cases[] = {
      {"1000", true, 1000},
      {"0", true, 0},
      {"007", true, 7},
      {"4294967294", true, 4294967294U},
      {"4294967295", false, 0},   // (uid_t)-1: no uid
      {"4294967296", false, 0},   // wraps to 0
      {"18446744073709551616000", false, 0},
      {"", false, 0},
      {"-1", false, 0},
      {"+1000", false, 0},
      {" 1000", false, 0},
      {"1000 ", false, 0},
      {"1000\n", false, 0},
      {"0x10", false, 0},
      {"1e3", false, 0},
  };
  for (const Case& c : cases) {
    uid_t uid = 12345;
    EXPECT_EQ(parse_uid(c.text, &uid), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(uid, c.ok ? c.uid : 12345U) << '"' << c.text << '"';
  }
}
