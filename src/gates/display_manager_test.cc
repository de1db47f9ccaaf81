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
  bool systemd;              // systemd is the init system
  const char* alias_target;  // null: no alias in /etc
  const char* vendor_target;  // null: no alias shipped by a package
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
  const std::string none =
      "Warning: no display manager is enabled to start at boot, so automatic login will not "
      "happen";
  const char* lightdm_unit = "/lib/systemd/system/lightdm.service";
  const char* gdm_unit = "/lib/systemd/system/gdm3.service";
  const Layout layouts[] = {
      {"systemd, no alias (systemctl disable)", true, nullptr, nullptr, "/usr/sbin/lightdm\n",
       true, none.c_str()},
      {"systemd, alias to lightdm", true, lightdm_unit, nullptr, nullptr, true, nullptr},
      {"systemd, alias to gdm3", true, gdm_unit, nullptr, "/usr/sbin/lightdm\n", true,
       gdm.c_str()},
      {"systemd, alias wins over the file", true, lightdm_unit, nullptr, "/usr/sbin/gdm3\n",
       true, nullptr},
      {"systemd, relative alias to gdm3", true, "gdm3.service", nullptr, nullptr, true,
       gdm.c_str()},
      {"systemd, vendor alias to lightdm", true, nullptr, "lightdm.service", nullptr, true,
       nullptr},
      {"systemd, vendor alias to gdm3", true, nullptr, gdm_unit, "/usr/sbin/lightdm\n", true,
       gdm.c_str()},
      {"systemd, alias in /etc wins over the vendor's", true, lightdm_unit, gdm_unit, nullptr,
       true, nullptr},
      {"systemd, alias masked", true, "/dev/null", nullptr, nullptr, true,
       "Warning: display-manager.service is masked, so it does not start at boot and automatic "
       "login will not happen"},
      {"systemd, vendor alias masked in /etc", true, "/dev/null", lightdm_unit, nullptr, true,
       "Warning: display-manager.service is masked, so it does not start at boot and automatic "
       "login will not happen"},
      {"systemd, LightDM masked", true, lightdm_unit, nullptr, nullptr, true,
       "Warning: lightdm.service is masked, so it does not start at boot and automatic login "
       "will not happen"},
      {"systemd, LightDM masked, vendor alias", true, nullptr, lightdm_unit, nullptr, true,
       "Warning: lightdm.service is masked, so it does not start at boot and automatic login "
       "will not happen"},
      {"systemd, a chain on past a lightdm.service name", true, "site.service", nullptr, nullptr,
       true, gdm.c_str()},
      {"systemd, a name that could forge a line", true, "/lib/systemd/system/x\ny.service",
       nullptr, nullptr, true,
       "Warning: this system starts x\\x0ay at boot, not LightDM, so automatic login will not "
       "happen"},
      {"no systemd, nothing", false, nullptr, nullptr, nullptr, true, nullptr},
      {"no systemd, an alias to gdm3 counts for nothing", false, gdm_unit, gdm_unit, nullptr,
       true, nullptr},
      {"no systemd, file names gdm3", false, lightdm_unit, nullptr, "/usr/sbin/gdm3\n", true,
       gdm.c_str()},
      {"no systemd, file names lightdm", false, nullptr, nullptr, "/usr/sbin/lightdm  \n", true,
       nullptr},
      {"no systemd, empty file", false, nullptr, nullptr, "", true, nullptr},
      {"LightDM missing", false, nullptr, nullptr, nullptr, false, absent.c_str()},
      {"LightDM missing, alias to it", true, lightdm_unit, nullptr, nullptr, false,
       absent.c_str()},
  };
  for (const Layout& layout : layouts) {
    std::string tmpl = std::string(testing::TempDir()) + "dm_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    const std::string running = tmpl + "/run-systemd-system";
    const std::string alias = tmpl + "/display-manager.service";
    const std::string vendor_dir = tmpl + "/vendor";
    const std::string vendor = vendor_dir + "/display-manager.service";
    const std::string file = tmpl + "/default-display-manager";
    const std::string lightdm = tmpl + "/lightdm";
    const std::string what = layout.what;
    if (layout.systemd) {
      ASSERT_EQ(mkdir(running.c_str(), 0755), 0);
    }
    ASSERT_EQ(mkdir(vendor_dir.c_str(), 0755), 0);
    if (layout.alias_target != nullptr) {
      ASSERT_EQ(symlink(layout.alias_target, alias.c_str()), 0);
    }
    if (layout.vendor_target != nullptr) {
      ASSERT_EQ(symlink(layout.vendor_target, vendor.c_str()), 0);
    }
    if (layout.default_file != nullptr) std::ofstream(file) << layout.default_file;
    // The extra links of the chains: lightdm.service masked in the administrator's directory,
    // or site.service on to gdm3.
    if (what.find("LightDM masked") != std::string::npos) {
      ASSERT_EQ(symlink("/dev/null", (tmpl + "/lightdm.service").c_str()), 0);
    }
    if (what.find("a chain on past") != std::string::npos) {
      ASSERT_EQ(symlink("lightdm.service", (tmpl + "/site.service").c_str()), 0);
      ASSERT_EQ(symlink(gdm_unit, (tmpl + "/lightdm.service").c_str()), 0);
    }
    if (layout.lightdm_installed) {
      std::ofstream(lightdm) << "#!/bin/sh\n";
      ASSERT_EQ(chmod(lightdm.c_str(), 0755), 0);
    }
    const DisplayManagerPaths paths{running.c_str(), alias.c_str(), vendor.c_str(), file.c_str(),
                                    lightdm.c_str()};
    EXPECT_EQ(say(paths), layout.warning != nullptr ? layout.warning : "") << layout.what;
    ASSERT_EQ(std::system(("rm -rf '" + tmpl + "'").c_str()), 0);
  }
}
