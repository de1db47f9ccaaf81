#ifndef BRINDLEWAY_GATES_MEMBER_VIEW_H_
#define BRINDLEWAY_GATES_MEMBER_VIEW_H_

#include <cstddef>

/// Gives the calling process, a child of the helper's running as root, a mount namespace of
/// its own in which /etc/group and /etc/gshadow list |user| in the autologin group, as enable's
/// group step would leave them (the group's line added where a file has none), and nscd's
/// socket is hidden, so that every lookup answers from those two files. The real files are
/// never written. Returns 0, or 1 after writing into |why| (|size| bytes) why it cannot be had.
int view_user_in_autologin_group(const char* user, char* why, std::size_t size);

#endif  // BRINDLEWAY_GATES_MEMBER_VIEW_H_
