#ifndef BRINDLEWAY_GATES_ROAD_GATE_H_
#define BRINDLEWAY_GATES_ROAD_GATE_H_

#include <cstddef>

#include "common/words.h"
#include "lightdm/seat_model.h"
#include "lightdm/session_file.h"

/// Debian's session wrapper, which 01_debian.conf sets: it runs the session's Exec, or falls
/// back on ~/.xsession and the system's session manager.
inline constexpr char DEBIAN_XSESSION[] = "/etc/X11/Xsession";

/// Where a program LightDM runs is found.
enum class ProgramLookup { kFound, kMissing, kNotExecutable, kCannotTell };

/// Looks |name| up as g_find_program_in_path and execvp do, on the colon-separated |path|: a
/// name with '/' is taken as it is (a relative one cannot be told), any other is tried in each
/// directory. Found is a regular file with an execute bit, which root may run. Writes the file
/// found, or the last one tried that is not executable, into |found| (|size| bytes).
ProgramLookup find_program(const char* name, const char* path, char* found, std::size_t size);

/// What the programs on LightDM's road to a session say.
struct RoadVerdict {
  enum State {
    kClear,       // every program LightDM runs is installed and can be run
    kBlocked,     // LightDM would show the greeter instead (|why|)
    kCannotTell,  // |why|
    kNotChecked,  // it rests on the home, which was not looked at (|why|)
  } state;
  /// The row |why| was worded by.
  WordId code;
  char why[2048];
};

/// Works out whether LightDM, on the seat at |seat| of |model|, can run everything on the way
/// to the session of |file| for a user whose home is |home| (null: not looked at): it starts
/// its seats at all (start-default-seat), its type list names a seat it can start, and
/// display-setup-script, session-setup-script, session-wrapper, xserver-command (X sessions
/// only) and the session's Exec name programs that are installed where LightDM looks. A script
/// that is there is trusted: its exit status is not known. Fills |verdict|.
void check_road(const SeatModel& model, std::size_t seat, const SessionFile& file,
                const char* home, RoadVerdict* verdict);

#endif  // BRINDLEWAY_GATES_ROAD_GATE_H_
