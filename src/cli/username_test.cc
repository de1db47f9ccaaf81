#include "cli/username.h"

#include <string>

#include <gtest/gtest.h>

TEST(IsValidUsername, AcceptsOnlyTheSafeBytes) {
  struct Case {
    std::string name;
    bool valid;
  };
  const Case cases[] = {
      {"alice", true},
      {"Alice_Smith-2.0", true},
      {".hidden", true},
      {"-dash", true},
      {"0", true},
      {"kd@corp", true},
      {"kd@corp.example@x", true},
      {"@corp", false},
      {"@", false},
      {std::string(5000, 'a'), true},
      {"", false},
      {"two words", false},
      {"tab\tname", false},
      {"a/b", false},
      {"$HOME", false},
      {"a;rm", false},
      {"it's", false},
      {"q\"uote", false},
      {"back`tick`", false},
      {"new\nline", false},
      {"star*", false},
      {"caf\xc3\xa9", false},
      {"\x80", false},
      {"x\xff", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_valid_username(c.name.c_str()), c.valid) << "name: " << c.name;
  }
  EXPECT_FALSE(is_valid_username(nullptr));
}

TEST(IsValidUsername, RefusesEveryByteOutsideTheSet) {
  const std::string allowed =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._@";
  for (int byte = 1; byte < 256; ++byte) {
    const char name[] = {'a', static_cast<char>(byte), 'z', '\0'};
    bool expected = allowed.find(static_cast<char>(byte)) != std::string::npos;
    EXPECT_EQ(is_valid_username(name), expected) << "byte " << byte;
  }
}
