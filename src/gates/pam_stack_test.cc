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
  StackHome::State home;
  const char* where;  // for kCannotTell: FILE:LINE of the line that may pass it over
};

constexpr StackHome::State kYes = StackHome::kMakesHome;
constexpr StackHome::State kNo = StackHome::kNoHome;
constexpr StackHome::State kMaybe = StackHome::kCannotTell;

/// Debian's common-session as pam-auth-update writes it with mkhomedir enabled.
constexpr char kDebianCommon[] =
    "session\t[default=1]\t\t\tpam_permit.so\n"
    "session\trequisite\t\t\tpam_deny.so\n"
    "session\trequired\t\t\tpam_permit.so\n"
    "session\trequired\tpam_unix.so \n"
    "session\toptional\tpam_systemd.so \n"
    "session\toptional\t\t\tpam_mkhomedir.so\n";

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace

// Which session stacks make a missing home at login: the module in a session line, however it
// is reached, where nothing before it may end the stack or jump past it.
TEST(PamStack, FindsMkhomedirWhereEveryWayReachesIt) {
  const std::string big(40000, '#');
  const std::string huge_line = "session required pam_mkhomedir.so\n" + big;
  const StackCase cases[] = {
      {"plain", "session required pam_mkhomedir.so\n", nullptr, kYes, nullptr},
      {"absolute path", "session optional /usr/lib/x86_64-linux-gnu/security/pam_mkhomedir.so\n",
       nullptr, kYes, nullptr},
      // libpam passes a "-session" module over where it is missing: no promise of a home.
      {"optional dash", "-session optional pam_mkhomedir.so skel=/etc/skel\n", nullptr, kNo, nullptr},
      {"upper-case type", "Session required pam_mkhomedir.so\n", nullptr, kYes, nullptr},
      {"bracket control with blanks",
       "session [success=ok default=ignore] pam_mkhomedir.so umask=0022\n", nullptr, kYes, nullptr},
      {"continued line", "session \\\n required pam_mkhomedir.so\n", nullptr, kYes, nullptr},
      {"no line feed at the end", "session required pam_mkhomedir.so", nullptr, kYes, nullptr},
      {"@include", "@include common\n", "session required pam_mkhomedir.so\n", kYes, nullptr},
      {"session include", "session include common\n", "session optional pam_mkhomedir.so\n",
       kYes, nullptr},
      {"session substack", "session substack common\n", "session optional pam_mkhomedir.so\n",
       kYes, nullptr},
      {"commented out", "#session required pam_mkhomedir.so\n", nullptr, kNo, nullptr},
      {"comment after blanks", "   # session required pam_mkhomedir.so\n", nullptr, kNo, nullptr},
      {"comment inside the line", "session required pam_env.so # pam_mkhomedir.so\n", nullptr,
       kNo, nullptr},
      {"auth stack", "auth required pam_mkhomedir.so\n", nullptr, kNo, nullptr},
      {"account include", "account include common\n", "session required pam_mkhomedir.so\n",
       kNo, nullptr},
      {"a similar module", "session required pam_mkhomedir.so.bak\n", nullptr, kNo, nullptr},
      {"a module ending in the name", "session required my_pam_mkhomedir.so\n", nullptr, kNo, nullptr},
      {"module only as an argument", "session required pam_exec.so pam_mkhomedir.so\n", nullptr,
       kNo, nullptr},
      {"include of a missing file", "@include nosuch\n", nullptr, kNo, nullptr},
      {"include by a path", "@include /etc/pam.d/common\n",
       "session required pam_mkhomedir.so\n", kNo, nullptr},
      {"include up and out", "session include ../common\n",
       "session required pam_mkhomedir.so\n", kNo, nullptr},
      {"include of itself", "@include svc\n", nullptr, kNo, nullptr},
      {"file too large to read whole", huge_line.c_str(), nullptr, kNo, nullptr},
      {"empty", "", nullptr, kNo, nullptr},
      // Surely reached: what goes before can be passed over or lets the stack go on.
      {"Debian's common-session", "@include common\n", kDebianCommon, kYes, nullptr},
      {"a module that may fail, required", "session required pam_unix.so\n"
       "session optional pam_mkhomedir.so\n", nullptr, kYes, nullptr},
      {"a jump that lands on it", "session [success=1 default=ignore] pam_unix.so\n"
       "session optional pam_env.so\nsession optional pam_mkhomedir.so\n", nullptr, kYes, nullptr},
      {"pam_deny passed over by pam_permit's jump",
       "session [success=1] pam_permit.so\nsession requisite pam_deny.so\n"
       "session optional pam_mkhomedir.so\n", nullptr, kYes, nullptr},
      {"sufficient pam_deny goes on", "session sufficient pam_deny.so\n"
       "session optional pam_mkhomedir.so\n", nullptr, kYes, nullptr},
      {"a substack's end ends the substack only", "session substack common\n"
       "session optional pam_mkhomedir.so\n", "session requisite pam_unix.so\n"
       "session [default=5] pam_env.so\n", kYes, nullptr},
      // Not surely: another module may end the stack or jump past it.
      {"a jump over it", "session [success=1 default=ignore] pam_permit.so\n"
       "session optional pam_mkhomedir.so\n", nullptr, kMaybe, "svc:1"},
      {"a jump of another module over it", "session required pam_env.so\n"
       "session [success=1 default=ignore] pam_unix.so\nsession optional pam_mkhomedir.so\n",
       nullptr, kMaybe, "svc:2"},
      {"a jump from an include over it", "@include common\nsession optional pam_mkhomedir.so\n",
       "session [default=1] pam_permit.so\n", kMaybe, "common:1"},
      {"a jump over a substack that holds it", "session [default=1] pam_permit.so\n"
       "session substack common\n", "session optional pam_mkhomedir.so\n", kMaybe, "svc:1"},
      {"sufficient", "session sufficient pam_unix.so\nsession optional pam_mkhomedir.so\n",
       nullptr, kMaybe, "svc:1"},
      {"requisite", "session requisite pam_unix.so\nsession optional pam_mkhomedir.so\n",
       nullptr, kMaybe, "svc:1"},
      {"requisite pam_deny", "session requisite pam_deny.so\n"
       "session optional pam_mkhomedir.so\n", nullptr, kMaybe, "svc:1"},
      {"sufficient pam_permit", "session sufficient pam_permit.so\n"
       "session optional pam_mkhomedir.so\n", nullptr, kMaybe, "svc:1"},
      {"done", "session [success=done default=ok] pam_unix.so\n"
       "session optional pam_mkhomedir.so\n", nullptr, kMaybe, "svc:1"},
      {"die after a continued line", "session \\\n [default=die] pam_unix.so\n"
       "session optional pam_mkhomedir.so\n", nullptr, kMaybe, "svc:1"},
      {"a control not understood", "session requird pam_unix.so\n"
       "session optional pam_mkhomedir.so\n", nullptr, kMaybe, "svc:1"},
      {"an end inside the substack before it", "session substack common\n",
       "session requisite pam_unix.so\nsession optional pam_mkhomedir.so\n", kMaybe, "common:1"},
  };
  char dir[] = "/tmp/brindleway-pamstack.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  for (const StackCase& c : cases) {
    write_file(std::string(dir) + "/svc", c.service);
    const std::string common = std::string(dir) + "/common";
    unlink(common.c_str());
    if (c.common != nullptr) write_file(common, c.common);
    const StackHome home = session_stack_home_in(dir, "svc");
    EXPECT_EQ(home.state, c.home) << c.what;
    if (c.home == kMaybe) {
      EXPECT_EQ(std::string(home.path) + ":" + std::to_string(home.line),
                std::string(dir) + "/" + c.where)
          << c.what;
    }
  }
  // A chain of includes: found within the depth bound, not beyond it.
  for (int depth : {3, 12}) {
    for (int i = 0; i < depth; ++i) {
      write_file(std::string(dir) + "/chain" + std::to_string(i),
                 "@include chain" + std::to_string(i + 1) + "\n");
    }
    write_file(std::string(dir) + "/chain" + std::to_string(depth),
               "session required pam_mkhomedir.so\n");
    EXPECT_EQ(session_stack_home_in(dir, "chain0").state, depth == 3 ? kYes : kNo)
        << "depth " << depth;
  }
  // A service name that is not a plain name is never read.
  EXPECT_EQ(session_stack_home_in(dir, "../etc/svc").state, kNo);
  std::system((std::string("rm -rf ") + dir).c_str());
}
