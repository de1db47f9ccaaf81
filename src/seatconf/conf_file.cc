#include "seatconf/conf_file.h"

#include "common/constants.h"
#include "common/message_queue.h"
#include "common/words.h"
#include "lightdm/lightdm_sources.h"
#include "lightdm/run_storage.h"
#include "seatconf/file_replace.h"
#include "seatconf/promise_check.h"
#include "seatconf/seat_rewrite.h"

// Nothing is changed before everything that can refuse has had its say: the whole
// configuration is read, the new text is made in memory and LightDM's reading of it is checked
// first; only then does the caller change the group and put the new file in place.

namespace {

/// The largest configuration that fits the input buffer with room for a terminator.
constexpr std::size_t kMaxConfSize = CONF_BUFFER_SIZE - 1;

/// What a disable of enable's own output can add: each of at most two
/// "autologin-user-timeout=0" lines gains its "#". Enable keeps that much room, so a file it
/// wrote can always be switched off again.
constexpr std::size_t kDisableGrowth = 2;

/// The rewrite of the main file that a reading of the sources makes before LightDM reads it.
struct Rewrite {
  const char* path;
  const AutologinRequest* request;
  Span* text;
};

/// Makes the new text of the main file for the request of |context| (a Rewrite) in the run's
/// output buffer, against what the earlier sources in |earlier| set, and hands its lines to
/// |scan|. Returns 0, or 1 after saying that it would not fit.
int rewrite_main_file(void* context, const SeatModel& earlier, Span read, SourceScan* scan) {
  const Rewrite& rewrite = *static_cast<const Rewrite*>(context);
  const AutologinRequest& request = *rewrite.request;
  // The new file must be readable by the next run, which is what turns automatic login off.
  const std::size_t cap = request.enable ? kMaxConfSize - kDisableGrowth : kMaxConfSize;
  if (rewrite_seat_section(read, request, options_against(earlier, request),
                           run_storage().output, cap, rewrite.text, scan) != 0) {
    say("new-conf-too-large", rewrite.path, cap);
    return 1;
  }
  return 0;
}

}  // namespace

int prepare_config_update(const ConfigPaths& paths, const SeatList& seats,
                          const AutologinRequest& request, const char* prefix,
                          ConfUpdate* update) {
  Rewrite rewrite{paths.conf, &request, &update->text};
  LightdmReading reading{};
  reading.to_replace = true;
  reading.edit = MainFileEdit{rewrite_main_file, &rewrite};
  const int read = read_lightdm_sources(paths, seats, prefix, &reading);
  // The file is kept open once it has been read whole, and only then.
  update->before = reading.read_fd.get() >= 0 ? reading.text : Span{nullptr, 0};
  update->read_as = reading.read_as;
  update->read_fd.reset(reading.read_fd.release());
  if (read != 0 || check_promise(*reading.model, request, prefix) != 0) return 1;
  update->pam_services.count = 0;
  update->model = reading.model;
  return request.enable ? autologin_pam_services(*reading.model, &update->pam_services, prefix)
                        : 0;
}

int stage_config_update(const ConfigPaths& paths, ConfUpdate* update) {
  const int result = stage_file(paths.conf, update->read_fd.get(), update->text.data,
                                update->text.len, update->read_as, &update->staged);
  update->read_fd.reset(-1);
  return result;
}

int commit_config_update(ConfUpdate* update) { return commit_staged_file(&update->staged); }

int discard_config_update(ConfUpdate* update) { return discard_staged_file(&update->staged); }
