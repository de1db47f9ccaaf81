#include "seatconf/file_replace.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/message_queue.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

int entries(const std::string& dir) {
  int n = 0;
  DIR* d = opendir(dir.c_str());
  while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
  closedir(d);
  return n;
}

}  // namespace

// Whatever happened to the file after it was read, the helper's text must not replace it: an
// administrator's save would be lost without a word.
TEST(ReplaceFile, RefusesAFileChangedSinceItWasRead) {
  std::string dir = std::string(testing::TempDir()) + "file_replace_test.XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string path = dir + "/lightdm.conf";
  const std::string old_text = "[Seat:*]\nautologin-user=bob\n";
  struct Case {
    const char* what;
    void (*change)(const std::string& path);
    const char* left;  // the file's content afterwards; null: no file
  };
  const Case cases[] = {
      {"rewritten, same size",
       [](const std::string& p) { write_file(p, "[Seat:*]\nautologin-user=dan\n"); },
       "[Seat:*]\nautologin-user=dan\n"},
      {"appended to", [](const std::string& p) { std::ofstream(p, std::ios::app) << "x=1\n"; },
       "[Seat:*]\nautologin-user=bob\nx=1\n"},
      {"saved by rename",
       [](const std::string& p) {
         write_file(p + ".new", "[Seat:*]\n");
         ASSERT_EQ(std::rename((p + ".new").c_str(), p.c_str()), 0);
       },
       "[Seat:*]\n"},
      {"made private", [](const std::string& p) { ASSERT_EQ(chmod(p.c_str(), 0600), 0); },
       "[Seat:*]\nautologin-user=bob\n"},
      {"rewritten, mtime kept",
       [](const std::string& p) {
         struct stat st {};
         ASSERT_EQ(stat(p.c_str(), &st), 0);
         write_file(p, "[Seat:*]\nautologin-user=dan\n");
         const timespec times[2] = {st.st_atim, st.st_mtim};
         ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
       },
       "[Seat:*]\nautologin-user=dan\n"},
      {"removed", [](const std::string& p) { ASSERT_EQ(unlink(p.c_str()), 0); }, nullptr},
  };
  for (const Case& c : cases) {
    write_file(path, old_text);
    struct stat read_as {};
    const int old_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(fstat(old_fd, &read_as), 0);
    usleep(2000);  // so that a rewrite also gets another mtime on a coarse clock
    c.change(path);
    testing::internal::CaptureStderr();
    EXPECT_EQ(replace_file(path.c_str(), old_fd, "new\n", 4, read_as), 1) << c.what;
    close(old_fd);
    flush_messages();
    const std::string err = testing::internal::GetCapturedStderr();
    if (c.left != nullptr) {
      EXPECT_EQ(err, "Cannot replace " + path +
                         ": the file changed while it was being rewritten\n") << c.what;
      EXPECT_EQ(read_file(path), c.left) << c.what;
    } else {
      EXPECT_EQ(err, "Cannot replace " + path + ": No such file or directory\n") << c.what;
    }
    EXPECT_EQ(entries(dir), c.left != nullptr ? 1 : 0) << c.what << ": temporary file left";
  }
  unlink(path.c_str());
  rmdir(dir.c_str());
}

// A staged file has no name until the commit, so a crash before it leaves nothing; a commit
// leaves exactly the new file, and a discard exactly the old one.
TEST(StagedFile, HasNoNameUntilTheCommitAndLeavesOneFile) {
  std::string dir = std::string(testing::TempDir()) + "file_replace_test.XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string path = dir + "/lightdm.conf";
  struct Case {
    bool commit;
    const char* left;
  };
  for (const Case& c : {Case{true, "new\n"}, Case{false, "old\n"}}) {
    write_file(path, "old\n");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    struct stat read_as {};
    const int old_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(fstat(old_fd, &read_as), 0);
    static StagedFile staged;
    ASSERT_EQ(stage_file(path.c_str(), old_fd, "new\n", 4, read_as, &staged), 0);
    close(old_fd);
    EXPECT_EQ(entries(dir), 1) << "a staged file has a name";
    EXPECT_EQ(c.commit ? commit_staged_file(&staged) : discard_staged_file(&staged), 0);
    EXPECT_EQ(read_file(path), c.left);
    EXPECT_EQ(entries(dir), 1) << (c.commit ? "commit" : "discard") << ": a file left behind";
    struct stat now {};
    ASSERT_EQ(stat(path.c_str(), &now), 0);
    EXPECT_EQ(now.st_mode & 07777, 0600u) << "the mode follows the old file";
    EXPECT_EQ(commit_staged_file(&staged), 1) << "a staged file is committed once";
  }
  unlink(path.c_str());
  rmdir(dir.c_str());
}
