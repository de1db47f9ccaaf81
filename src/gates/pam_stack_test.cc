#include "gates/pam_stack.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

struct StackCase {
  const char* what;
  const char* service;  // the text of pam.d/svc
  const char* common;   // the text of pam.d/common (null: no such file)
  bool makes_home;
};

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace

// Which session stacks make a missing home at login: the module in a session line, however it
// is reached, and nothing else.
TEST(PamStack, FindsMkhomedirInTheSessionStackOnly) {
  const std::string big(40000, '#');
  const std::string huge_line = "session required pam_mkhomedir.so\n" + big;
  const StackCase cases[] = {
      {"plain", "session required pam_mkhomedir.so\n", nullptr, true},
      {"absolute path", "session optional /usr/lib/x86_64-linux-gnu/security/pam_mkhomedir.so\n",
       nullptr, true},
      // libpam passes a "-session" module over where it is missing: no promise of a home.
      {"optional dash", "-session optional pam_mkhomedir.so skel=/etc/skel\n", nullptr, false},
      {"upper-case type", "Session required pam_mkhomedir.so\n", nullptr, true},
      {"bracket control with blanks",
       "session [success=ok default=ignore] pam_mkhomedir.so umask=0022\n", nullptr, true},
      {"continued line", "session \\\n required pam_mkhomedir.so\n", nullptr, true},
      {"no line feed at the end", "session required pam_mkhomedir.so", nullptr, true},
      {"@include", "@include common\n", "session required pam_mkhomedir.so\n", true},
      {"session include", "session include common\n", "session optional pam_mkhomedir.so\n",
       true},
      {"session substack", "session substack common\n", "session optional pam_mkhomedir.so\n",
       true},
      {"commented out", "#session required pam_mkhomedir.so\n", nullptr, false},
      {"comment after blanks", "   # session required pam_mkhomedir.so\n", nullptr, false},
      {"comment inside the line", "session required pam_env.so # pam_mkhomedir.so\n", nullptr,
       false},
      {"auth stack", "auth required pam_mkhomedir.so\n", nullptr, false},
      {"account include", "account include common\n", "session required pam_mkhomedir.so\n",
       false},
      {"a similar module", "session required pam_mkhomedir.so.bak\n", nullptr, false},
      {"a module ending in the name", "session required my_pam_mkhomedir.so\n", nullptr, false},
      {"module only as an argument", "session required pam_exec.so pam_mkhomedir.so\n", nullptr,
       false},
      {"include of a missing file", "@include nosuch\n", nullptr, false},
      {"include by a path", "@include /etc/pam.d/common\n",
       "session required pam_mkhomedir.so\n", false},
      {"include up and out", "session include ../common\n",
       "session required pam_mkhomedir.so\n", false},
      {"include of itself", "@include svc\n", nullptr, false},
      {"file too large to read whole", huge_line.c_str(), nullptr, false},
      {"empty", "", nullptr, false},
  };
  char dir[] = "/tmp/brindleway-pamstack.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  for (const StackCase& c : cases) {
    write_file(std::string(dir) + "/svc", c.service);
    const std::string common = std::string(dir) + "/common";
    unlink(common.c_str());
    if (c.common != nullptr) write_file(common, c.common);
    EXPECT_EQ(session_stack_makes_home_in(dir, "svc"), c.makes_home) << c.what;
  }
  // A chain of includes: found within the depth bound, not beyond it.
  for (int depth : {3, 12}) {
    for (int i = 0; i < depth; ++i) {
      write_file(std::string(dir) + "/chain" + std::to_string(i),
                 "@include chain" + std::to_string(i + 1) + "\n");
    }
    write_file(std::string(dir) + "/chain" + std::to_string(depth),
               "session required pam_mkhomedir.so\n");
    EXPECT_EQ(session_stack_makes_home_in(dir, "chain0"), depth == 3) << "depth " << depth;
  }
  // A service name that is not a plain name is never read.
  EXPECT_FALSE(session_stack_makes_home_in(dir, "../etc/svc"));
  std::system((std::string("rm -rf ") + dir).c_str());
}
