#include "lightdm/display_setup.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/message_queue.h"
#include "lightdm/source_scan.h"

namespace {

struct DisplayCase {
  const char* text;      // the configuration file
  int seat0;             // seat0's display, or -1: cannot be told
  bool system_dir;       // user-authority-in-system-dir reads as true
};

/// Reads |text| as LightDM's only source into |model|, for seat0, no-logind and seat1, seat2.
void read_model(const char* text, SeatModel* model) {
  static SeatList seats;
  seat_list_reset(&seats);
  seat_list_add(&seats, "seat1");
  seat_list_add(&seats, "seat2");
  seat_model_reset(model, seats);
  static SourceScan scan;
  scan_begin(&scan, "/etc/lightdm/lightdm.conf", model->seats);
  scan_text(&scan, text, std::strlen(text));
  scan_merge(&scan, model);
}

/// Returns seat_display_number's result for |seat|, with what it said in |*said|.
int display_of(const SeatModel& model, std::size_t seat, unsigned* number, std::string* said) {
  testing::internal::CaptureStderr();
  const int result = seat_display_number(model, seat, number, "P: ");
  flush_messages();
  *said = testing::internal::GetCapturedStderr();
  return result;
}

}  // namespace

// The display LightDM gives seat0 at boot and where it writes X authority, as read from
// "[LightDM]": only that section counts, the last line wins, and a value GLib's integer reader
// might take otherwise is not guessed at.
TEST(DisplaySetup, ReadsLightdmSectionAsGlibIntegerAndBoolean) {
  const DisplayCase cases[] = {
      {"", 0, false},
      {"[LightDM]\nminimum-display-number=7\n", 7, false},
      {"[LightDM]\nminimum-display-number = 7  \n", 7, false},
      {"[LightDM]\nminimum-display-number=7\nminimum-display-number=3\n", 3, false},
      {"[LightDM]\nminimum-display-number=65535\n", 65535, false},
      {"[Seat:*]\nminimum-display-number=7\n", 0, false},
      {"[LightDM]\nminimum-display-number=\n", -1, false},
      {"[LightDM]\nminimum-display-number=+7\n", -1, false},
      {"[LightDM]\nminimum-display-number=-1\n", -1, false},
      {"[LightDM]\nminimum-display-number=7x\n", -1, false},
      {"[LightDM]\nminimum-display-number=7\\s\n", -1, false},
      {"[LightDM]\nminimum-display-number=65536\n", -1, false},
      {"[LightDM]\nminimum-display-number=0000000000007\n", -1, false},
      {"[LightDM]\nuser-authority-in-system-dir=true\n", 0, true},
      {"[LightDM]\nuser-authority-in-system-dir=1\n", 0, true},
      {"[LightDM]\nuser-authority-in-system-dir=true \t\n", 0, true},
      {"[LightDM]\nuser-authority-in-system-dir=True\n", 0, false},
      {"[LightDM]\nuser-authority-in-system-dir=true\\s\n", 0, false},
      {"[LightDM]\nuser-authority-in-system-dir=yes\n", 0, false},
      {"[LightDM]\nuser-authority-in-system-dir=false\n", 0, false},
      {"[Seat:*]\nuser-authority-in-system-dir=true\n", 0, false},
      {"[LightDM]\nuser-authority-in-system-dir=true\nuser-authority-in-system-dir=false\n", 0,
       false},
  };
  static SeatModel model;
  for (const DisplayCase& c : cases) {
    read_model(c.text, &model);
    unsigned number = 99;
    std::string said;
    const int result = display_of(model, SEAT_INDEX_SEAT0, &number, &said);
    if (c.seat0 < 0) {
      EXPECT_EQ(result, 1) << c.text;
      EXPECT_EQ(said.rfind("P: cannot tell which display LightDM gives its seats: "
                           "/etc/lightdm/lightdm.conf sets minimum-display-number=", 0),
                0u)
          << said;
    } else {
      EXPECT_EQ(result, 0) << c.text;
      EXPECT_EQ(said, "") << c.text;
      EXPECT_EQ(number, static_cast<unsigned>(c.seat0)) << c.text;
    }
    EXPECT_EQ(user_authority_in_system_dir(model), c.system_dir) << c.text;
  }
}

// seat0 and the one seat of a machine without logind take the first number; the other seats
// follow in the order logind lists them.
TEST(DisplaySetup, OtherSeatsFollowInOrder) {
  static SeatModel model;
  read_model("[LightDM]\nminimum-display-number=5\n", &model);
  const unsigned expected[] = {5, 5, 6, 7};
  for (std::size_t seat = 0; seat < 4; ++seat) {
    unsigned number = 0;
    std::string said;
    ASSERT_EQ(display_of(model, seat, &number, &said), 0);
    EXPECT_EQ(number, expected[seat]) << "seat " << seat;
  }
  read_model("[LightDM]\nminimum-display-number=65535\n", &model);
  unsigned number = 0;
  std::string said;
  EXPECT_EQ(display_of(model, 2, &number, &said), 1);
  // The value is printed through the quoting: an escape cannot forge a line.
  read_model("[LightDM]\nminimum-display-number=7\\n\n", &model);
  EXPECT_EQ(display_of(model, SEAT_INDEX_SEAT0, &number, &said), 1);
  EXPECT_EQ(said,
            "P: cannot tell which display LightDM gives its seats: /etc/lightdm/lightdm.conf sets "
            "minimum-display-number=7\\x5cn (line 2)\n");
}
