#include "seatconf/seat_rewrite.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/constants.h"

namespace {

const char kBlock[] = "autologin-user=alice\nautologin-user-timeout=0\n";

/// Rewrites |text| with a buffer of |cap| bytes. Returns the new text, or "<overflow>".
std::string rewrite(const std::string& text, bool enable, size_t cap = CONF_BUFFER_SIZE,
                    RewriteOptions options = RewriteOptions{false, false}) {
  std::vector<char> out(cap + 16, '~');
  Span result{nullptr, 0};
  AutologinRequest request{enable, enable ? "alice" : nullptr};
  int status = rewrite_seat_section(Span{text.data(), text.size()}, request, options, out.data(),
                                    cap, &result, nullptr);
  for (size_t i = cap; i < out.size(); ++i) EXPECT_EQ(out[i], '~') << "wrote past the buffer";
  if (status != 0) return "<overflow>";
  return std::string(result.data, result.len);
}

struct Case {
  const char* what;
  std::string input;
  std::string enabled;
  std::string disabled;
};

void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(rewrite(c.input, true), c.enabled) << c.what << " (enable)";
    EXPECT_EQ(rewrite(c.input, false), c.disabled) << c.what << " (disable)";
  }
}

}  // namespace

TEST(RewriteSeatSection, WorkedExample) {
  const std::string before = "[General]\nautologin-user=x\n";
  const std::string after = "\n[Other]\nautologin-user-timeout=9\n";
  check({{"worked example",
          before + "[Seat:*]\nsome-key=1\n#autologin-user=\n#autologin-user-timeout=0\n"
                   "#other-key=\n" + after,
          before + "[Seat:*]\nsome-key=1\nautologin-user=alice\nautologin-user-timeout=0\n"
                   "#other-key=\n" + after,
          before + "[Seat:*]\nsome-key=1\n#autologin-user=\n#autologin-user-timeout=0\n"
                   "#other-key=\n" + after},
         {"both lines missing",
          "[Seat:*]\nsome-key=1\n#other-key=\n\n[Other]\n",
          std::string("[Seat:*]\nsome-key=1\n#other-key=\n\n") + kBlock + "[Other]\n",
          "[Seat:*]\nsome-key=1\n#other-key=\n\n[Other]\n"}});
}

// Each row puts one line inside a [Seat:*] section. A line that is not an autologin line is
// kept, and enabling then appends the block at the end of the section.
TEST(RewriteSeatSection, ClassifiesLinesInsideTheSection) {
  struct Row {
    std::string line;
    enum { kUser, kTimeout, kOther } kind;
  };
  const Row rows[] = {
      {"autologin-user=bob", Row::kUser},
      {"autologin-user=", Row::kUser},
      {"  \t autologin-user=bob", Row::kUser},
      {"#autologin-user=", Row::kUser},
      {"# autologin-user=bob", Row::kUser},
      {" \t#\t autologin-user=bob", Row::kUser},
      {"autologin-user = bob", Row::kUser},
      {"autologin-user\t=bob", Row::kUser},
      {"\f\r autologin-user\f=bob", Row::kUser},
      {"#\fautologin-user=", Row::kUser},
      {std::string(3000, ' ') + "autologin-user" + std::string(3000, '\t') + "=bob", Row::kUser},
      {"autologin-user-timeout=5", Row::kTimeout},
      {"\t# autologin-user-timeout=0", Row::kTimeout},
      {"autologin-user-timeout =7", Row::kTimeout},
      {"##autologin-user=bob", Row::kOther},
      {"# #autologin-user=bob", Row::kOther},
      {";autologin-user=bob", Row::kOther},
      {"autologin-user-session=x", Row::kOther},
      {"autologin-user-timeoutx=1", Row::kOther},
      {"autologin-user", Row::kOther},
      {"autologin-users=bob", Row::kOther},
      {"autologin-guest=false", Row::kOther},
      {"xautologin-user=bob", Row::kOther},
      {"", Row::kOther},
      {"\vautologin-user=bob", Row::kOther},
      {"autologin-user[fr]=bob", Row::kOther},
  };
  for (const Row& row : rows) {
    const std::string input = "[Seat:*]\n" + row.line + "\n";
    std::string enabled;
    std::string disabled;
    switch (row.kind) {
      case Row::kUser:
        enabled = "[Seat:*]\nautologin-user=alice\n";
        disabled = "[Seat:*]\n#autologin-user=\n";
        break;
      case Row::kTimeout:
        enabled = std::string("[Seat:*]\nautologin-user-timeout=0\n") + kBlock;
        disabled = "[Seat:*]\n#autologin-user-timeout=0\n";
        break;
      case Row::kOther:
        enabled = input + kBlock;
        disabled = input;
        break;
    }
    EXPECT_EQ(rewrite(input, true), enabled) << "line: " << row.line;
    EXPECT_EQ(rewrite(input, false), disabled) << "line: " << row.line;
  }
}

TEST(RewriteSeatSection, FindsSectionsTheWayLightdmDoes) {
  check({
      {"no seat section gets one when enabling",
       "[General]\nautologin-user=bob\n",
       std::string("[General]\nautologin-user=bob\n[Seat:*]\n") + kBlock,
       "[General]\nautologin-user=bob\n"},
      {"empty text", "", std::string("[Seat:*]\n") + kBlock, ""},
      {"text ends with the header", "[Seat:*]\n", std::string("[Seat:*]\n") + kBlock,
       "[Seat:*]\n"},
      {"header without line feed", "[Seat:*]", std::string("[Seat:*]\n") + kBlock, "[Seat:*]"},
      {"blanks around the header",
       " \t[Seat:*] \t\nautologin-user=bob\n",
       " \t[Seat:*] \t\nautologin-user=alice\n",
       " \t[Seat:*] \t\n#autologin-user=\n"},
      {"old section name", "[SeatDefaults]\nautologin-user=bob\n",
       "[SeatDefaults]\nautologin-user=alice\n", "[SeatDefaults]\n#autologin-user=\n"},
      {"lower-case and named seats are other sections",
       "[seat:*]\nautologin-user=bob\n[Seat:seat0]\nautologin-user=bob\n",
       std::string("[seat:*]\nautologin-user=bob\n[Seat:seat0]\nautologin-user=bob\n[Seat:*]\n") +
           kBlock,
       "[seat:*]\nautologin-user=bob\n[Seat:seat0]\nautologin-user=bob\n"},
      {"another header closes the section",
       "[Seat:*]\nx=1\n# end\n\n[Other]\nautologin-user=bob\n",
       std::string("[Seat:*]\nx=1\n# end\n\n") + kBlock + "[Other]\nautologin-user=bob\n",
       "[Seat:*]\nx=1\n# end\n\n[Other]\nautologin-user=bob\n"},
      {"a header with text after it is no header at all",
       "[Seat:*]x\nautologin-user=bob\n",
       std::string("[Seat:*]x\nautologin-user=bob\n[Seat:*]\n") + kBlock,
       "[Seat:*]x\nautologin-user=bob\n"},
  });
}

TEST(RewriteSeatSection, KeepsOneUserLineAcrossSections) {
  check({
      {"later user and timeout lines are dropped",
       "[Seat:*]\nautologin-user=a\nautologin-user-timeout=1\nautologin-user=b\n"
       "#autologin-user-timeout=2\n",
       "[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n",
       "[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n#autologin-user=\n"
       "#autologin-user-timeout=0\n"},
      {"two sections: the first user line wins",
       "[Seat:*]\n#autologin-user=\n[Other]\nk=v\n[Seat:*]\nautologin-user=bob\n"
       "autologin-user-timeout=3\n",
       "[Seat:*]\nautologin-user=alice\n[Other]\nk=v\n[Seat:*]\nautologin-user-timeout=0\n",
       "[Seat:*]\n#autologin-user=\n[Other]\nk=v\n[Seat:*]\n#autologin-user=\n"
       "#autologin-user-timeout=0\n"},
      {"nothing goes between two headers in a row", "[Seat:*]\n[Seat:*]\nx=1\n",
       std::string("[Seat:*]\n[Seat:*]\nx=1\n") + kBlock, "[Seat:*]\n[Seat:*]\nx=1\n"},
      {"the block counts as the timeout line",
       "[Seat:*]\n[Other]\n[Seat:*]\nautologin-user-timeout=5\n",
       std::string("[Seat:*]\n") + kBlock + "[Other]\n[Seat:*]\n",
       "[Seat:*]\n[Other]\n[Seat:*]\n#autologin-user-timeout=0\n"},
      {"a timeout line but no user line gives the timeout twice",
       "[Seat:*]\nautologin-user-timeout=5\n[Other]\n",
       std::string("[Seat:*]\nautologin-user-timeout=0\n") + kBlock + "[Other]\n",
       "[Seat:*]\n#autologin-user-timeout=0\n[Other]\n"},
  });
}

TEST(RewriteSeatSection, KeepsLineTerminators) {
  check({
      {"CRLF", "[Seat:*]\r\nautologin-user=bob\r\nfoo=1\r\n",
       "[Seat:*]\r\nautologin-user=alice\nfoo=1\r\n",
       "[Seat:*]\r\n#autologin-user=\nfoo=1\r\n"},
      {"a second carriage return is part of the line, so this is no header",
       "[Seat:*]\r\r\nautologin-user=bob\r\n",
       std::string("[Seat:*]\r\r\nautologin-user=bob\r\n[Seat:*]\n") + kBlock,
       "[Seat:*]\r\r\nautologin-user=bob\r\n"},
      {"a replaced last line without line feed is followed directly by the block",
       "[Seat:*]\nautologin-user-timeout=5",
       std::string("[Seat:*]\nautologin-user-timeout=0\n") + kBlock,
       "[Seat:*]\n#autologin-user-timeout=0\n"},
      {"last line without line feed", "[Seat:*]\nx=1",
       std::string("[Seat:*]\nx=1\n") + kBlock, "[Seat:*]\nx=1"},
      {"last line is a user line without line feed", "[Seat:*]\nautologin-user=bob",
       "[Seat:*]\nautologin-user=alice\n", "[Seat:*]\n#autologin-user=\n"},
      {"a last carriage return stays part of its line", "[Seat:*]\nx=1\r",
       std::string("[Seat:*]\nx=1\r\r\n") + kBlock, "[Seat:*]\nx=1\r"},
      {"so a header that is none stays none", "[Seat:seat?]\r",
       std::string("[Seat:seat?]\r\r\n[Seat:*]\n") + kBlock, "[Seat:seat?]\r"},
  });
}

TEST(RewriteSeatSection, HandlesLongLinesWhole) {
  const std::string long_value(5000, 'v');
  const std::string filler(3000, 'a');
  check({
      {"long line outside", "#" + long_value + "\n[Seat:*]\nautologin-user=bob\n",
       "#" + long_value + "\n[Seat:*]\nautologin-user=alice\n",
       "#" + long_value + "\n[Seat:*]\n#autologin-user=\n"},
      {"long other line inside", "[Seat:*]\nk=" + long_value + "\n",
       "[Seat:*]\nk=" + long_value + "\n" + kBlock, "[Seat:*]\nk=" + long_value + "\n"},
      {"long user line goes whole", "[Seat:*]\nautologin-user=" + long_value + "\nx=1\n",
       "[Seat:*]\nautologin-user=alice\nx=1\n", "[Seat:*]\n#autologin-user=\nx=1\n"},
      {"a header in the middle of a line is not one",
       "[Seat:*]\nk=" + filler + "[Other]\nautologin-user=bob\n",
       "[Seat:*]\nk=" + filler + "[Other]\nautologin-user=alice\n",
       "[Seat:*]\nk=" + filler + "[Other]\n#autologin-user=\n"},
      {"a key in the middle of a line is not one",
       "[Seat:*]\nk=" + filler + "autologin-user=bob\n",
       "[Seat:*]\nk=" + filler + "autologin-user=bob\n" + kBlock,
       "[Seat:*]\nk=" + filler + "autologin-user=bob\n"},
  });
}

// What earlier configuration sources ask for: an explicit empty user when disabling, a timeout
// line next to the user line when enabling. Without them the output is the plain rewrite.
TEST(RewriteSeatSection, AnswersEarlierSources) {
  const RewriteOptions empty_user{true, false};
  const RewriteOptions pin_timeout{false, true};
  struct Row {
    const char* what;
    std::string input;
    bool enable;
    RewriteOptions options;
    std::string output;
  };
  const Row rows[] = {
      {"first user line becomes empty, later ones are commented", 
       "[Seat:*]\n#autologin-user=\nautologin-user=bob\nautologin-user-timeout=5\n", false,
       empty_user, "[Seat:*]\nautologin-user=\n#autologin-user=\n#autologin-user-timeout=0\n"},
      {"a section without a user line gets one at its end", "[Seat:*]\nx=1\n\n[Other]\n",
       false, empty_user, "[Seat:*]\nx=1\n\nautologin-user=\n[Other]\n"},
      {"a file without a seat section gets one", "[LightDM]\nx=1", false, empty_user,
       "[LightDM]\nx=1\n[Seat:*]\nautologin-user=\n"},
      {"the timeout follows the user line", "[Seat:*]\n#autologin-user=\nx=1\n", true,
       pin_timeout, "[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\nx=1\n"},
      {"and a later timeout line goes",
       "[Seat:*]\nautologin-user=alice\nx=1\n#autologin-user-timeout=7\n", true, pin_timeout,
       "[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\nx=1\n"},
      {"an earlier timeout line is enough",
       "[Seat:*]\nautologin-user-timeout=3\nautologin-user=bob\n", true, pin_timeout,
       "[Seat:*]\nautologin-user-timeout=0\nautologin-user=alice\n"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(rewrite(row.input, row.enable, CONF_BUFFER_SIZE, row.options), row.output)
        << row.what;
  }
}

// A text that needs no change comes back as itself, so nothing is copied at all.
TEST(RewriteSeatSection, HandsBackAnUnchangedText) {
  const std::string text = "[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\nx=1\n";
  char out[256];
  Span result{nullptr, 0};
  ASSERT_EQ(rewrite_seat_section(Span{text.data(), text.size()},
                                 AutologinRequest{false, nullptr}, RewriteOptions{false, false},
                                 out, sizeof out, &result, nullptr),
            0);
  EXPECT_EQ(result.data, text.data());
  EXPECT_EQ(result.len, text.size());
  // An unchanged text still has to fit.
  EXPECT_EQ(rewrite_seat_section(Span{text.data(), text.size()},
                                 AutologinRequest{false, nullptr}, RewriteOptions{false, false},
                                 out, text.size() - 1, &result, nullptr),
            1);
}

TEST(RewriteSeatSection, NeverWritesPastItsBuffer) {
  const std::string input = "[Seat:*]\nautologin-user=\n";
  const std::string enabled = "[Seat:*]\nautologin-user=alice\n";
  EXPECT_EQ(rewrite(input, true, enabled.size()), enabled);
  EXPECT_EQ(rewrite(input, true, enabled.size() - 1), "<overflow>");
  EXPECT_EQ(rewrite("[Seat:*]\n", true, 12), "<overflow>");
  EXPECT_EQ(rewrite("[Other]\nx=1\n", false, 11), "<overflow>");
  EXPECT_EQ(rewrite("", false, 0), "");
}

// Every truncation of a realistic file rewrites to a text that a second run leaves alone.
TEST(RewriteSeatSection, EveryTruncationStaysConsistent) {
  const std::string full =
      "[LightDM]\nminimum-vt=7\n\n[Seat:*]\r\ngreeter-session=x\n# autologin-user=\n"
      "autologin-user-timeout=5\nautologin-user=bob\n[Other]\nautologin-user=carol\n";
  for (size_t n = 0; n <= full.size(); ++n) {
    const std::string input = full.substr(0, n);
    const std::string once = rewrite(input, true);
    EXPECT_EQ(rewrite(once, true), once) << "enable is not stable for length " << n;
    const std::string off = rewrite(input, false);
    EXPECT_EQ(rewrite(off, false), off) << "disable is not stable for length " << n;
  }
}
