#ifndef BRINDLEWAY_GROUP_AUTOLOGIN_GROUP_H_
#define BRINDLEWAY_GROUP_AUTOLOGIN_GROUP_H_

/// Makes sure the autologin group exists and lists |user|, through the system's account tools.
/// Best effort: a failure only prints a warning on standard error.
void ensure_autologin_member(const char* user);

/// Takes |user| out of the autologin group if the group exists. Best effort and silent.
void remove_autologin_member(const char* user);

#endif  // BRINDLEWAY_GROUP_AUTOLOGIN_GROUP_H_
