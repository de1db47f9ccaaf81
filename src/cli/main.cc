#include "cli/dispatch.h"
#include "cli/process_setup.h"

int main(int argc, char* argv[]) {
  if (prepare_process() != 0) return 1;
  int status = run_helper(argc, argv);
  // A success line that could not be written changes nothing about the change made: the
  // status still says whether the command succeeded.
  finish_standard_output();
  return status;
}
