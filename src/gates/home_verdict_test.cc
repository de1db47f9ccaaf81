#include "gates/home_verdict.h"

#include <cstring>
#include <cerrno>

#include <gtest/gtest.h>

namespace {

struct VerdictCase {
  HomeState home;
  bool system_dir;
  bool makes_home;
  const char* reason;  // null: the session starts
};

}  // namespace

// Which homes LightDM starts a session in, under the two settings that excuse something: a
// session stack that makes the home excuses its absence only, and an authority kept in the
// system excuses ~/.Xauthority only.
TEST(HomeVerdict, ExcusesOnlyWhatTheSetupMakesGood) {
  const char* missing = "LightDM could not start kd's session in /home/kd, which does not exist";
  const char* xauth =
      "LightDM could not write kd's X authority, since kd may not write /home/kd/.Xauthority";
  const char* unwritable =
      "LightDM could not start kd's session in /home/kd, where kd may not create files";
  const VerdictCase cases[] = {
      {HomeState::kUsable, false, false, nullptr},
      {HomeState::kMissing, false, false, missing},
      {HomeState::kMissing, true, false, missing},
      {HomeState::kMissing, false, true, nullptr},
      {HomeState::kNotDirectory, false, true,
       "LightDM could not start kd's session in /home/kd, which is not a directory"},
      {HomeState::kNotEnterable, true, true,
       "LightDM could not start kd's session in /home/kd, which kd may not enter"},
      {HomeState::kNotWritable, true, true, unwritable},
      {HomeState::kXauthorityNotWritable, false, true, xauth},
      {HomeState::kXauthorityNotWritable, true, false, nullptr},
      {HomeState::kCannotTell, true, true,
       "cannot tell whether LightDM could start kd's session in /home/kd: Input/output error"},
  };
  static UserProbe probe;
  for (const VerdictCase& c : cases) {
    std::memset(&probe, 0, sizeof probe);
    probe.done = true;
    probe.home = c.home;
    probe.home_error = EIO;
    std::strcpy(probe.home_path, "/home/kd");
    char reason[512] = "";
    const bool serves =
        home_serves_session("kd", probe, HomeRules{c.system_dir, c.makes_home}, reason,
                            sizeof reason);
    EXPECT_EQ(serves, c.reason == nullptr) << static_cast<int>(c.home);
    if (c.reason != nullptr) {
      EXPECT_STREQ(reason, c.reason);
    }
  }
  // A look that could not be had refuses, with its reason; a reason that does not fit still
  // refuses, in words that do.
  std::memset(&probe, 0, sizeof probe);
  std::strcpy(probe.why, "it did not answer within 30 seconds");
  char reason[512];
  EXPECT_FALSE(home_serves_session("kd", probe, HomeRules{true, true}, reason, sizeof reason));
  EXPECT_STREQ(reason, "cannot look at kd's home directory: it did not answer within 30 seconds");
  probe.done = true;
  probe.home = HomeState::kMissing;
  std::memset(probe.home_path, 'x', 300);
  EXPECT_FALSE(home_serves_session("kd", probe, HomeRules{}, reason, 100));
  EXPECT_STREQ(reason, "LightDM could not start kd's session in the home");
}
