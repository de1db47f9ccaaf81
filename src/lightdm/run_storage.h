#ifndef BRINDLEWAY_LIGHTDM_RUN_STORAGE_H_
#define BRINDLEWAY_LIGHTDM_RUN_STORAGE_H_

#include "common/constants.h"
#include "lightdm/seat_model.h"

/// The room for the one reading of LightDM's configuration a run makes: status's look, or the
/// change's reading and new text, never both. Reserved once, by the front door, so that no limit
/// on the caller's address space can make it fail to appear half-way through.
struct RunStorage {
  char input[CONF_BUFFER_SIZE];
  char output[CONF_BUFFER_SIZE];
  SeatModel model;
};

/// Maps the run's storage. Returns 0, or 1 with errno set when there is no room for it.
int reserve_run_storage();

/// Returns the run's storage, which reserve_run_storage has mapped.
RunStorage& run_storage();

#endif  // BRINDLEWAY_LIGHTDM_RUN_STORAGE_H_
