#include "cli/cgroup_escape.h"

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

/// Every top mount that the reader finds in |text|, as "MAJOR:MINOR DIR", in order; "error"
/// when a read failed.
std::vector<std::string> tops_in(const std::string& text) {
  std::vector<std::string> found;
  FILE* file = std::tmpfile();
  if (file == nullptr) return {"error"};
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
  lseek(fileno(file), 0, SEEK_SET);
  static MountinfoReader reader;
  mountinfo_reader_init(&reader, fileno(file));
  static Cgroup2Top top;
  int status = 0;
  while ((status = next_cgroup2_top(&reader, &top)) == 1) {
    found.push_back(std::to_string(top.major) + ":" + std::to_string(top.minor) + " " + top.dir);
  }
  if (status < 0) found.push_back("error");
  std::fclose(file);
  return found;
}

const char kUnified[] =
    "22 1 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "30 23 0:26 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:4 - cgroup2 cgroup2 "
    "rw,nsdelegate,memory_recursiveprot\n";

const char kHybrid[] =
    "31 23 0:28 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
    "32 31 0:29 / /sys/fs/cgroup/cpu rw,relatime - cgroup cgroup rw,cpu\n"
    "39 31 0:36 / /sys/fs/cgroup/pids rw,relatime - cgroup cgroup rw,pids\n"
    "40 31 0:37 / /sys/fs/cgroup/systemd rw,relatime - cgroup cgroup rw,name=systemd\n"
    "41 31 0:38 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n";

struct Case {
  const char* what;
  std::string text;
  std::vector<std::string> tops;
};

}  // namespace

// Which lines name the top of the cgroup v2 hierarchy, and where it is mounted.
TEST(CgroupEscape, FindsOnlyMountsOfTheV2Top) {
  const std::string v1_only =
      "31 23 0:28 / /sys/fs/cgroup rw - tmpfs tmpfs rw\n"
      "32 31 0:29 / /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpu\n";
  const Case cases[] = {
      {"unified", kUnified, {"0:26 /sys/fs/cgroup"}},
      {"hybrid: the unified mount, never a v1 one", kHybrid, {"0:38 /sys/fs/cgroup/unified"}},
      {"no cgroup2 at all", v1_only, {}},
      {"nothing", "", {}},
      {"a subtree bound elsewhere is not the top",
       "50 23 0:26 /user.slice/user-1000.slice /mnt/cg rw - cgroup2 cgroup2 rw\n", {}},
      {"the view of another cgroup namespace is not the top",
       "50 23 0:26 /../.. /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n", {}},
      {"every top, in mount order",
       "30 23 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
       "50 23 0:26 /system.slice /mnt/sub rw - cgroup2 cgroup2 rw\n"
       "51 23 0:26 / /mnt/copy rw shared:9 master:4 - cgroup2 cgroup2 rw\n",
       {"0:26 /sys/fs/cgroup", "0:26 /mnt/copy"}},
      {"escaped blank, tab, line feed and backslash",
       "50 23 0:26 / /mnt/a\\040b\\011c\\012d\\134e rw - cgroup2 none rw\n",
       {"0:26 /mnt/a b\tc\nd\\e"}},
      {"a last line without its line feed", "30 23 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw",
       {"0:26 /sys/fs/cgroup"}},
      {"source named cgroup2 on a v1 mount",
       "32 31 0:29 / /sys/fs/cgroup/cpu rw - cgroup cgroup2 rw\n", {}},
      {"fstype that only starts so", "30 23 0:26 / /x rw - cgroup2x cgroup2 rw\n", {}},
      {"a mount point named for it", "30 23 0:26 / /cgroup2 rw - tmpfs cgroup2 rw\n", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(tops_in(c.text), c.tops) << c.what;
}

// A line that is not what the kernel writes is passed over, whatever is wrong with it, and the
// lines after it are still read.
TEST(CgroupEscape, PassesOverMalformedLines) {
  const char* const bad[] = {
      "30 23 0:26 / /sys/fs/cgroup rw cgroup2 cgroup2 rw",          // no separator
      "30 23 0:26 / /sys/fs/cgroup rw -",                           // nothing after it
      "30 23 0:26 /",                                               // cut short
      "30 23 26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw",          // no minor
      "30 23 0:2x / /sys/fs/cgroup rw - cgroup2 cgroup2 rw",        // not a number
      "30 23 0:1234567890 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw",  // too long a number
      "30 23 0:26 / sys/fs/cgroup rw - cgroup2 cgroup2 rw",         // not absolute
      "30 23 0:26 /  rw - cgroup2 cgroup2 rw",                      // empty mount point
      "30 23 0:26 / /a\\04 rw - cgroup2 cgroup2 rw",                // escape cut short
      "30 23 0:26 / /a\\0 rw - cgroup2 cgroup2 rw",
      "30 23 0:26 / /a\\ rw - cgroup2 cgroup2 rw",
      "30 23 0:26 / /a\\400 rw - cgroup2 cgroup2 rw",               // past a byte
      "30 23 0:26 / /a\\000b rw - cgroup2 cgroup2 rw",              // a NUL
      "30 23 0:26 / /a\\08x rw - cgroup2 cgroup2 rw",               // not octal
      "30 23 0:26 / /a\\x41 rw - cgroup2 cgroup2 rw",
  };
  for (const char* line : bad) {
    EXPECT_EQ(tops_in(std::string(line) + "\n" + kUnified),
              std::vector<std::string>{"0:26 /sys/fs/cgroup"})
        << line;
    Cgroup2Top top{};
    EXPECT_FALSE(parse_cgroup2_top(line, std::string(line).size(), &top)) << line;
  }
  // A mount point that does not fit PATH_MAX once unescaped.
  const std::string deep = "30 23 0:26 / /" + std::string(PATH_MAX, 'd') + " rw - cgroup2 c rw";
  Cgroup2Top top{};
  EXPECT_FALSE(parse_cgroup2_top(deep.data(), deep.size(), &top));
  const std::string fits = "30 23 0:26 / /" + std::string(PATH_MAX - 2, 'd') + " rw - cgroup2 c rw";
  EXPECT_TRUE(parse_cgroup2_top(fits.data(), fits.size(), &top));
}

// Lines longer than the buffer (an overlay mount lists every layer) are passed over whole, at
// every length around the buffer's size and wherever the reads cut them, and never taken for
// the start of another line.
TEST(CgroupEscape, PassesOverLinesLongerThanItsBuffer) {
  for (std::size_t len = MOUNTINFO_LINE_MAX - 80; len <= 3 * MOUNTINFO_LINE_MAX + 80; ++len) {
    // A long line whose end, read from anywhere in its run of 'l', looks like a cgroup2 top.
    std::string overlay = "60 23 0:50 / /var/lib/overlay rw - overlay overlay rw,lowerdir=";
    const std::string tail = " 1 0:51 / /fake rw - cgroup2 cgroup2 rw";
    if (overlay.size() + tail.size() > len) continue;
    overlay += std::string(len - overlay.size() - tail.size(), 'l') + tail;
    const std::string text = overlay + "\n" + kHybrid + overlay + "\n" + kUnified + overlay;
    ASSERT_EQ(tops_in(text), (std::vector<std::string>{"0:38 /sys/fs/cgroup/unified",
                                                       "0:26 /sys/fs/cgroup"}))
        << len;
  }
  // A cgroup2 line itself too long for the buffer is passed over; the next one is found.
  const std::string long_top =
      "50 23 0:26 / /" + std::string(MOUNTINFO_LINE_MAX, 'm') + " rw - cgroup2 cgroup2 rw\n";
  EXPECT_EQ(tops_in(long_top + kUnified), std::vector<std::string>{"0:26 /sys/fs/cgroup"});
  // Every cut of the text: a line is found only when whole up to its fstype.
  const std::string hybrid = kHybrid;
  const std::size_t last = hybrid.rfind("41 31");
  const std::size_t needed = hybrid.find("cgroup2 cgroup2", last) + 7;
  for (std::size_t cut = 0; cut <= hybrid.size(); ++cut) {
    const std::vector<std::string> tops = tops_in(hybrid.substr(0, cut));
    if (cut >= needed) {
      EXPECT_EQ(tops, std::vector<std::string>{"0:38 /sys/fs/cgroup/unified"}) << cut;
    } else {
      EXPECT_TRUE(tops.empty()) << cut;
    }
  }
}

// A descriptor that cannot be read is a failure, not an empty list.
TEST(CgroupEscape, SaysWhenMountinfoCannotBeRead) {
  static MountinfoReader reader;
  mountinfo_reader_init(&reader, -1);
  Cgroup2Top top{};
  EXPECT_EQ(next_cgroup2_top(&reader, &top), -1);
}
