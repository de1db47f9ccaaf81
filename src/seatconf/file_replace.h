#ifndef BRINDLEWAY_SEATCONF_FILE_REPLACE_H_
#define BRINDLEWAY_SEATCONF_FILE_REPLACE_H_

#include <climits>
#include <cstddef>

#include <sys/stat.h>

/// A new file written in full beside the one it is to replace, not yet in its place.
struct StagedFile {
  char path[PATH_MAX];      // the file it replaces
  char tmp_path[PATH_MAX];  // its name beside |path|: given at the commit, or from the start
  struct stat read_as;      // the file it replaces, as it was read
  /// The new file while it has no name (O_TMPFILE), or -1 when it got one at once because the
  /// filesystem has no unnamed files.
  int fd;
  bool staged;
};

/// Writes |len| bytes of |data| to a new file beside |path|, owned by root, with the extended
/// attributes (ACL, labels) of the old file read through |old_fd| and mode read_as.st_mode &
/// 0644, and flushes it to disk; nothing anyone reads has changed yet. The file has no name
/// where the filesystem allows, so that a crash leaves nothing behind. Returns 0 with |staged|
/// filled, or 1 after reporting the failure on standard error (an attribute that cannot be
/// kept is named); then no temporary file remains, or the message names the one that does.
/// From the call on, every maskable signal stays blocked until the process exits.
int stage_file(const char* path, int old_fd, const char* data, std::size_t len,
               const struct stat& read_as, StagedFile* staged);

/// Puts the staged file in place of its path, provided the path is still the file that was
/// read (the fstat of the descriptor it was read through), before and after an atomic exchange
/// of the two where the filesystem can exchange. Returns 0, or 1 after reporting the failure on
/// standard error; then the path is untouched (or holds again what someone saved meanwhile)
/// and the staged file is gone. A 0 may come with a message naming the old file's temporary
/// name when that could not be removed.
int commit_staged_file(StagedFile* staged);

/// Drops the staged file without putting it in place, for a run that refuses after staging.
/// Returns 0, or 1 after naming a temp file it could not remove.
int discard_staged_file(StagedFile* staged);

/// Stages and commits in one go: replaces the file at |path| by |len| bytes of |data|,
/// provided |path| is still the file that |read_as| (the fstat of |old_fd|, the descriptor it
/// was read through) describes. Returns 0, or 1 after reporting the failure on standard error; then
/// |path| is untouched and no temporary file remains, or the message names the one that does.
/// From the call on, every maskable signal stays blocked until the process exits.
int replace_file(const char* path, int old_fd, const char* data, std::size_t len,
                 const struct stat& read_as);

#endif  // BRINDLEWAY_SEATCONF_FILE_REPLACE_H_
