#ifndef BRINDLEWAY_CLI_DISPATCH_H_
#define BRINDLEWAY_CLI_DISPATCH_H_

/// Runs the command that |argv| names. Returns the exit status: 0 when the command succeeded,
/// 1 for every refusal and failure, each reported on standard error where it is found.
int run_helper(int argc, char* const argv[]);

#endif  // BRINDLEWAY_CLI_DISPATCH_H_
