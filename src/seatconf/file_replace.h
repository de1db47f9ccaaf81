#ifndef BRINDLEWAY_SEATCONF_FILE_REPLACE_H_
#define BRINDLEWAY_SEATCONF_FILE_REPLACE_H_

#include <climits>
#include <cstddef>

#include <sys/stat.h>

/// A new file written in full beside the one it is to replace, not yet in its place.
struct StagedFile {
  char path[PATH_MAX];      // the file it replaces
  char tmp_path[PATH_MAX];  // where it waits
  struct stat read_as;      // the file it replaces, as it was read
  bool staged;
};

/// Writes |len| bytes of |data| to a new file beside |path|, with mode read_as.st_mode & 0644
/// and owned by root, and flushes it to disk; nothing anyone reads has changed yet. Returns 0
/// with |staged| filled, or 1 after reporting the failure on standard error; then no temporary
/// file remains, or the message names the one that does. From the call on, every maskable
/// signal stays blocked until the process exits.
int stage_file(const char* path, const char* data, std::size_t len, const struct stat& read_as,
               StagedFile* staged);

/// Renames the staged file over its path, provided the path is still the file that was read
/// (the fstat of the descriptor it was read through). Returns 0, or 1 after reporting the
/// failure on standard error; then the path is untouched and the staged file removed.
int commit_staged_file(StagedFile* staged);

/// Drops the staged file without putting it in place. Returns 0, or 1 after naming a temporary
/// file it could not remove.
int discard_staged_file(StagedFile* staged);

/// Stages and commits in one go: replaces the file at |path| by |len| bytes of |data|, provided |path| is still the file that
/// |read_as| (the fstat of the descriptor it was read through) describes: writes them to a new
/// file beside it with mode read_as.st_mode & 0644, flushes it to disk and renames it over
/// |path|. Returns 0, or 1 after reporting the failure on standard error; then |path| is
/// untouched and no temporary file remains, or the message names the one that does.
/// From the call on, every maskable signal stays blocked until the process exits.
int replace_file(const char* path, const char* data, std::size_t len, const struct stat& read_as);

#endif  // BRINDLEWAY_SEATCONF_FILE_REPLACE_H_
