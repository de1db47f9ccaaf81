#ifndef BRINDLEWAY_CLI_USERNAME_H_
#define BRINDLEWAY_CLI_USERNAME_H_

/// Returns true if |name| is non-empty and made only of ASCII letters, digits, '-', '.', '_'
/// and '@' (not as its first byte). Such a name holds nothing the shell treats specially; a
/// null |name| is invalid.
bool is_valid_username(const char* name);

#endif  // BRINDLEWAY_CLI_USERNAME_H_
