#ifndef BRINDLEWAY_GATES_HOME_VERDICT_H_
#define BRINDLEWAY_GATES_HOME_VERDICT_H_

#include <cstddef>

#include "gates/pam_stack.h"
#include "gates/user_probe.h"
#include "lightdm/pam_service.h"
#include "lightdm/seat_model.h"
#include "common/words.h"

/// What LightDM's setup decides about the home, besides what the probe saw there.
struct HomeRules {
  /// "[LightDM]" user-authority-in-system-dir: the X authority is not written in the home.
  bool authority_in_system_dir;
  /// What the session stacks of LightDM's PAM services for the automatic login do for a
  /// missing home: the first that makes none, else the first that cannot be told.
  StackHome stack;
  /// The session is an X session: LightDM writes an X authority for it.
  bool x_session = true;
};

/// Returns the rules that LightDM's configuration |model| and the PAM services |services| of
/// the automatic login set for the home |probe| looked at, for an X session when |x_session|.
/// The session stacks are read only where they could change the answer: for a missing home.
HomeRules home_rules(const UserProbe& probe, const SeatModel& model,
                     const PamServiceList& services, bool x_session = true);

/// Returns true if LightDM can start |user|'s session in the home |probe| looked at, under
/// |rules|: its session child changes into the home and, for an X session unless the authority
/// is kept in the system, writes ~/.Xauthority there, both as the user and after PAM's session
/// stack. Otherwise writes into |reason| (|size| bytes) a sentence without its end, such as
/// "LightDM could not start kd's session in /home/kd, which does not exist", every path quoted
/// so that no byte can forge a line, and returns false.
/// |code|, unless nullptr, gets the reason's row.
bool home_serves_session(const char* user, const UserProbe& probe, const HomeRules& rules,
                         char* reason, std::size_t size, WordId* code = nullptr);

#endif  // BRINDLEWAY_GATES_HOME_VERDICT_H_
