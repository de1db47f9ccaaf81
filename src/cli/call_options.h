#ifndef BRINDLEWAY_CLI_CALL_OPTIONS_H_
#define BRINDLEWAY_CLI_CALL_OPTIONS_H_

/// What the options before the command word ask for.
struct CallOptions {
  /// --json: one JSON object on standard output in place of the plain lines.
  bool json;
  /// --dry-run: every check of the run, and no change.
  bool dry_run;
};

/// Reads the options that stand between the program name and the command word of |argv| into
/// |options|. Returns the index of the command word, or |argc| when none follows.
int read_call_options(int argc, char* const argv[], CallOptions* options);

/// Returns true if an argument after the command word at |command| of |argv| starts with '-'.
/// Such an argument is refused: an older call shape put options last, where a helper that
/// ignored them would act for real.
bool option_after_command(int argc, char* const argv[], int command);

#endif  // BRINDLEWAY_CLI_CALL_OPTIONS_H_
