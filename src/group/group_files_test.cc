#include "group/group_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

/// Writes |text| to a fresh temporary file and returns it open for reading, or -1.
int file_with(const std::string& text) {
  std::string tmpl = std::string(testing::TempDir()) + "group_files_test.XXXXXX";
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) return -1;
  unlink(tmpl.c_str());
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    close(fd);
    return -1;
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}

struct Found {
  GroupReadFailure result;
  bool present;
  std::string text;
};

Found find(const std::string& text) {
  static GroupLine line;
  const int fd = file_with(text);
  const GroupReadFailure result = find_group_line(fd, "autologin", &line);
  close(fd);
  return {result, line.present, line.present ? line.text : ""};
}

constexpr GroupReadFailure kRead = GroupReadFailure::kNone;

TEST(GroupFilesTest, FindsTheFirstLineOfTheGroup) {
  struct Case {
    const char* file;
    bool present;
    const char* line;
  } cases[] = {
      {"", false, ""},
      {"root:x:0:\n", false, ""},
      {"autologin:x:990:alice\n", true, "autologin:x:990:alice"},
      {"root:x:0:\nautologin:x:990:\nusers:x:100:\n", true, "autologin:x:990:"},
      {"root:x:0:\nautologin:x:990:bob", true, "autologin:x:990:bob"},  // no last newline
      {"autologin:x:990:a\nautologin:x:991:b\n", true, "autologin:x:990:a"},
      {"autologins:x:990:\nxautologin:x:1:\n autologin:x:2:\n", false, ""},
      {"autologin\nautologin:\n", true, "autologin:"},
      {"#autologin:x:990:\n", false, ""},
      {"root:x:0:autologin:x\n", false, ""},
  };
  for (const Case& c : cases) {
    const Found found = find(c.file);
    EXPECT_EQ(found.result, kRead) << c.file;
    EXPECT_EQ(found.present, c.present) << c.file;
    if (c.present) {
      EXPECT_EQ(found.text, c.line) << c.file;
    }
  }
}

TEST(GroupFilesTest, LinesOfAnyLengthUpToTheFileBound) {
  // A group of 600 kiosk accounts is one line of several KiB; one as long as the bound allows
  // is read too, and only a file past the bound, or a NUL in the group's line, is refused.
  std::string members;
  for (int i = 0; i < 600; ++i) members += (i > 0 ? ",kiosk" : "kiosk") + std::to_string(i);
  const std::string lab = "autologin:x:990:" + members;
  const std::string long_other = "big:x:1:" + std::string(200000, 'm') + "\n";
  const std::string longest = "autologin:x:990:" + std::string(GROUP_FILE_MAX - 18, 'a');
  const struct {
    const char* what;
    std::string file;
    GroupReadFailure result;
    std::string line;
  } cases[] = {
      {"600 members", "root:x:0:\n" + lab + "\nusers:x:100:\n", kRead, lab},
      {"after a long line", long_other + lab + "\n", kRead, lab},
      {"as long as the bound allows", longest + "\n", kRead, longest},
      {"a file past the bound", longest + "aa\n", GroupReadFailure::kTooLarge, ""},
      {"a NUL in the group's line", std::string("autologin:x:990:a\0b\n", 20),
       GroupReadFailure::kNulByte, ""},
      {"a NUL in another line", std::string("x:x:1:a\0b\nautologin:x:9:\n", 25), kRead,
       "autologin:x:9:"},
  };
  for (const auto& c : cases) {
    const Found found = find(c.file);
    EXPECT_EQ(found.result, c.result) << c.what;
    EXPECT_EQ(found.present, !c.line.empty()) << c.what;
    EXPECT_EQ(found.text, c.line) << c.what;
  }
}

TEST(GroupFilesTest, RefusesWhatIsNotARegularFile) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  GroupLine line;
  EXPECT_EQ(find_group_line(ends[0], "autologin", &line), GroupReadFailure::kNotRegular);
  close(ends[0]);
  close(ends[1]);
}

GroupLine line_of(const char* text) {
  GroupLine line;
  line.present = text != nullptr;
  if (text != nullptr) line.text = strdup(text);
  return line;
}

TEST(GroupFilesTest, MembersAgreementAndSameness) {
  struct Case {
    const char* group;
    const char* gshadow;
    bool agree;
    bool lists_alice;
  } cases[] = {
      {nullptr, nullptr, true, false},
      {"autologin:x:990:", "autologin:!::", true, false},
      {"autologin:x:990:alice", "autologin:!::alice", true, true},
      {"autologin:x:990:bob,alice", "autologin:!:root:alice,bob", true, true},
      {"autologin:x:990:alice", "autologin:!::", false, true},
      {"autologin:x:990:", "autologin:!::alice", false, true},
      {"autologin:x:990:", nullptr, false, false},
      {nullptr, "autologin:!::", false, false},
      {"autologin:x:990:alicex", "autologin:!::alicex", true, false},
      {"autologin:x:990:ali", "autologin:!::ali", true, false},
      {"autologin:x:990:bob", "autologin:!::bobby", false, false},
      {"autologin:x:990:alice,", "autologin:!::alice", true, true},
      {"autologin:x:990", "autologin:!:", true, false},  // no members field at all
      {"autologin:x:990:x,alice", "autologin:!:alice:x", false, true},  // an admin is no member
  };
  for (const Case& c : cases) {
    GroupFiles files{line_of(c.group), line_of(c.gshadow)};
    const std::string what = std::string(c.group ? c.group : "-") + " | " +
                             (c.gshadow ? c.gshadow : "-");
    EXPECT_EQ(group_files_agree(files), c.agree) << what;
    EXPECT_EQ(files_list(files, "alice"), c.lists_alice) << what;
    EXPECT_TRUE(same_group_lines(files, files)) << what;
  }
  GroupFiles a{line_of("autologin:x:990:"), line_of("autologin:!::")};
  GroupFiles b{line_of("autologin:x:990:"), line_of(nullptr)};
  GroupFiles c{line_of("autologin:x:991:"), line_of("autologin:!::")};
  EXPECT_FALSE(same_group_lines(a, b));
  EXPECT_FALSE(same_group_lines(a, c));
}

TEST(GroupFilesTest, ShownLinesCannotForgeOutput) {
  char shown[SHOWN_GROUP_LINE_SIZE];
  show_group_line(line_of("autologin:x:990:a\x1b[2J\rb"), shown, sizeof shown);
  EXPECT_STREQ(shown, "'autologin:x:990:a\\x1b[2J\\x0db'");
  // A long line is cut, and says so.
  const std::string lab = "autologin:x:990:" + std::string(SHOWN_GROUP_LINE_MAX * 2, 'k');
  show_group_line(line_of(lab.c_str()), shown, sizeof shown);
  EXPECT_EQ(std::string(shown), "'" + lab.substr(0, SHOWN_GROUP_LINE_MAX) + "...'");
  show_group_line(line_of(nullptr), shown, sizeof shown);
  EXPECT_STREQ(shown, "no line");
}

}  // namespace
