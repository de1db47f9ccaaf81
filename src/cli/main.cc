#include "cli/dispatch.h"
#include "cli/process_setup.h"
#include "common/message_queue.h"
#include "common/run_lock.h"

int main(int argc, char* argv[]) {
  if (prepare_process() != 0) {
    flush_messages();
    return 1;
  }
  int status = run_helper(argc, argv);
  // The change is complete, or undone: only now may the caller's streams hold the run up, and
  // only for a bounded time. A success line that could not be written changes nothing about
  // the change made; only status, whose output is its answer, fails then.
  release_run_lock();
  if (flush_messages() != 0) status = 1;
  return status;
}
