#ifndef BRINDLEWAY_CLI_PROCESS_SETUP_H_
#define BRINDLEWAY_CLI_PROCESS_SETUP_H_

/// Undoes what a caller passed on through exec that could stop the helper half-way, take up its
/// descriptors or reach the account tools: interval timers, signal dispositions, resource
/// limits, closed standard streams, open descriptors (all above 2 are closed), the working
/// directory and the umask. Returns 0, or 1 when a closed standard stream could not be opened
/// again or "/" could not be made the working directory; the process must not go on then.
/// Harmless for a caller who is not root.
int prepare_process();

/// Returns 0 if the limits that could cut a root tool short half-way through /etc/group (the
/// file size, the CPU time, the stack) are as prepare_process made them, or 1 after saying on
/// standard error which one a caller left too low to be lifted. Only root with the right to
/// raise hard limits can lift a caller's hard limit.
int check_tool_limits();

#endif  // BRINDLEWAY_CLI_PROCESS_SETUP_H_
