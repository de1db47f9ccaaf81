#ifndef BRINDLEWAY_LIGHTDM_LIGHTDM_STATE_H_
#define BRINDLEWAY_LIGHTDM_LIGHTDM_STATE_H_

#include "lightdm/config_sources.h"
#include "lightdm/seat_model.h"

/// Reads every source in |paths| as LightDM does, the main file as it stands, for the seats in
/// |seats|. Returns the merged settings, or null after saying on standard error, after
/// |prefix|, why LightDM would not start or why its reading cannot be told.
const SeatModel* read_lightdm_state(const ConfigPaths& paths, const SeatList& seats,
                                    const char* prefix);

#endif  // BRINDLEWAY_LIGHTDM_LIGHTDM_STATE_H_
