#include "gates/home_verdict.h"

#include <cstdio>
#include <cstring>

#include "common/i18n.h"
#include "common/quote.h"
#include "gates/pam_stack.h"
#include "lightdm/display_setup.h"

namespace {

/// Returns true if every PAM service of |services| makes a missing home in its session stack.
bool every_stack_makes_home(const PamServiceList& services) {
  for (std::size_t i = 0; i < services.count; ++i) {
    if (!session_stack_makes_home(services.names[i])) return false;
  }
  return services.count > 0;
}

}  // namespace

HomeRules home_rules(const UserProbe& probe, const SeatModel& model,
                     const PamServiceList& services) {
  return HomeRules{user_authority_in_system_dir(model),
                   probe.done && probe.home == HomeState::kMissing &&
                       every_stack_makes_home(services)};
}

bool home_serves_session(const char* user, const UserProbe& probe, const HomeRules& rules,
                         char* reason, std::size_t size) {
  if (!probe.done) {
    std::snprintf(reason, size, _("cannot look at %s's home directory: %s"), user, probe.why);
    return false;
  }
  static char home[quoted_size(sizeof probe.home_path)];
  quote_name(probe.home_path, home, sizeof home);
  int n = 0;
  switch (probe.home) {
    case HomeState::kUsable:
      return true;
    case HomeState::kMissing:
      if (rules.session_stack_makes_home) return true;
      // TRANSLATORS: the user's name, and the home directory's path.
      n = std::snprintf(reason, size, _("LightDM could not start %s's session in %s, which does "
                                        "not exist"), user, home);
      break;
    case HomeState::kNotDirectory:
      n = std::snprintf(reason, size, _("LightDM could not start %s's session in %s, which is "
                                        "not a directory"), user, home);
      break;
    case HomeState::kNotEnterable:
      // TRANSLATORS: the user's name, the home directory's path, and the user's name again.
      n = std::snprintf(reason, size, _("LightDM could not start %s's session in %s, which %s may "
                                        "not enter"), user, home, user);
      break;
    case HomeState::kNotWritable:
      n = std::snprintf(reason, size, _("LightDM could not start %s's session in %s, where %s "
                                        "may not create files"), user, home, user);
      break;
    case HomeState::kXauthorityNotWritable:
      if (rules.authority_in_system_dir) return true;
      n = std::snprintf(reason, size,
                        _("LightDM could not write %s's X authority, since %s may not write "
                          "%s/.Xauthority"),
                        user, user, home);
      break;
    case HomeState::kCannotTell:
      n = std::snprintf(reason, size,
                        _("cannot tell whether LightDM could start %s's session in %s: %s"), user,
                        home, std::strerror(probe.home_error));
      break;
  }
  // A reason too long for |reason| still refuses, in words that fit.
  if (n < 0 || static_cast<std::size_t>(n) >= size) {
    std::snprintf(reason, size, _("LightDM could not start %s's session in the home"), user);
    if (std::strlen(reason) + 1 >= size) cut_at_character(reason, size);
  }
  return false;
}
