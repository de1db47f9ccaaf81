#ifndef BRINDLEWAY_CLI_PROCESS_SETUP_H_
#define BRINDLEWAY_CLI_PROCESS_SETUP_H_

/// Undoes what a caller passed on through exec that could stop the helper half-way or reach
/// the account tools: interval timers, signal dispositions, resource limits, closed standard
/// streams and open descriptors. Returns 0, or 1 when a closed standard stream could not be
/// opened again; the process must not go on then. Harmless for a caller who is not root.
int prepare_process();

/// Flushes standard output at the end of a run. Returns 0, or 1 after a warning on standard
/// error when what the helper printed there could not be written.
int finish_standard_output();

#endif  // BRINDLEWAY_CLI_PROCESS_SETUP_H_
