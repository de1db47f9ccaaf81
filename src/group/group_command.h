#ifndef BRINDLEWAY_GROUP_GROUP_COMMAND_H_
#define BRINDLEWAY_GROUP_GROUP_COMMAND_H_

#include <cstddef>

/// Capacity of the buffer that holds one account-tool command line, terminator included.
inline constexpr std::size_t COMMAND_BUFFER_SIZE = 512;

/// Returns 0 after writing the command that creates the autologin group into |buf|, or 1 when
/// it does not fit.
int format_create_command(char* buf, std::size_t size);

/// Returns 0 after writing the command that adds |user| to the autologin group into |buf|, or
/// 1 when it does not fit or |user| would read as an option. Such a command must not be run.
int format_add_command(const char* user, char* buf, std::size_t size);

/// Returns 0 after writing the command that takes |user| out of the autologin group into
/// |buf|, or 1 when it does not fit or |user| would read as an option. Such a command must not
/// be run.
int format_remove_command(const char* user, char* buf, std::size_t size);

/// Returns 0 after writing the command that deletes the autologin group into |buf|, or 1 when
/// it does not fit. It undoes a group this run created; the tool prints nothing.
int format_delete_group_command(char* buf, std::size_t size);

/// Returns 0 after writing the command that takes |user| out of the autologin group again into
/// |buf|, or 1 as format_remove_command does. It undoes this run's own addition, so the tool's
/// announcement is not passed on.
int format_undo_add_command(const char* user, char* buf, std::size_t size);

#endif  // BRINDLEWAY_GROUP_GROUP_COMMAND_H_
