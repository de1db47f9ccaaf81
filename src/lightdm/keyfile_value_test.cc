#include "lightdm/keyfile_value.h"

#include <string>

#include <gtest/gtest.h>

namespace {

KeyFileString decode(const std::string& raw) {
  static KeyFileString value;
  decode_keyfile_string(Span{raw.data(), raw.size()}, &value);
  return value;
}

}  // namespace

// What LightDM reads from a value, checked against its daemon: atoi for timeouts, "true" and
// blanks for switches, and all of it however long the value is.
TEST(KeyFileValue, ReadsNumbersAndSwitchesAsLightdmDoes) {
  struct Case {
    std::string raw;
    int integer;
    bool truth;
  };
  const Case cases[] = {
      {"5", 5, false},
      {"\\s5", 5, false},
      {"\x0b" "7", 7, false},  // atoi skips a vertical tab; GLib's blanks do not include it
      {"5x", 5, false},
      {"0x9", 0, false},
      {"- 5", 0, false},
      {"+7", 7, false},
      {"-1", -1, false},
      {"2147483648", -2147483648, false},
      {"4294967296", 0, false},
      {"99999999999999999999", -1, false},  // strtol stops at LONG_MAX; cut to an int
      {std::string(1100, '0') + "5", 5, false},
      {"true", 0, true},
      {"true \t", 0, true},
      {"true\\t", 0, true},
      {"true\x0b", 0, false},
      {"True", 0, false},
      {"truex", 0, false},
      {"tru", 0, false},
      {"true" + std::string(1030, ' '), 0, true},
      {"true" + std::string(1030, ' ') + "x", 0, false},
  };
  for (const Case& c : cases) {
    KeyFileString value = decode(c.raw);
    EXPECT_TRUE(value.present) << c.raw;
    EXPECT_EQ(seat_integer(value, GlibRule::kKeepsBadEscapes), c.integer) << c.raw;
    EXPECT_EQ(seat_boolean(value, GlibRule::kKeepsBadEscapes), c.truth) << c.raw;
  }
}

TEST(KeyFileValue, ResolvesEscapesAndRefusesBrokenUtf8) {
  struct Case {
    std::string raw;
    bool present;
    std::string text;
  };
  const Case cases[] = {
      {"bob\\s", true, "bob "},
      {"a\\qb", true, "a\\qb"},
      {"ab\\", true, "ab"},
      {"\\\\n", true, "\\n"},
      {"caf\xc3\xa9", true, "caf\xc3\xa9"},
      {"b\xff", false, ""},
      {"\xc3", false, ""},
      {"\xed\xa0\x80", false, ""},  // a surrogate
      {"\xc0\xaf", false, ""},      // an overlong "/"
  };
  for (const Case& c : cases) {
    KeyFileString value = decode(c.raw);
    EXPECT_EQ(value.present, c.present) << c.raw;
    if (c.present) {
      EXPECT_TRUE(keyfile_string_equals(value, c.text.c_str())) << c.raw;
    }
  }
  KeyFileString longer = decode(std::string(KEYFILE_VALUE_MAX + 1, 'a'));
  EXPECT_FALSE(keyfile_string_equals(longer, std::string(KEYFILE_VALUE_MAX, 'a').c_str()));
}
