#ifndef BRINDLEWAY_SEATCONF_FILE_REPLACE_H_
#define BRINDLEWAY_SEATCONF_FILE_REPLACE_H_

#include <cstddef>

#include <sys/stat.h>

/// Replaces the file at |path| by |len| bytes of |data|, provided |path| is still the file that
/// |read_as| (the fstat of the descriptor it was read through) describes: writes them to a new
/// file beside it with mode read_as.st_mode & 0644, flushes it to disk and renames it over
/// |path|. Returns 0, or 1 after reporting the failure on standard error; then |path| is
/// untouched and no temporary file remains, or the message names the one that does.
/// From the call on, every maskable signal stays blocked until the process exits.
int replace_file(const char* path, const char* data, std::size_t len, const struct stat& read_as);

#endif  // BRINDLEWAY_SEATCONF_FILE_REPLACE_H_
