#ifndef BRINDLEWAY_GATES_HOME_VERDICT_H_
#define BRINDLEWAY_GATES_HOME_VERDICT_H_

#include <cstddef>

#include "gates/user_probe.h"
#include "lightdm/pam_service.h"
#include "lightdm/seat_model.h"
#include "common/words.h"

/// What LightDM's setup decides about the home, besides what the probe saw there.
struct HomeRules {
  /// "[LightDM]" user-authority-in-system-dir: the X authority is not written in the home.
  bool authority_in_system_dir;
  /// Every PAM service LightDM asks for the automatic login makes a missing home at login.
  bool session_stack_makes_home;
};

/// Returns the rules that LightDM's configuration |model| and the PAM services |services| of
/// the automatic login set for the home |probe| looked at. The session stacks are read only
/// where they could change the answer: for a missing home.
HomeRules home_rules(const UserProbe& probe, const SeatModel& model,
                     const PamServiceList& services);

/// Returns true if LightDM can start |user|'s session in the home |probe| looked at, under
/// |rules|: its session child changes into the home and, unless the authority is kept in the
/// system, writes ~/.Xauthority there, both as the user and after PAM's session stack. Otherwise
/// writes into |reason| (|size| bytes) a sentence without its end, such as "LightDM could not
/// start kd's session in /home/kd, which does not exist", every path quoted so that no byte can
/// forge a line, and returns false.
/// |code|, unless nullptr, gets the reason's row.
bool home_serves_session(const char* user, const UserProbe& probe, const HomeRules& rules,
                         char* reason, std::size_t size, WordId* code = nullptr);

#endif  // BRINDLEWAY_GATES_HOME_VERDICT_H_
