#ifndef BRINDLEWAY_COMMON_MONOTONIC_CLOCK_H_
#define BRINDLEWAY_COMMON_MONOTONIC_CLOCK_H_

#include <ctime>

/// Returns the monotonic clock in milliseconds. Every deadline is measured with it: no one can
/// set it, so a change of the wall clock cannot stretch or cut a wait.
inline long long monotonic_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

#endif  // BRINDLEWAY_COMMON_MONOTONIC_CLOCK_H_
