#ifndef BRINDLEWAY_CLI_HELP_H_
#define BRINDLEWAY_CLI_HELP_H_

/// Returns true, after queuing the answer on standard output, when |argv| asks for --help
/// (the usage and the three commands, in the reader's language) or --version
/// ("brindleway-helper VERSION", in every locale the same). Neither needs root.
bool answer_help_or_version(int argc, char* const argv[], const char* program);

#endif  // BRINDLEWAY_CLI_HELP_H_
