#include "seatconf/conf_file.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/constants.h"

namespace {

class ConfFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = std::string(testing::TempDir()) + "conf_file_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/lightdm.conf";
  }
  void TearDown() override {
    unlink(path_.c_str());
    rmdir(path_.c_str());
    rmdir(dir_.c_str());
  }

  void write_conf(const std::string& text, mode_t mode = 0644) {
    std::ofstream(path_, std::ios::binary) << text;
    ASSERT_EQ(chmod(path_.c_str(), mode), 0);
  }

  std::string read_conf() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  mode_t conf_mode() const {
    struct stat st {};
    EXPECT_EQ(stat(path_.c_str(), &st), 0);
    return st.st_mode & 07777;
  }

  /// Returns the names in the directory other than the configuration itself.
  std::vector<std::string> litter() const {
    std::vector<std::string> names;
    DIR* d = opendir(dir_.c_str());
    while (const dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != ".." && name != "lightdm.conf") names.push_back(name);
    }
    closedir(d);
    return names;
  }

  /// Runs one update and returns its result; |err| receives what it printed on stderr.
  int update(bool enable, std::string* err) {
    testing::internal::CaptureStderr();
    int result = update_config_file(path_.c_str(), AutologinRequest{enable, "alice"});
    *err = testing::internal::GetCapturedStderr();
    return result;
  }

  std::string dir_;
  std::string path_;
};

}  // namespace

TEST_F(ConfFileTest, ReplacesTheFileNeverMoreReadableThanBefore) {
  struct Case {
    const char* what;
    std::string before;
    mode_t mode;
    bool enable;
    std::string after;
  };
  const Case cases[] = {
      {"empty, disable", "", 0644, false, ""},
      {"no seat section, disable", "[General]\nx=1\n", 0600, false, "[General]\nx=1\n"},
      {"seat section, enable", "[Seat:*]\n#autologin-user=\n", 0600, true,
       "[Seat:*]\nautologin-user=alice\n"},
      {"seat section, disable", "[Seat:*]\nautologin-user=bob\n", 0640, false,
       "[Seat:*]\n#autologin-user=\n"},
      {"largest file that fits", std::string(CONF_BUFFER_SIZE - 1, '#'), 0644, false,
       std::string(CONF_BUFFER_SIZE - 1, '#')},
  };
  for (const Case& c : cases) {
    write_conf(c.before, c.mode);
    std::string err;
    EXPECT_EQ(update(c.enable, &err), 0) << c.what;
    EXPECT_EQ(err, "") << c.what;
    EXPECT_EQ(read_conf(), c.after) << c.what;
    EXPECT_EQ(conf_mode(), c.mode & 0644u) << c.what;
    EXPECT_TRUE(litter().empty()) << c.what;
  }
}

// A file that cannot be carried through whole is refused before anything is written.
TEST_F(ConfFileTest, RefusesWhatItCannotRewriteWhole) {
  const std::string big(CONF_BUFFER_SIZE, '#');
  const std::string nul("[Seat:*]\nautologin-user=bob\n\0tail\n", 34);
  const std::string grows = "[Seat:*]\n" + std::string(CONF_BUFFER_SIZE - 30, '#') + "\n";
  struct Case {
    const char* what;
    std::string before;
    std::string message;
  };
  const Case cases[] = {
      {"too large", big, ": file is larger than 131071 bytes\n"},
      {"NUL byte", nul, ": file contains a NUL byte\n"},
      {"output too large", grows, ": the new file would be larger than 131071 bytes\n"},
  };
  for (const Case& c : cases) {
    write_conf(c.before, 0600);
    std::string err;
    EXPECT_EQ(update(true, &err), 1) << c.what;
    const char* verb = c.message.find("new file") != std::string::npos ? "Cannot update "
                                                                       : "Cannot read ";
    EXPECT_EQ(err, verb + path_ + c.message) << c.what;
    EXPECT_EQ(read_conf(), c.before) << c.what;
    EXPECT_EQ(conf_mode(), 0600u) << c.what;
    EXPECT_TRUE(litter().empty()) << c.what;
  }
}

TEST_F(ConfFileTest, ReportsAMissingFile) {
  std::string err;
  EXPECT_EQ(update(false, &err), 1);
  EXPECT_EQ(err, "Cannot open " + path_ + ": No such file or directory\n");
  EXPECT_TRUE(litter().empty());
}

TEST_F(ConfFileTest, ReportsADirectory) {
  ASSERT_EQ(mkdir(path_.c_str(), 0755), 0);
  std::string err;
  EXPECT_EQ(update(false, &err), 1);
  EXPECT_EQ(err, "Cannot read " + path_ + ": not a regular file\n");
  EXPECT_TRUE(litter().empty());
}
