#include "lightdm/run_storage.h"

namespace {

RunStorage g_storage;

}  // namespace

RunStorage& run_storage() { return g_storage; }
