#ifndef BRINDLEWAY_COMMON_FORMAT_TEXT_H_
#define BRINDLEWAY_COMMON_FORMAT_TEXT_H_

#include <cstdarg>
#include <cstddef>

/// Writes printf-formatted text into |buf| (|size| bytes, at least 4). Text that does not fit
/// is cut and ends in "...", so that a reason cut short says so. Returns true if it fitted.
bool format_text(char* buf, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

/// As format_text, with the arguments in |args|.
bool format_text_v(char* buf, std::size_t size, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

#endif  // BRINDLEWAY_COMMON_FORMAT_TEXT_H_
