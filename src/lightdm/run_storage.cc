#include "lightdm/run_storage.h"

#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace {

// Over half a megabyte, mapped by the front door once it has lifted the caller's limits: a
// binary that asked for it at load time would not start under a caller's small RLIMIT_AS.
RunStorage* g_storage = nullptr;

}  // namespace

int reserve_run_storage() {
  if (g_storage != nullptr) return 0;
  void* room = mmap(nullptr, sizeof(RunStorage), PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (room == MAP_FAILED) return 1;
  g_storage = new (room) RunStorage;
  return 0;
}

RunStorage& run_storage() {
  // The front door has reserved it; a test that starts elsewhere gets it here, or stops.
  if (g_storage == nullptr && reserve_run_storage() != 0) std::abort();
  return *g_storage;
}
