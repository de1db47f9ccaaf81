#include "gates/home_verdict.h"

#include <cstdio>
#include <cstring>

#include "common/i18n.h"
#include "common/quote.h"
#include "common/words.h"
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

/// Writes why |probe|'s missing home is not made at login into |reason|, and its row into
/// |code|. Returns snprintf's count, or 0 when the stack makes the home.
int missing_home(const char* user, const char* home, const StackHome& stack, char* reason,
                 std::size_t size, WordId* code) {
  switch (stack.state) {
    case StackHome::kMakesHome:
      return 0;
    case StackHome::kCannotTell: {
      static char path[quoted_size(sizeof stack.path)];
      quote_name(stack.path, path, sizeof path);
      return print_reason(reason, size, code, "home-making-unknown", user, home,
                          path, stack.line);
    }
    case StackHome::kNoHome:
      break;
  }
  return print_reason(reason, size, code, "home-missing", user, home);
}

/// Writes why LightDM could not write |user|'s X authority, as |probe| found it, into |reason|,
/// and its row into |code|. Returns snprintf's count, or 0 when it could.
int authority_problem(const char* user, const char* home, const UserProbe& probe, char* reason,
                      std::size_t size, WordId* code) {
  switch (probe.xauth) {
    case XauthState::kWritable:
    case XauthState::kCreatable:
      return 0;
    case XauthState::kNotRegular:
      return print_reason(reason, size, code, "xauthority-not-regular", user, home);
    case XauthState::kNotWritable:
      return print_reason(reason, size, code, "xauthority-not-writable", user, user, home);
    case XauthState::kNotCreatable: {
      static char path[quoted_size(sizeof probe.xauth_path)];
      quote_name(probe.xauth_path, path, sizeof path);
      return print_reason(reason, size, code, "xauthority-not-creatable", user, user,
                          path);
    }
    case XauthState::kCannotTell:
      break;
  }
  return print_reason(reason, size, code, "home-unknown", user, home,
                      std::strerror(probe.xauth_error));
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
                         char* reason, std::size_t size, WordId* code) {
  if (!probe.done) {
    print_reason(reason, size, code, "home-not-probed", user, probe.why);
    return false;
  }
  static char home[quoted_size(sizeof probe.home_path)];
  quote_name(probe.home_path, home, sizeof home);
  int n = 0;
  switch (probe.home) {
    case HomeState::kEnterable:
      if (!rules.x_session || rules.authority_in_system_dir) return true;
      n = authority_problem(user, home, probe, reason, size, code);
      if (n == 0) return true;
      break;
    case HomeState::kMissing:
      n = missing_home(user, home, rules.stack, reason, size, code);
      if (n == 0) return true;
      break;
    case HomeState::kDanglingLink:
      n = print_reason(reason, size, code, "home-dangling-link", user, home);
      break;
    case HomeState::kNotDirectory:
      n = print_reason(reason, size, code, "home-not-directory", user, home);
      break;
    case HomeState::kNotEnterable:
      n = print_reason(reason, size, code, "home-not-enterable", user, home, user);
      break;
    case HomeState::kCannotTell:
      n = print_reason(reason, size, code, "home-unknown", user, home,
                       std::strerror(probe.home_error));
      break;
  }
  // A reason too long for |reason| still refuses, in words that fit.
  if (n < 0 || static_cast<std::size_t>(n) >= size) {
    print_reason(reason, size, nullptr, "home-refused-briefly", user);
    if (std::strlen(reason) + 1 >= size) cut_at_character(reason, size);
  }
  return false;
}
