#ifndef BRINDLEWAY_COMMON_CLEAN_CHILD_H_
#define BRINDLEWAY_COMMON_CLEAN_CHILD_H_

/// Turns a child just forked from the helper into one that nothing of the caller's reaches: a
/// session of its own without a controlling terminal, /dev/null on its three standard streams,
/// no descriptor above 2 but |keep| (-1 for none), no signal blocked and every one
/// at its default but SIGPIPE, which stays ignored, and an environment of a fixed PATH alone.
/// Only calls that are safe between fork and exec. Returns 0, or 1 when it cannot be had; the
/// child must then end.
int clean_child_start(int keep);

#endif  // BRINDLEWAY_COMMON_CLEAN_CHILD_H_
