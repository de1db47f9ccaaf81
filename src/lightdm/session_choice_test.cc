#include "lightdm/session_choice.h"

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "lightdm/source_scan.h"

namespace {

/// A file as a case gives it: "-" absent, "?" not checked, "!" unreadable, "+" too large, or
/// its text.
ReadText text_of(const std::string& given, const char* path) {
  ReadText text{ReadText::kRead, 0, nullptr, Span{given.data(), given.size()}, path};
  if (given == "-") text.state = ReadText::kAbsent;
  if (given == "?") text.state = ReadText::kNotChecked;
  if (given == "!") text.state = ReadText::kUnreadable, text.error = EIO;
  if (given == "+") text.state = ReadText::kTooLarge;
  return text;
}

/// The model LightDM makes of |conf|, read as lightdm.conf.
const SeatModel& model_of(const std::string& conf) {
  static SeatModel model;
  static SeatList seats;
  seat_list_reset(&seats);
  seat_model_reset(&model, seats);
  SourceScan scan;
  scan_begin(&scan, "/etc/lightdm/lightdm.conf", model.seats);
  scan_text(&scan, conf.data(), conf.size());
  EXPECT_EQ(scan_merge(&scan, &model), SourceOutcome::kLoaded) << conf;
  return model;
}

constexpr char kNoRecord[] = "-";

}  // namespace

// Every setting that can choose, in LightDM's order, with empty values, values the two GLib
// versions read apart, files GLib cannot load and files that cannot be read.
TEST(SessionChoice, FollowsLightdmsOrderAndRefusesToGuess) {
  using S = SessionChoice::State;
  using O = SessionOrigin;
  struct Case {
    const char* what;
    std::string conf;
    bool accounts;
    std::string record, dmrc, cache;
    S state;
    O origin;
    const char* name;  // or, when not chosen, a word of the reason
  };
  const std::string seat = "[Seat:*]\n";
  const std::string dmrc_x = "[Desktop]\nSession=xfce\n";
  const std::string cache_y = "[Desktop]\nSession=cached\n";
  const Case cases[] = {
      {"nothing set: LightDM's default", seat, false, kNoRecord, "-", "-", S::kChosen,
       O::kBuiltIn, "lightdm-xsession"},
      {"autologin-session wins", seat + "autologin-session=a\nuser-session=u\n", false, kNoRecord,
       dmrc_x, cache_y, S::kChosen, O::kAutologinSession, "a"},
      {"an empty autologin-session names ''", seat + "autologin-session=\n", false, kNoRecord,
       dmrc_x, "-", S::kChosen, O::kAutologinSession, ""},
      {"an autologin-session read apart", seat + "autologin-session=a\\qb\n", false, kNoRecord,
       "-", "-", S::kCannotTell, O::kBuiltIn, "autologin-session"},
      {"autologin-session not UTF-8: LightDM gets none", seat + "autologin-session=\xff\n", false,
       kNoRecord, dmrc_x, "-", S::kChosen, O::kDmrc, "xfce"},
      {"the last group that sets it wins", seat + "autologin-session=a\n[Seat:*]\nautologin-session=b\n",
       false, kNoRecord, "-", "-", S::kChosen, O::kAutologinSession, "b"},
      {".dmrc", seat + "user-session=u\n", false, kNoRecord, dmrc_x, cache_y, S::kChosen, O::kDmrc,
       "xfce"},
      {"an empty .dmrc Session counts as none", seat + "user-session=u\n", false, kNoRecord,
       "[Desktop]\nSession=\n", cache_y, S::kChosen, O::kUserSession, "u"},
      {".dmrc without Session", seat, false, kNoRecord, "[Desktop]\nLanguage=de\n", cache_y,
       S::kChosen, O::kBuiltIn, "lightdm-xsession"},
      {".dmrc Session in another group", seat, false, kNoRecord, "[Other]\nSession=x\n", "-",
       S::kChosen, O::kBuiltIn, "lightdm-xsession"},
      {".dmrc absent: the cache", seat, false, kNoRecord, "-", cache_y, S::kChosen,
       O::kDmrcCache, "cached"},
      {".dmrc not loadable: the cache", seat, false, kNoRecord, "[Desktop]\nbroken\n", cache_y,
       S::kChosen, O::kDmrcCache, "cached"},
      {".dmrc key before a group: the cache", seat, false, kNoRecord, "Session=x\n", cache_y,
       S::kChosen, O::kDmrcCache, "cached"},
      {".dmrc of another encoding: the cache", seat, false, kNoRecord,
       "[Desktop]\nEncoding=latin1\nSession=x\n", cache_y, S::kChosen, O::kDmrcCache, "cached"},
      {"a partial .dmrc with no cache", seat, false, kNoRecord, dmrc_x + "broken\n", "-",
       S::kCannotTell, O::kBuiltIn, "what GLib keeps"},
      {"a partial .dmrc without Session", seat, false, kNoRecord, "[Desktop]\nbroken\nSession=x\n",
       "-", S::kChosen, O::kBuiltIn, "lightdm-xsession"},
      {"a partial cache", seat, false, kNoRecord, "-", cache_y + "broken\n", S::kCannotTell,
       O::kBuiltIn, "what GLib keeps"},
      {"a .dmrc Session read apart", seat, false, kNoRecord, "[Desktop]\nSession=x\\\n", "-",
       S::kCannotTell, O::kBuiltIn, "2.77.3"},
      {"a .dmrc line not judged", seat, false, kNoRecord, "[Desktop]\nName[\xc3\xa9]=x\n", "-",
       S::kCannotTell, O::kBuiltIn, "non-ASCII"},
      {".dmrc too large", seat, false, kNoRecord, "+", "-", S::kCannotTell, O::kBuiltIn, "large"},
      {".dmrc unreadable", seat, false, kNoRecord, "!", "-", S::kCannotTell, O::kBuiltIn,
       "Input/output"},
      {".dmrc not checked", seat, false, kNoRecord, "?", "-", S::kNotChecked, O::kBuiltIn,
       "could not be read"},
      {"the cache not checked", seat, false, kNoRecord, "-", "?", S::kNotChecked, O::kBuiltIn,
       "could not be read"},
      {"user-session", seat + "user-session=u\n", false, kNoRecord, "-", "-", S::kChosen,
       O::kUserSession, "u"},
      {"an empty user-session names ''", seat + "user-session=\n", false, kNoRecord, "-", "-",
       S::kChosen, O::kUserSession, ""},
      {"a user-session read apart", seat + "user-session=u\\\n", false, kNoRecord, "-", "-",
       S::kCannotTell, O::kBuiltIn, "user-session"},
      {"a user-session not UTF-8", seat + "user-session=\xc3\n", false, kNoRecord, "-", "-",
       S::kCannotTell, O::kBuiltIn, "UTF-8"},
      {"AccountsService decides over .dmrc", seat, true, "[User]\nXSession=gnome\n", dmrc_x,
       cache_y, S::kChosen, O::kAccountsService, "gnome"},
      {"AccountsService with an empty XSession", seat + "user-session=u\n", true,
       "[User]\nXSession=\n", dmrc_x, "-", S::kChosen, O::kUserSession, "u"},
      {"AccountsService's Session is not LightDM's", seat, true, "[User]\nSession=gnome\n",
       dmrc_x, "-", S::kChosen, O::kBuiltIn, "lightdm-xsession"},
      {"an AccountsService record it cannot load", seat, true,
       "[User]\nXSession=gnome\nbroken\n", dmrc_x, "-", S::kChosen, O::kBuiltIn,
       "lightdm-xsession"},
      {"an XSession read apart", seat, true, "[User]\nXSession=a\\qb\n", "-", "-",
       S::kCannotTell, O::kBuiltIn, "2.77.3"},
      {"no record, and .dmrc names nothing", seat, true, kNoRecord, "-", "-", S::kChosen,
       O::kBuiltIn, "lightdm-xsession"},
      {"no record, and .dmrc names a session", seat, true, kNoRecord, dmrc_x, "-",
       S::kCannotTell, O::kBuiltIn, "lists the account"},
      {"the record not checked", seat, true, "?", "-", "-", S::kNotChecked, O::kBuiltIn,
       "could not be read"},
      {"the record too large", seat, true, "+", "-", "-", S::kCannotTell, O::kBuiltIn, "large"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SessionSources sources{c.accounts, text_of(c.record, "/var/lib/AccountsService/users/kd"),
                           text_of(c.dmrc, "~kd/.dmrc"),
                           text_of(c.cache, "/var/cache/lightdm/dmrc/kd.dmrc"), nullptr};
    static SessionChoice choice;
    choose_session(model_of(c.conf), SEAT_INDEX_SEAT0, sources, &choice);
    EXPECT_EQ(choice.state, c.state);
    if (c.state == S::kChosen) {
      EXPECT_EQ(choice.origin, c.origin);
      EXPECT_EQ(std::string(choice.name.text, choice.name.len), c.name);
    } else {
      EXPECT_NE(std::string(choice.why).find(c.name), std::string::npos) << choice.why;
    }
  }
}

// Where a seat's own section and the directories and cache LightDM is given come in.
TEST(SessionChoice, ReadsSeatSectionsAndLightdmsDirectories) {
  const SeatModel& model = model_of(
      "[Seat:*]\nuser-session=u\n[Seat:seat0]\nautologin-session=s0\n[LightDM]\n"
      "sessions-directory=/a:/b\ncache-directory=/c\n");
  SessionSources none{false, text_of("-", "r"), text_of("-", "d"), text_of("-", "c"), nullptr};
  static SessionChoice choice;
  choose_session(model, SEAT_INDEX_SEAT0, none, &choice);
  EXPECT_EQ(std::string(choice.name.text), "s0");
  choose_session(model, SEAT_INDEX_NO_LOGIND, none, &choice);
  EXPECT_EQ(std::string(choice.name.text), "u");
  const char* dirs = nullptr;
  char why[SESSION_WHY_MAX + 1];
  ASSERT_EQ(sessions_dirs(model, &dirs, why), 0);
  EXPECT_STREQ(dirs, "/a:/b");
  char path[256];
  ASSERT_EQ(dmrc_cache_path(model, "kd", path, sizeof path, why), 0);
  EXPECT_STREQ(path, "/c/dmrc/kd.dmrc");
  ASSERT_EQ(sessions_dirs(model_of("[Seat:*]\n"), &dirs, why), 0);
  EXPECT_STREQ(dirs, LIGHTDM_DEFAULT_SESSIONS_DIRS);
  ASSERT_EQ(dmrc_cache_path(model_of("[Seat:*]\n"), "kd", path, sizeof path, why), 0);
  EXPECT_STREQ(path, "/var/cache/lightdm/dmrc/kd.dmrc");
  for (const char* bad : {"[LightDM]\nsessions-directory=/a\\q\n", "[LightDM]\nsessions-directory=a\n",
                          "[LightDM]\nsessions-directory=\xff\n"}) {
    EXPECT_EQ(sessions_dirs(model_of(bad), &dirs, why), 1) << bad;
  }
  EXPECT_EQ(dmrc_cache_path(model_of("[LightDM]\ncache-directory=/c\\\n"), "kd", path,
                            sizeof path, why), 1);
}

// A candidate .desktop file: loads with Exec, passes to the next directory, or cannot be told.
TEST(SessionChoice, JudgesSessionFilesAsLightdmLoadsThem) {
  using V = DesktopJudgement::Verdict;
  struct Case {
    std::string text;
    const char* dir;
    V verdict;
    bool x;
  };
  const Case cases[] = {
      {"[Desktop Entry]\nName=X\nName[de]=Y\nExec=/bin/x\n", "/usr/share/xsessions", V::kWins,
       true},
      {"[Desktop Entry]\nExec=\n", "/usr/share/xsessions", V::kWins, true},
      {"[Desktop Entry]\nName=X\n", "/usr/share/xsessions", V::kPasses, false},
      {"[Other]\nExec=/bin/x\n", "/usr/share/xsessions", V::kPasses, false},
      {"[Desktop Entry]\nExec[de]=/bin/x\n", "/usr/share/xsessions", V::kPasses, false},
      {"[Desktop Entry]\nExec=\xff\n", "/usr/share/xsessions", V::kPasses, false},
      {"", "/usr/share/xsessions", V::kPasses, false},
      {"Exec=/bin/x\n", "/usr/share/xsessions", V::kPasses, false},
      {"[Desktop Entry]\nExec=/bin/x\nnot a line\n", "/usr/share/xsessions", V::kPasses, false},
      {"[Desktop Entry]\nExec=sh -c \\$x\n", "/usr/share/xsessions", V::kCannotTell, false},
      {"[Desktop Entry]\nName[\xc3\xa9]=x\nExec=/bin/x\n", "/usr/share/xsessions",
       V::kCannotTell, false},
      {"[Desktop Entry]\nExec=/bin/x\n", "/usr/share/wayland-sessions", V::kWins, true},
      {"[Desktop Entry]\nExec=/bin/x\nX-LightDM-Session-Type=x\n", "/usr/share/wayland-sessions",
       V::kWins, true},
      {"[Desktop Entry]\nExec=/bin/x\nX-LightDM-Session-Type=wayland\n", "/usr/share/xsessions",
       V::kWins, false},
      {"[Desktop Entry]\nExec=/bin/x\nX-LightDM-Session-Type=x\\\n", "/usr/share/xsessions",
       V::kCannotTell, false},
      {"[Desktop Entry]\nExec=/bin/y\n[Desktop Entry]\nExec=/bin/x\n", "/usr/share/xsessions",
       V::kWins, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DesktopJudgement judgement;
    judge_desktop_text(Span{c.text.data(), c.text.size()}, c.dir, false, &judgement);
    EXPECT_EQ(judgement.verdict, c.verdict);
    if (c.verdict == V::kWins) {
      EXPECT_EQ(judgement.kind == SessionKind::kX, c.x);
    }
  }
}
