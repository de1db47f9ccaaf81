#ifndef BRINDLEWAY_GROUP_AUTOLOGIN_GROUP_H_
#define BRINDLEWAY_GROUP_AUTOLOGIN_GROUP_H_

/// What one run changed in the autologin group, so that it can be undone.
struct GroupChange {
  bool created_group;
  bool added_user;
};

/// Makes sure the autologin group exists and lists |user|, through the system's account tools.
/// Best effort: a failure only prints a warning on standard error. Returns what it changed.
GroupChange ensure_autologin_member(const char* user);

/// Undoes |change|, made for |user|: deletes a group this run created, or takes |user| out of
/// the group again. Prints a warning on standard error when that fails.
void undo_autologin_change(const GroupChange& change, const char* user);

/// Takes |user| out of the autologin group if the group exists. Best effort: a warning on
/// standard error when the user is still listed afterwards.
void remove_autologin_member(const char* user);

#endif  // BRINDLEWAY_GROUP_AUTOLOGIN_GROUP_H_
