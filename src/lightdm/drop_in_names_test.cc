#include "lightdm/drop_in_names.h"

#include <cstdio>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

DropInNames g_names;  // a megabyte: kept off the stack

std::string make_dir() {
  std::string dir = std::string(testing::TempDir()) + "drop_in_names_test.XXXXXX";
  EXPECT_NE(mkdtemp(dir.data()), nullptr);
  return dir;
}

void touch(const std::string& path) { close(open(path.c_str(), O_CREAT | O_WRONLY, 0644)); }

void remove_dir(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  while (const dirent* e = readdir(d)) unlink((dir + "/" + e->d_name).c_str());
  closedir(d);
  rmdir(dir.c_str());
}

std::vector<std::string> listed() {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < g_names.count; ++i) out.emplace_back(drop_in_name(g_names, i));
  return out;
}

}  // namespace

// LightDM keeps the names that end in ".conf" and loads them in strcmp order: bytes compare as
// unsigned, upper case before lower case, a shorter prefix first. A wrong order changes which
// drop-in wins.
TEST(DropInNames, KeepsConfNamesInStrcmpOrder) {
  const std::string dir = make_dir();
  for (const char* name : {"b.conf", "a.conf.bak", "A.conf", "\xc3\xa9.conf", "a.conf",
                           "a.conf.conf", ".conf", "10-x.conf", "9-x.conf", "conf", "x.CONF",
                           "a-.conf", "~.conf"}) {
    touch(dir + "/" + name);
  }
  mkdir((dir + "/dir.conf").c_str(), 0755);  // listed; the reader skips it as LightDM does
  DIR* d = opendir(dir.c_str());
  ASSERT_EQ(list_drop_in_names(d, &g_names), ListOutcome::kListed);
  closedir(d);
  const std::vector<std::string> expected = {".conf", "10-x.conf", "9-x.conf", "A.conf",
                                             "a-.conf", "a.conf", "a.conf.conf", "b.conf",
                                             "dir.conf", "~.conf", "\xc3\xa9.conf"};
  EXPECT_EQ(listed(), expected);
  rmdir((dir + "/dir.conf").c_str());
  remove_dir(dir);
}

// Names that would not fit are a refusal, never a list cut short or an overrun: long names
// fill the arena long before the count cap.
TEST(DropInNames, RefusesMoreThanFits) {
  const std::string dir = make_dir();
  const std::string stem(240, 'n');
  const std::size_t fit = DROP_IN_ARENA_SIZE / (stem.size() + 11);
  for (std::size_t i = 0; i <= fit; ++i) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%05zu.conf", i);
    touch(dir + "/" + stem + suffix);
  }
  touch(dir + "/ignored.txt");
  DIR* d = opendir(dir.c_str());
  EXPECT_EQ(list_drop_in_names(d, &g_names), ListOutcome::kTooMany);
  closedir(d);
  unlink((dir + "/" + stem + "00000.conf").c_str());
  d = opendir(dir.c_str());
  ASSERT_EQ(list_drop_in_names(d, &g_names), ListOutcome::kListed);
  closedir(d);
  EXPECT_EQ(g_names.count, fit);
  EXPECT_EQ(listed().front(), stem + "00001.conf");
  remove_dir(dir);
}
