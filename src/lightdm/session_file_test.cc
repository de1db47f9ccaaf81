#include "lightdm/session_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

const KeyFileString& name_of(const char* name) {
  static KeyFileString value;
  decode_keyfile_string(Span{name, std::strlen(name)}, &value);
  return value;
}

void write_file(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  ASSERT_EQ(std::fclose(f), 0);
}

}  // namespace

// Every kind of candidate in the first directory, with a good file in the second: whether
// LightDM passes over it, takes it, or would be judged by this program at all.
TEST(SessionFile, TakesTheFirstFileThatLoadsWithExec) {
  std::string root = std::string(testing::TempDir()) + "session_file_test.XXXXXX";
  ASSERT_NE(mkdtemp(root.data()), nullptr);
  const std::string a = root + "/a", b = root + "/b";
  ASSERT_EQ(mkdir(a.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(b.c_str(), 0755), 0);
  const std::string good = "[Desktop Entry]\nExec=/bin/true\n";
  const std::string dirs = a + ":" + b;
  using St = SessionFile::State;
  struct Case {
    const char* what;
    void (*lay)(const std::string& path, const std::string& good);
    St state;
    bool in_first;
  };
  const Case cases[] = {
      {"absent", [](const std::string&, const std::string&) {}, St::kFound, false},
      {"loads with Exec", [](const std::string& p, const std::string& g) { write_file(p, g); },
       St::kFound, true},
      {"no Exec",
       [](const std::string& p, const std::string&) { write_file(p, "[Desktop Entry]\nName=x\n"); },
       St::kFound, false},
      {"not loadable",
       [](const std::string& p, const std::string& g) { write_file(p, g + "junk\n"); },
       St::kFound, false},
      {"a directory", [](const std::string& p, const std::string&) { mkdir(p.c_str(), 0755); },
       St::kFound, false},
      {"a dangling link",
       [](const std::string& p, const std::string&) { (void)symlink("/nonexistent", p.c_str()); },
       St::kFound, false},
      {"a link to a good file",
       [](const std::string& p, const std::string& g) {
         write_file(p + ".target", g);
         (void)symlink((p + ".target").c_str(), p.c_str());
       },
       St::kFound, true},
      {"a FIFO", [](const std::string& p, const std::string&) { mkfifo(p.c_str(), 0644); },
       St::kCannotTell, true},
      {"too large",
       [](const std::string& p, const std::string& g) {
         write_file(p, g + "#" + std::string(SESSION_FILE_MAX, 'x') + "\n");
       },
       St::kCannotTell, true},
      {"an Exec read apart",
       [](const std::string& p, const std::string&) {
         write_file(p, "[Desktop Entry]\nExec=a\\qb\n");
       },
       St::kCannotTell, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string first = a + "/s.desktop";
    std::remove((first + ".target").c_str());
    std::remove(first.c_str());
    rmdir(first.c_str());
    write_file(b + "/s.desktop", good);
    c.lay(first, good);
    static SessionFile found;
    find_session_file(dirs.c_str(), name_of("s"), false, &found);
    EXPECT_EQ(found.state, c.state) << found.why;
    EXPECT_EQ(std::string(found.path), c.in_first ? first : b + "/s.desktop");
    if (c.state == St::kFound) {
      EXPECT_EQ(found.kind, SessionKind::kX);
    }
  }
  std::remove((a + "/s.desktop").c_str());
  std::remove((b + "/s.desktop").c_str());
  static SessionFile found;
  find_session_file(dirs.c_str(), name_of("s"), false, &found);
  EXPECT_EQ(found.state, SessionFile::kNotFound);
  for (const std::string& odd : {a + "::" + b, a + ":rel", std::string(""), a + ":"}) {
    find_session_file(odd.c_str(), name_of("none"), false, &found);
    EXPECT_EQ(found.state, SessionFile::kCannotTell) << odd;
  }
  EXPECT_EQ(std::system(("rm -rf " + root).c_str()), 0);
}
