#ifndef BRINDLEWAY_COMMON_SPAN_H_
#define BRINDLEWAY_COMMON_SPAN_H_

#include <cstddef>
#include <cstring>

/// A run of bytes that is not NUL-terminated; it points into a text that outlives it.
struct Span {
  const char* data;
  std::size_t len;
};

/// Returns true if |s| holds exactly the bytes of the string literal |word|.
template <std::size_t N>
bool span_equals(Span s, const char (&word)[N]) {
  return s.len == N - 1 && std::memcmp(s.data, word, N - 1) == 0;
}

#endif  // BRINDLEWAY_COMMON_SPAN_H_
