#include "seatconf/conf_file.h"
#include "seatconf/promise_check.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/message_queue.h"
#include "common/constants.h"

namespace {

class ConfFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = std::string(testing::TempDir()) + "conf_file_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/lightdm.conf";
    early_dir_ = dir_ + "/early.d";
    late_dir_ = dir_ + "/late.d";
    dirs_[0] = early_dir_.c_str();
    dirs_[1] = late_dir_.c_str();
    paths_ = ConfigPaths{dirs_, 2, path_.c_str(), nullptr};
    seat_list_reset(&seats_);
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  /// Puts a drop-in named |name| with |text| into the early or the late directory.
  void drop_in(bool late, const std::string& name, const std::string& text) {
    const std::string& dir = late ? late_dir_ : early_dir_;
    mkdir(dir.c_str(), 0755);
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
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
      if (name != "." && name != ".." && name != "lightdm.conf" && name != "early.d" &&
          name != "late.d") {
        names.push_back(name);
      }
    }
    closedir(d);
    return names;
  }

  /// Runs one update and returns its result; |err| receives what it printed on stderr.
  int update(bool enable, std::string* err) {
    testing::internal::CaptureStderr();
    AutologinRequest request{enable, enable ? "alice" : nullptr};
    ConfUpdate next{};
    const char* prefix = refusal_prefix(request);
    int result = prepare_config_update(paths_, seats_, request, prefix, &next);
    if (result == 0) result = stage_config_update(paths_, &next);
    if (result == 0) result = commit_config_update(&next);
    flush_messages();
    *err = testing::internal::GetCapturedStderr();
    return result;
  }

  std::string dir_;
  std::string path_;
  std::string early_dir_;
  std::string late_dir_;
  const char* dirs_[2] = {};
  ConfigPaths paths_{};
  SeatList seats_{};
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
      {"largest file enable keeps room in", "[Seat:*]\n" + std::string(CONF_BUFFER_SIZE - 59, '#') + "\n", 0644, true,
       "[Seat:*]\n" + std::string(CONF_BUFFER_SIZE - 59, '#') + "\nautologin-user=alice\nautologin-user-timeout=0\n"},
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
      {"NUL byte in a line LightDM reads", nul,
       "Cannot enable automatic login for alice: cannot tell how LightDM reads {path}: line 3: "
       "a NUL byte\n"},
      {"output too large", grows, ": the new file would be larger than 131069 bytes\n"},
  };
  for (const Case& c : cases) {
    write_conf(c.before, 0600);
    std::string err;
    EXPECT_EQ(update(true, &err), 1) << c.what;
    std::string expected = c.message;
    if (auto at = expected.find("{path}"); at != std::string::npos) {
      expected.replace(at, 6, path_);
    } else {
      expected = (c.message.find("new file") != std::string::npos ? "Cannot update "
                                                                   : "Cannot read ") +
                 path_ + c.message;
    }
    EXPECT_EQ(err, expected) << c.what;
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

// The other sources LightDM reads before lightdm.conf: what the rewrite must answer, what it
// cannot answer and must refuse, and what LightDM itself skips.
TEST_F(ConfFileTest, MakesTheRequestTrueOverEarlierSources) {
  const std::string seat = "[Seat:*]\n#autologin-user=\n";
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> early, late;  // name, text
    bool enable;
    int status;
    std::string message;  // after the refusal's opening words; {late}/{early} stand for the dirs
    std::string after;
  };
  const Case cases[] = {
      {"no drop-ins: disable keeps the stock text", {}, {}, false, 0, "", seat},
      {"a drop-in user gets an explicit empty one", {}, {{"50.conf", "[Seat:*]\nautologin-user=bob\n"}},
       false, 0, "", "[Seat:*]\nautologin-user=\n"},
      {"a drop-in timeout gets a timeout line", {{"50.conf", "[SeatDefaults]\nautologin-user-timeout=5\n"}}, {},
       true, 0, "", "[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n"},
      {"drop-ins are read in strcmp order",
       {{"b.conf", "[Seat:*]\nautologin-user-timeout=0\n"}, {"a.conf", "[Seat:*]\nautologin-user-timeout=5\n"}},
       {}, true, 0, "", "[Seat:*]\nautologin-user=alice\n"},
      {"a drop-in GLib refuses is skipped whole", {}, {{"50.conf", "[Seat:*]\nautologin-user=bob\n; no\n"}},
       false, 0, "", seat},
      {"only names ending in .conf are read", {}, {{"50.conf~", "[Seat:seat0]\nautologin-user=bob\n"}},
       false, 0, "", seat},
      {"a seat section that overrides", {}, {{"50.conf", "[Seat:seat0]\nautologin-user=bob\n"}}, false, 1,
       "{late}/50.conf sets autologin-user=bob in [Seat:seat0] (line 2), so LightDM would log in bob on seat0\n",
       seat},
      {"a seat section that agrees", {}, {{"50.conf", "[Seat:seat?]\nautologin-user=alice\n"}}, true, 0, "",
       "[Seat:*]\nautologin-user=alice\n"},
      {"a seat section for another seat", {}, {{"50.conf", "[Seat:seat1]\nautologin-user=bob\n"}}, false, 0,
       "", seat},
      {"the seat of a machine without logind", {}, {{"50.conf", "[Seat:]\nautologin-user=bob\n"}}, false, 1,
       "{late}/50.conf sets autologin-user=bob in [Seat:] (line 2), so LightDM would log in bob on the seat of a "
       "machine without logind\n",
       seat},
      {"a guest login", {{"10.conf", "[Seat:*]\nautologin-guest=true \n"}}, {}, true, 1,
       "{early}/10.conf sets autologin-guest=true\\x20 in [Seat:*] (line 2), so LightDM would log in a guest on "
       "seat0\n",
       seat},
      {"a countdown in a seat section", {}, {{"50.conf", "[Seat:seat0]\nautologin-user-timeout=30\n"}}, true, 1,
       "{late}/50.conf sets autologin-user-timeout=30 in [Seat:seat0] (line 2), so LightDM would log in alice "
       "after 30 seconds at the greeter on seat0\n",
       seat},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    for (const auto& [name, text] : c.early) drop_in(false, name, text);
    for (const auto& [name, text] : c.late) drop_in(true, name, text);
    write_conf(seat);
    std::string err;
    EXPECT_EQ(update(c.enable, &err), c.status) << c.what;
    std::string message = c.message;
    for (const auto& [mark, dir] : {std::pair<std::string, std::string>{"{late}", late_dir_},
                                    std::pair<std::string, std::string>{"{early}", early_dir_}}) {
      if (auto at = message.find(mark); at != std::string::npos) message.replace(at, mark.size(), dir);
    }
    if (c.status != 0) {
      message = (c.enable ? "Cannot enable automatic login for alice: "
                          : "Cannot disable automatic login: ") + message;
    }
    EXPECT_EQ(err, message) << c.what;
    EXPECT_EQ(read_conf(), c.after) << c.what;
  }
}

TEST_F(ConfFileTest, RefusesAMainFileLightdmCannotUse) {
  write_conf("[Seat:*]\n#autologin-user=\nno equals sign\n");
  std::string err;
  EXPECT_EQ(update(false, &err), 1);
  EXPECT_EQ(err, "Cannot disable automatic login: LightDM cannot load " + path_ +
                     " (line 3: not a key-value pair, group or comment) and would not start\n");

  const std::string target = dir_ + "/real.conf";
  std::ofstream(target) << "[Seat:*]\nautologin-user=bob\n";
  unlink(path_.c_str());
  ASSERT_EQ(symlink(target.c_str(), path_.c_str()), 0);
  EXPECT_EQ(update(false, &err), 1);
  EXPECT_EQ(err, "Cannot update " + path_ +
                     ": it is a symbolic link, and replacing it would leave the file it points to "
                     "as it is\n");
  struct stat st {};
  ASSERT_EQ(lstat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// A file that enable wrote can always be switched off again: at the limit, with a one-letter
// name (whose user line is as long as the commented one) and the timeout line twice, disable
// adds two bytes, and enable kept those free.
TEST_F(ConfFileTest, DisablesWhatEnableWroteAtTheLimit) {
  const std::string head = "[Seat:*]\nautologin-user-timeout=5\n#";
  const std::string tail = "\n[Other]\n";
  const std::size_t added = std::string("autologin-user=a\nautologin-user-timeout=0\n").size();
  const std::string filler(CONF_BUFFER_SIZE - 1 - 2 - head.size() - tail.size() - added, 'x');
  write_conf(head + filler + tail);
  std::string err;
  testing::internal::CaptureStderr();
  ConfUpdate next{};
  ASSERT_EQ(prepare_config_update(paths_, seats_, AutologinRequest{true, "a"},
                                  "Cannot enable automatic login for a: ", &next), 0);
  ASSERT_EQ(stage_config_update(paths_, &next), 0);
  ASSERT_EQ(commit_config_update(&next), 0);
  flush_messages();
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "");
  EXPECT_EQ(read_conf().size(), CONF_BUFFER_SIZE - 3);
  EXPECT_EQ(update(false, &err), 0) << err;
  EXPECT_EQ(read_conf().size(), CONF_BUFFER_SIZE - 1);

  // One byte more and enable refuses, rather than write a file disable could not handle.
  write_conf(head + filler + "x" + tail);
  testing::internal::CaptureStderr();
  EXPECT_EQ(prepare_config_update(paths_, seats_, AutologinRequest{true, "a"},
                                  "Cannot enable automatic login for a: ", &next), 1);
  flush_messages();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Cannot update " + path_ + ": the new file would be larger than 131069 bytes\n");
}
