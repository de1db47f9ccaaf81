#include "common/format_text.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

/// Returns true if |text| is whole UTF-8 characters (only the lead/continuation shape counts).
bool whole_characters(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t need = lead < 0x80 ? 1 : lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : 2;
    if (i + need > text.size()) return false;
    for (std::size_t k = 1; k < need; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) return false;
    }
    i += need;
  }
  return true;
}

TEST(FormatText, CutsAtAWholeCharacterAndSaysSo) {
  // One-, two-, three- and four-byte characters, so every size cuts somewhere new.
  const std::string text = "a\xc3\xbc\xe4\xbc\x9a\xf0\x9f\x98\x80z \xe8\xaf\x9d\xc3\xa9.";
  for (std::size_t size = 4; size <= text.size() + 2; ++size) {
    std::string buf(size, '#');
    const bool fitted = format_text(&buf[0], size, "%s", text.c_str());
    const std::string out(buf.c_str());
    EXPECT_EQ(fitted, text.size() < size) << size;
    EXPECT_LT(out.size(), size) << size;
    if (fitted) {
      EXPECT_EQ(out, text) << size;
      continue;
    }
    ASSERT_GE(out.size(), 3u) << size;
    EXPECT_EQ(out.substr(out.size() - 3), "...") << size;
    const std::string kept = out.substr(0, out.size() - 3);
    EXPECT_TRUE(whole_characters(kept)) << size << ": " << out;
    EXPECT_EQ(text.compare(0, kept.size(), kept), 0) << size;
    // Nothing whole that had room was dropped: at most one character's worth is missing.
    EXPECT_GE(kept.size() + 3, size - 1 - 3) << size;
  }
}

}  // namespace
