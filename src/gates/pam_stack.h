#ifndef BRINDLEWAY_GATES_PAM_STACK_H_
#define BRINDLEWAY_GATES_PAM_STACK_H_

/// Where PAM reads its services.
inline constexpr char PAM_CONFIG_DIR[] = "/etc/pam.d";

/// Returns true if the PAM service |service|'s session stack (the uncommented "session" and
/// "-session" lines of /etc/pam.d/SERVICE, following "@include", "include" and "substack")
/// runs pam_mkhomedir.
bool session_stack_makes_home(const char* service);

/// The same, with |pam_dir| in place of /etc/pam.d. A file that cannot be read whole, an
/// include that names anything but a plain file name in |pam_dir|, or includes deeper or more
/// numerous than the bounds count as making no home.
bool session_stack_makes_home_in(const char* pam_dir, const char* service);

#endif  // BRINDLEWAY_GATES_PAM_STACK_H_
