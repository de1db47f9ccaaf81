#include "gates/home_verdict.h"

#include <cstring>
#include <cerrno>

#include <gtest/gtest.h>

namespace {

struct VerdictCase {
  HomeState home;
  XauthState xauth;
  bool system_dir;
  bool x_session;
  StackHome::State stack;
  const char* reason;  // null: the session starts
};

constexpr StackHome::State kYes = StackHome::kMakesHome;
constexpr StackHome::State kNo = StackHome::kNoHome;
constexpr StackHome::State kMaybe = StackHome::kCannotTell;

}  // namespace

// Which homes LightDM starts a session in: a missing home only where the session stack surely
// makes it; the X authority only for an X session, unless it is kept in the system; and a home
// the user may enter needs nothing else.
TEST(HomeVerdict, ExcusesOnlyWhatTheSetupMakesGood) {
  const char* missing = "LightDM could not start kd's session in /home/kd, which does not exist";
  const char* xauth =
      "LightDM could not write kd's X authority, since kd may not write /home/kd/.Xauthority";
  const char* create = "LightDM could not write kd's X authority, since kd may not create /x/a";
  const HomeState ok = HomeState::kEnterable;
  const VerdictCase cases[] = {
      {ok, XauthState::kWritable, false, true, kNo, nullptr},
      {ok, XauthState::kCreatable, false, true, kNo, nullptr},
      {HomeState::kMissing, XauthState::kCannotTell, false, true, kNo, missing},
      {HomeState::kMissing, XauthState::kCannotTell, true, false, kNo, missing},
      {HomeState::kMissing, XauthState::kCannotTell, false, true, kYes, nullptr},
      {HomeState::kMissing, XauthState::kCannotTell, false, true, kMaybe,
       "cannot tell whether PAM makes kd's missing home /home/kd: /etc/pam.d/common-session line "
       "2 may end the session stack or jump past pam_mkhomedir"},
      // A link to nothing is not a missing home: pam_mkhomedir cannot make it.
      {HomeState::kDanglingLink, XauthState::kCannotTell, false, true, kYes,
       "LightDM could not start kd's session in /home/kd, a symbolic link to nothing"},
      {HomeState::kNotDirectory, XauthState::kCannotTell, false, true, kYes,
       "LightDM could not start kd's session in /home/kd, which is not a directory"},
      {HomeState::kNotEnterable, XauthState::kWritable, true, false, kYes,
       "LightDM could not start kd's session in /home/kd, which kd may not enter"},
      {ok, XauthState::kNotWritable, false, true, kYes, xauth},
      {ok, XauthState::kNotWritable, true, true, kNo, nullptr},
      {ok, XauthState::kNotWritable, false, false, kNo, nullptr},
      {ok, XauthState::kNotCreatable, false, true, kNo, create},
      {ok, XauthState::kNotCreatable, true, true, kNo, nullptr},
      {ok, XauthState::kNotRegular, false, true, kNo,
       "LightDM could not write kd's X authority, since /home/kd/.Xauthority is not a regular "
       "file"},
      {ok, XauthState::kCannotTell, false, true, kNo,
       "cannot tell whether LightDM could start kd's session in /home/kd: Input/output error"},
      {HomeState::kCannotTell, XauthState::kWritable, true, true, kYes,
       "cannot tell whether LightDM could start kd's session in /home/kd: Input/output error"},
  };
  static UserProbe probe;
  for (const VerdictCase& c : cases) {
    std::memset(&probe, 0, sizeof probe);
    probe.done = true;
    probe.home = c.home;
    probe.home_error = EIO;
    probe.xauth = c.xauth;
    probe.xauth_error = EIO;
    std::strcpy(probe.home_path, "/home/kd");
    std::strcpy(probe.xauth_path, "/x/a");
    HomeRules rules{c.system_dir, StackHome{c.stack, "/etc/pam.d/common-session", 2},
                    c.x_session};
    char reason[512] = "";
    const bool serves = home_serves_session("kd", probe, rules, reason, sizeof reason);
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
  static const HomeRules lenient{true, StackHome{kYes, "", 0}, false};
  EXPECT_FALSE(home_serves_session("kd", probe, lenient, reason, sizeof reason));
  EXPECT_STREQ(reason, "cannot look at kd's home directory: it did not answer within 30 seconds");
  probe.done = true;
  probe.home = HomeState::kMissing;
  std::memset(probe.home_path, 'x', 300);
  EXPECT_FALSE(home_serves_session("kd", probe, HomeRules{}, reason, 100));
  EXPECT_STREQ(reason, "LightDM could not start kd's session in the home");
}
