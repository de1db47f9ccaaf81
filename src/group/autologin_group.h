#ifndef BRINDLEWAY_GROUP_AUTOLOGIN_GROUP_H_
#define BRINDLEWAY_GROUP_AUTOLOGIN_GROUP_H_

#include "group/group_files.h"

/// Returns 0 after reading the autologin group from its files into |before|, or 1 after queuing
/// why enable for |user| must refuse: a file cannot be read, or the two files disagree about
/// the group, which no account tool could then put back as it was.
int read_group_before_enable(const char* user, GroupFiles* before);

/// Makes sure the autologin group exists and lists |user|, through the system's account tools,
/// starting from |before|. What happened is judged by the files afterwards, never by a tool's
/// exit status. Best effort: a failure only queues a warning.
void ensure_autologin_member(const char* user, const GroupFiles& before);

/// Puts the autologin group back as |before| had it, after a refused enable for |user|: takes
/// back a membership this run added and deletes a group it created, judged by the files. Where
/// that fails, queues a warning that names what is left.
void undo_autologin_change(const GroupFiles& before, const char* user);

/// Takes |user| out of the autologin group if either file lists it. Best effort: a warning
/// when the user is still listed afterwards, or when the files cannot be read.
void remove_autologin_member(const char* user);

#endif  // BRINDLEWAY_GROUP_AUTOLOGIN_GROUP_H_
