#include "gates/home_verdict.h"

#include <cstdio>
#include <cstring>

#include "common/i18n.h"
#include "common/quote.h"
#include "common/words.h"
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
                         char* reason, std::size_t size, WordId* code) {
  if (!probe.done) {
    print_reason(reason, size, code, "home-not-probed", user, probe.why);
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
      n = print_reason(reason, size, code, "home-missing", user, home);
      break;
    case HomeState::kNotDirectory:
      n = print_reason(reason, size, code, "home-not-directory", user, home);
      break;
    case HomeState::kNotEnterable:
      n = print_reason(reason, size, code, "home-not-enterable", user, home, user);
      break;
    case HomeState::kNotWritable:
      n = print_reason(reason, size, code, "home-not-writable", user, home, user);
      break;
    case HomeState::kXauthorityNotWritable:
      if (rules.authority_in_system_dir) return true;
      n = print_reason(reason, size, code, "xauthority-not-writable", user, user, home);
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
