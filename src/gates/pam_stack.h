#ifndef BRINDLEWAY_GATES_PAM_STACK_H_
#define BRINDLEWAY_GATES_PAM_STACK_H_

#include <climits>

/// Where PAM reads its services.
inline constexpr char PAM_CONFIG_DIR[] = "/etc/pam.d";

/// What a session stack does for a missing home.
struct StackHome {
  enum State {
    kNoHome,      // no line runs it, or the stack cannot be read for certain
    kMakesHome,   // every way through the stack runs pam_mkhomedir
    kCannotTell,  // |path| line |line| may end the stack or pass over pam_mkhomedir
  } state;
  char path[PATH_MAX];
  unsigned line;
};

/// Returns what the PAM service |service|'s session stack (the uncommented "session" and
/// "-session" lines of /etc/pam.d/SERVICE, following "@include", "include" and "substack", in
/// the order libpam runs them) does for a missing home.
StackHome session_stack_home(const char* service);

/// The same, with |pam_dir| in place of /etc/pam.d. A file that cannot be read whole, an
/// include that names anything but a plain file name in |pam_dir|, or includes deeper or more
/// numerous than the bounds count as making no home.
StackHome session_stack_home_in(const char* pam_dir, const char* service);

#endif  // BRINDLEWAY_GATES_PAM_STACK_H_
