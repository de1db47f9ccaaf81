#include "gates/display_manager.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

struct Layout {
  const char* what;
  const char* alias_target;  // null: no alias
  const char* default_file;  // null: no file
  bool lightdm_installed;
  const char* warning;  // null: nothing to say
};

std::string say(const DisplayManagerPaths& paths) {
  char buf[512];
  return other_display_manager(paths, buf, sizeof buf) ? std::string(buf) : std::string();
}

}  // namespace

// How the display manager that starts at boot is known, and what is said about it.
TEST(DisplayManager, NamesAnotherManagerOnlyWhenTheSystemSaysSo) {
  const std::string gdm =
      "Warning: this system starts gdm3 at boot, not LightDM, so automatic login will not "
      "happen";
  const std::string absent = "Warning: LightDM is not installed, so automatic login will not happen";
  const Layout layouts[] = {
      {"neither file", nullptr, nullptr, true, nullptr},
      {"alias to lightdm", "/lib/systemd/system/lightdm.service", nullptr, true, nullptr},
      {"alias to gdm3", "/lib/systemd/system/gdm3.service", "/usr/sbin/lightdm\n", true,
       gdm.c_str()},
      {"alias wins over the file", "/lib/systemd/system/lightdm.service", "/usr/sbin/gdm3\n",
       true, nullptr},
      {"relative alias to gdm3", "gdm3.service", nullptr, true, gdm.c_str()},
      {"file names gdm3", nullptr, "/usr/sbin/gdm3\n", true, gdm.c_str()},
      {"file names lightdm", nullptr, "/usr/sbin/lightdm  \n", true, nullptr},
      {"empty file", nullptr, "", true, nullptr},
      {"masked", "/dev/null", nullptr, true,
       "Warning: display-manager.service is masked, so it does not start at boot and automatic "
       "login will not happen"},
      {"LightDM masked", "/lib/systemd/system/lightdm.service", nullptr, true,
       "Warning: lightdm.service is masked, so it does not start at boot and automatic login "
       "will not happen"},
      {"a chain on past a lightdm.service name", "site.service", nullptr, true, gdm.c_str()},
      {"a name that could forge a line", "/lib/systemd/system/x\ny.service", nullptr, true,
       "Warning: this system starts x\\x0ay at boot, not LightDM, so automatic login will not "
       "happen"},
      {"LightDM missing", nullptr, nullptr, false, absent.c_str()},
      {"LightDM missing, alias to it", "/lib/systemd/system/lightdm.service", nullptr, false,
       absent.c_str()},
  };
  for (const Layout& layout : layouts) {
    std::string tmpl = std::string(testing::TempDir()) + "dm_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    const std::string alias = tmpl + "/display-manager.service";
    const std::string file = tmpl + "/default-display-manager";
    const std::string lightdm = tmpl + "/lightdm";
    if (layout.alias_target != nullptr) {
      ASSERT_EQ(symlink(layout.alias_target, alias.c_str()), 0);
    }
    if (layout.default_file != nullptr) std::ofstream(file) << layout.default_file;
    // The extra links of the chains: lightdm.service masked, or site.service on to gdm3.
    if (std::string(layout.what) == "LightDM masked") {
      ASSERT_EQ(symlink("/dev/null", (tmpl + "/lightdm.service").c_str()), 0);
    }
    if (std::string(layout.what) == "a chain on past a lightdm.service name") {
      ASSERT_EQ(symlink("lightdm.service", (tmpl + "/site.service").c_str()), 0);
      ASSERT_EQ(symlink("/lib/systemd/system/gdm3.service", (tmpl + "/lightdm.service").c_str()),
                0);
    }
    if (layout.lightdm_installed) {
      std::ofstream(lightdm) << "#!/bin/sh\n";
      ASSERT_EQ(chmod(lightdm.c_str(), 0755), 0);
    }
    const DisplayManagerPaths paths{alias.c_str(), file.c_str(), lightdm.c_str()};
    EXPECT_EQ(say(paths), layout.warning != nullptr ? layout.warning : "") << layout.what;
    ASSERT_EQ(std::system(("rm -rf '" + tmpl + "'").c_str()), 0);
  }
}
