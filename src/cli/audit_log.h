#ifndef BRINDLEWAY_CLI_AUDIT_LOG_H_
#define BRINDLEWAY_CLI_AUDIT_LOG_H_

#include <sys/types.h>

/// Reads a uid written as plain decimal digits, as pkexec writes PKEXEC_UID. Returns true with
/// |*uid| set, or false for anything else (a sign, a blank, no digit, a value past uid_t, or
/// (uid_t)-1, which stands for no uid).
bool parse_uid(const char* text, uid_t* uid);

/// Says in the system log (authpriv.notice, ident "brindleway-helper") that automatic login was
/// turned on for |user|, or off when |user| is null, and by whom: the uid pkexec names in
/// PKEXEC_UID, or else the real uid. One datagram to /dev/log that never waits: without a log
/// daemon, or with one that does not keep up, nothing is logged and nothing is said.
void audit_autologin_change(const char* user);

#endif  // BRINDLEWAY_CLI_AUDIT_LOG_H_
