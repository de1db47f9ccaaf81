#ifndef BRINDLEWAY_COMMON_QUOTE_H_
#define BRINDLEWAY_COMMON_QUOTE_H_

#include <cstddef>

/// Returns the room a text of at most |n| bytes needs once quoted: each byte may become \xNN,
/// and a cut text gains "..." and its terminator.
constexpr std::size_t quoted_size(std::size_t n) { return n * 4 + 8; }

/// Writes the NUL-terminated |text| into |buf| (|size| bytes) for a message: printable ASCII as
/// it is, a backslash, a control and every byte beyond ASCII as \xNN, so that no text can forge
/// a line or a terminal control. Spaces stay when |keep_spaces|, else they become \x20 too.
/// Returns the bytes written, the terminator not counted.
std::size_t quote_text(const char* text, bool keep_spaces, char* buf, std::size_t size);

/// Writes |text| (a path, a section or a user's word) into |buf| as quote_text does, with its
/// spaces as they are.
void quote_name(const char* text, char* buf, std::size_t size);

#endif  // BRINDLEWAY_COMMON_QUOTE_H_
