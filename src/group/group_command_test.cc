#include "group/group_command.h"

#include <string>

#include <gtest/gtest.h>

TEST(GroupCommand, FormatsTheExactCommandTexts) {
  char buf[COMMAND_BUFFER_SIZE];
  ASSERT_EQ(format_create_command(buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "groupadd -r autologin 2>/dev/null");
  ASSERT_EQ(format_add_command("alice", buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "usermod -aG autologin alice 2>/dev/null");
  ASSERT_EQ(format_remove_command("alice", buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "gpasswd -d alice autologin 2>/dev/null");
  ASSERT_EQ(format_delete_group_command(buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "groupdel autologin >/dev/null 2>&1");
  ASSERT_EQ(format_undo_add_command("alice", buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "gpasswd -d alice autologin >/dev/null 2>&1");
  EXPECT_EQ(format_undo_add_command("-evil", buf, sizeof buf), 1);
}

// A command that would be cut short is never produced: the add text is 34 bytes plus the name,
// the remove text 33 plus the name, and the buffer also holds the terminator.
TEST(GroupCommand, RefusesCommandsThatDoNotFitTheBuffer) {
  struct Case {
    size_t name_len;
    int add_result;
    int remove_result;
  };
  const Case cases[] = {{477, 0, 0}, {478, 1, 0}, {479, 1, 1}, {100000, 1, 1}};
  for (const Case& c : cases) {
    std::string name(c.name_len, 'u');
    char buf[COMMAND_BUFFER_SIZE];
    EXPECT_EQ(format_add_command(name.c_str(), buf, sizeof buf), c.add_result) << c.name_len;
    if (c.add_result == 0) {
      EXPECT_EQ(std::string(buf).size(), 34 + c.name_len);
    }
    EXPECT_EQ(format_remove_command(name.c_str(), buf, sizeof buf), c.remove_result)
        << c.name_len;
    if (c.remove_result == 0) {
      EXPECT_EQ(std::string(buf).size(), 33 + c.name_len);
    }
  }
}

TEST(GroupCommand, NeverHandsAToolANameThatReadsAsAnOption) {
  char buf[COMMAND_BUFFER_SIZE];
  for (const char* name : {"-evil", "--help", "-"}) {
    EXPECT_EQ(format_add_command(name, buf, sizeof buf), 1) << name;
    EXPECT_EQ(format_remove_command(name, buf, sizeof buf), 1) << name;
  }
  EXPECT_EQ(format_add_command("a-", buf, sizeof buf), 0);
}
