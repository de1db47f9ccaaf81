#ifndef BRINDLEWAY_SEATCONF_FILE_REPLACE_H_
#define BRINDLEWAY_SEATCONF_FILE_REPLACE_H_

#include <cstddef>

/// Replaces the file at |path| by |len| bytes of |data|: writes them to a new file beside it,
/// gives it mode 0644, flushes it to disk and renames it over |path|. Returns 0, or 1 after
/// reporting the failure on standard error; then |path| is untouched and no temporary file
/// remains.
int replace_file(const char* path, const char* data, std::size_t len);

#endif  // BRINDLEWAY_SEATCONF_FILE_REPLACE_H_
