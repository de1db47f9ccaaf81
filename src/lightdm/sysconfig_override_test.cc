#include "lightdm/sysconfig_override.h"

#include <string>

#include <gtest/gtest.h>

// The shell reads DISPLAYMANAGER_AUTOLOGIN; so must the helper, or say it cannot.
TEST(SysconfigOverride, ReadsTheVariableAsTheShellDoes) {
  struct Case {
    std::string text;
    int state;  // SysconfigAutologin's
    std::string value;
    unsigned line;
  };
  const int unset = SysconfigAutologin::kUnset;
  const int set = SysconfigAutologin::kSet;
  const int unsure = SysconfigAutologin::kUnsure;
  const Case cases[] = {
      {"", unset, "", 0},
      {"DISPLAYMANAGER=\"lightdm\"\n", unset, "", 0},
      {"DISPLAYMANAGER_AUTOLOGIN=\"bob\"\n", set, "bob", 1},
      {"DISPLAYMANAGER_AUTOLOGIN='bob'\n", set, "bob", 1},
      {"  DISPLAYMANAGER_AUTOLOGIN=bob  # who\n", set, "bob", 1},
      {"DISPLAYMANAGER_AUTOLOGIN=\"\"\n", set, "", 1},
      {"DISPLAYMANAGER_AUTOLOGIN=\n", set, "", 1},
      {"# DISPLAYMANAGER_AUTOLOGIN=\"bob\"\n", unset, "", 0},
      {"DISPLAYMANAGER_AUTOLOGIN=\"bob\"\nDISPLAYMANAGER_AUTOLOGIN=\"\"\n", set, "", 2},
      {"DISPLAYMANAGER_AUTOLOGIN=\"\"\nX=1\nDISPLAYMANAGER_AUTOLOGIN=carol", set, "carol", 3},
      {"DISPLAYMANAGER_AUTOLOGIN=\"$USER\"\n", unsure, "", 1},
      {"DISPLAYMANAGER_AUTOLOGIN=`id -un`\n", unsure, "", 1},
      {"DISPLAYMANAGER_AUTOLOGIN=b\\ob\n", unsure, "", 1},
      {"DISPLAYMANAGER_AUTOLOGIN='bob\\'\n", unsure, "", 1},
      {"DISPLAYMANAGER_AUTOLOGIN=\"bob\n", unsure, "", 1},
      {"DISPLAYMANAGER_AUTOLOGIN=bob#x\n", unsure, "", 1},
      {"DISPLAYMANAGER_AUTOLOGIN= bob\n", unsure, "", 1},
      {"export DISPLAYMANAGER_AUTOLOGIN=bob\n", unsure, "", 1},
      {"DISPLAYMANAGER_AUTOLOGIN+=bob\n", unsure, "", 1},
      {"DISPLAYMANAGER_AUTOLOGIN=\"bob\" x=1\n", unsure, "", 1},
  };
  for (const Case& c : cases) {
    const SysconfigAutologin got = parse_sysconfig_autologin(Span{c.text.data(), c.text.size()});
    EXPECT_EQ(got.state, c.state) << c.text;
    if (got.state == set) {
      EXPECT_EQ(std::string(got.value.data, got.value.len), c.value) << c.text;
    }
    if (c.state != unset) {
      EXPECT_EQ(got.line, c.line) << c.text;
    }
  }
}
