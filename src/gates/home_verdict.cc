#include "gates/home_verdict.h"

#include <cstdio>
#include <cstring>

#include "common/i18n.h"
#include "gates/pam_stack.h"
#include "lightdm/display_setup.h"
#include "lightdm/seat_autologin.h"

namespace {

/// Returns what the session stacks of |services| do for a missing home: the first that makes
/// none decides, then the first that cannot be told.
StackHome every_stack_home(const PamServiceList& services) {
  StackHome home{};
  home.state = services.count > 0 ? StackHome::kMakesHome : StackHome::kNoHome;
  for (std::size_t i = 0; i < services.count; ++i) {
    const StackHome one = session_stack_home(services.names[i]);
    if (one.state == StackHome::kNoHome) return one;
    if (one.state == StackHome::kCannotTell && home.state == StackHome::kMakesHome) home = one;
  }
  return home;
}

/// Writes why |probe|'s missing home is not made at login into |reason|. Returns snprintf's
/// count, or 0 when the stack makes the home.
int missing_home(const char* user, const char* home, const StackHome& stack, char* reason,
                 std::size_t size) {
  switch (stack.state) {
    case StackHome::kMakesHome:
      return 0;
    case StackHome::kCannotTell: {
      static char path[sizeof stack.path * 4 + 8];
      quote_name(stack.path, path, sizeof path);
      // TRANSLATORS: the user's name, the home directory's path, then a PAM file and a line
      // number in it.
      return std::snprintf(reason, size, _("cannot tell whether PAM makes %s's missing home %s: "
                                           "%s line %u may end the session stack or jump past "
                                           "pam_mkhomedir"), user, home, path, stack.line);
    }
    case StackHome::kNoHome:
      break;
  }
  // TRANSLATORS: the user's name, and the home directory's path.
  return std::snprintf(reason, size, _("LightDM could not start %s's session in %s, which does "
                                       "not exist"), user, home);
}

/// Writes why LightDM could not write |user|'s X authority, as |probe| found it, into |reason|.
/// Returns snprintf's count, or 0 when it could.
int authority_problem(const char* user, const char* home, const UserProbe& probe, char* reason,
                      std::size_t size) {
  switch (probe.xauth) {
    case XauthState::kWritable:
    case XauthState::kCreatable:
      return 0;
    case XauthState::kNotRegular:
      // TRANSLATORS: the user's name, and the home directory's path.
      return std::snprintf(reason, size, _("LightDM could not write %s's X authority, since "
                                           "%s/.Xauthority is not a regular file"), user, home);
    case XauthState::kNotWritable:
      return std::snprintf(reason, size,
                           _("LightDM could not write %s's X authority, since %s may not write "
                             "%s/.Xauthority"),
                           user, user, home);
    case XauthState::kNotCreatable: {
      static char path[sizeof probe.xauth_path * 4 + 8];
      quote_name(probe.xauth_path, path, sizeof path);
      // TRANSLATORS: the user's name twice, then the path LightDM would create the file at.
      return std::snprintf(reason, size, _("LightDM could not write %s's X authority, since %s "
                                           "may not create %s"), user, user, path);
    }
    case XauthState::kCannotTell:
      break;
  }
  return std::snprintf(reason, size,
                       _("cannot tell whether LightDM could start %s's session in %s: %s"), user,
                       home, std::strerror(probe.xauth_error));
}

}  // namespace

HomeRules home_rules(const UserProbe& probe, const SeatModel& model,
                     const PamServiceList& services, bool x_session) {
  HomeRules rules{user_authority_in_system_dir(model), StackHome{}, x_session};
  rules.stack.state = StackHome::kNoHome;
  if (probe.done && probe.home == HomeState::kMissing) rules.stack = every_stack_home(services);
  return rules;
}

bool home_serves_session(const char* user, const UserProbe& probe, const HomeRules& rules,
                         char* reason, std::size_t size) {
  if (!probe.done) {
    std::snprintf(reason, size, _("cannot look at %s's home directory: %s"), user, probe.why);
    return false;
  }
  static char home[sizeof probe.home_path * 4 + 8];
  quote_name(probe.home_path, home, sizeof home);
  int n = 0;
  switch (probe.home) {
    case HomeState::kEnterable:
      if (!rules.x_session || rules.authority_in_system_dir) return true;
      n = authority_problem(user, home, probe, reason, size);
      if (n == 0) return true;
      break;
    case HomeState::kMissing:
      n = missing_home(user, home, rules.stack, reason, size);
      if (n == 0) return true;
      break;
    case HomeState::kDanglingLink:
      n = std::snprintf(reason, size, _("LightDM could not start %s's session in %s, a symbolic "
                                        "link to nothing"), user, home);
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
