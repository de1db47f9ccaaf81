#include "lightdm/session_road.h"

#include <string>

#include <gtest/gtest.h>

TEST(ShellFirstWord, SplitsAsGlibDoes) {
  struct Case {
    const char* text;
    ShellWords result;
    const char* word;
  };
  const Case cases[] = {
      {"/usr/bin/setup --now", ShellWords::kWords, "/usr/bin/setup"},
      {"  \tsetup", ShellWords::kWords, "setup"},
      {"'my setup' x", ShellWords::kWords, "my setup"},
      {"\"a\\\"b\\q\" c", ShellWords::kWords, "a\"b\\q"},
      {"se\\ tup", ShellWords::kWords, "se tup"},
      {"a'b'\"c\"d e", ShellWords::kWords, "abcd"},
      {"# note\nsetup", ShellWords::kWords, "setup"},
      {"a#b", ShellWords::kWords, "a#b"},
      {"'' x", ShellWords::kWords, ""},
      {"", ShellWords::kEmpty, ""},
      {" \t\n", ShellWords::kEmpty, ""},
      {"# only a comment", ShellWords::kEmpty, ""},
      {"setup 'open", ShellWords::kInvalid, ""},
      {"\"open", ShellWords::kInvalid, ""},
      {"setup \\", ShellWords::kInvalid, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    char word[64];
    const ShellWords result = shell_first_word(c.text, word, sizeof word);
    EXPECT_EQ(result, c.result);
    if (result == ShellWords::kWords) {
      EXPECT_STREQ(word, c.word);
    }
  }
  char small[4];
  EXPECT_EQ(shell_first_word("toolong x", small, sizeof small), ShellWords::kInvalid);
}

TEST(SessionKind, FollowsTheKeyThenTheDirectory) {
  KeyFileString x{true, false, "x", 1, 0, false};
  KeyFileString wayland{true, false, "wayland", 7, 0, false};
  KeyFileString mir{true, false, "mir", 3, 0, false};
  struct Case {
    const char* dir;
    const KeyFileString* type;
    bool rule;
    SessionKind kind;
  };
  const Case cases[] = {
      {"/usr/share/xsessions", nullptr, true, SessionKind::kX},
      {"/usr/share/wayland-sessions", nullptr, true, SessionKind::kWayland},
      {"/opt/wayland-sessions", nullptr, true, SessionKind::kWayland},
      {"/usr/share/wayland-sessions", nullptr, false, SessionKind::kX},
      {"/usr/share/wayland-sessions2", nullptr, true, SessionKind::kX},
      {"/usr/share/wayland-sessions", &x, true, SessionKind::kX},
      {"/usr/share/xsessions", &wayland, false, SessionKind::kWayland},
      {"/usr/share/xsessions", &mir, true, SessionKind::kOther},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir);
    EXPECT_EQ(session_kind(c.dir, c.type, c.rule), c.kind);
  }
}

TEST(SeatTypeVerdict, TakesTheFirstTypeLightdmCanCreate) {
  struct Case {
    const char* types;
    bool knows_unity;
    SeatTypeVerdict verdict;
    const char* entry;
  };
  const Case cases[] = {
      {"local", true, SeatTypeVerdict::kLocal, "local"},
      {"xlocal", false, SeatTypeVerdict::kLocal, "xlocal"},
      {"unity;local", false, SeatTypeVerdict::kLocal, "local"},
      {"unity;local", true, SeatTypeVerdict::kNone, ""},
      {"nosuch;xlocal;", true, SeatTypeVerdict::kLocal, "xlocal"},
      {"xremote;local", false, SeatTypeVerdict::kRemote, "xremote"},
      {"", false, SeatTypeVerdict::kNone, ""},
      {"unity", false, SeatTypeVerdict::kNone, ""},
      {" local", false, SeatTypeVerdict::kNone, ""},
      {"localx;;", false, SeatTypeVerdict::kNone, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.types);
    char entry[16] = "";
    EXPECT_EQ(seat_type_verdict(c.types, c.knows_unity, entry, sizeof entry), c.verdict);
    if (c.verdict != SeatTypeVerdict::kNone) {
      EXPECT_STREQ(entry, c.entry);
    }
  }
}
