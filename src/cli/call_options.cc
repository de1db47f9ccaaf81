#include "cli/call_options.h"

#include <cstring>

int read_call_options(int argc, char* const argv[], CallOptions* options) {
  *options = CallOptions{false, false};
  int at = 1;
  for (; at < argc; ++at) {
    if (std::strcmp(argv[at], "--json") == 0) {
      options->json = true;
    } else if (std::strcmp(argv[at], "--dry-run") == 0) {
      options->dry_run = true;
    } else {
      break;
    }
  }
  return at;
}

bool option_after_command(int argc, char* const argv[], int command) {
  for (int i = command + 1; i < argc; ++i) {
    if (argv[i][0] == '-') return true;
  }
  return false;
}
