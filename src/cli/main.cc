#include "cli/dispatch.h"
#include "cli/std_streams.h"

int main(int argc, char* argv[]) {
  if (ensure_std_streams() != 0) return 1;
  return run_helper(argc, argv);
}
