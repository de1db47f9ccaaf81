#ifndef BRINDLEWAY_GATES_PAM_GATE_H_
#define BRINDLEWAY_GATES_PAM_GATE_H_

/// What LightDM's PAM service says of one account.
struct PamVerdict {
  /// PAM was asked and answered.
  bool asked;
  /// The answer: the account may log in without a password.
  bool allowed;
  /// PAM's reason (pam_strerror), or why PAM could not be asked.
  char reason[160];
};

/// Asks the PAM service |service| whether |user| may log in without a password, the way
/// LightDM does before an automatic login: pam_authenticate, then pam_acct_mgmt, both silent,
/// with a conversation that answers no prompt, and PAM_XDISPLAY and PAM_TTY set to |display|
/// (":N"), as LightDM sets them for an X session; no session is opened and no credentials are
/// set. PAM runs in a child process in a session of its own, with /dev/null as its standard
/// streams, "/" as its working directory and a fixed environment, so that nothing of the
/// caller's reaches a module; a child that has not answered after CHILD_DEADLINE_MS is killed.
/// Returns the verdict.
PamVerdict ask_pam(const char* service, const char* user, const char* display);

/// As ask_pam, but PAM sees |user| listed in the autologin group, as enable's group step would
/// leave the group files (view_user_in_autologin_group); the real files stay as they are.
PamVerdict ask_pam_as_member(const char* service, const char* user, const char* display);

#endif  // BRINDLEWAY_GATES_PAM_GATE_H_
