#include "lightdm/session_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "common/i18n.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"
#include "lightdm/session_choice.h"

// The session's name comes from the user (.dmrc, AccountsService) and the path is made from it
// as root, so: no "/" in the name (the caller checks), every open without blocking and without
// a controlling terminal, the checks made on the descriptor that was opened, a regular file
// only, and a bounded read.

namespace {

char g_text[SESSION_FILE_MAX + 1];

void cannot_tell(SessionFile* found, const char* why) {
  found->state = SessionFile::kCannotTell;
  std::snprintf(found->why, sizeof found->why, "%s", why);
}

/// Judges the candidate at |found->path| in the directory |dir|. Returns true when the lookup
/// ends there (found, or cannot tell).
bool try_candidate(const char* dir, bool wayland_dir_rule, SessionFile* found) {
  UniqueFd fd(open_to_read(found->path));
  if (fd.get() < 0) {
    // What LightDM, as root, cannot open either: it looks in the next directory.
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG ||
        error == ENXIO || error == ENODEV) {
      return false;
    }
    cannot_tell(found, std::strerror(error));
    return true;
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) {
    cannot_tell(found, std::strerror(errno));
    return true;
  }
  if (S_ISFIFO(st.st_mode)) {
    cannot_tell(found, _("it is a FIFO, which LightDM would wait on for ever"));
    return true;
  }
  if (!S_ISREG(st.st_mode)) return false;  // GLib: "Not a regular file"
  std::size_t len = 0;
  if (read_whole(fd.get(), g_text, sizeof g_text, &len) != 0) {
    cannot_tell(found, errno == EFBIG ? _("the file is too large to judge") : std::strerror(errno));
    return true;
  }
  static DesktopJudgement judgement;
  judge_desktop_text(Span{g_text, len}, dir, wayland_dir_rule, &judgement);
  switch (judgement.verdict) {
    case DesktopJudgement::kPasses:
      return false;
    case DesktopJudgement::kCannotTell: {
      char why[sizeof found->why];
      // TRANSLATORS: line N of a session file, and what is wrong there.
      std::snprintf(why, sizeof why, _("line %u: %s"), judgement.line, _(judgement.why));
      cannot_tell(found, why);
      return true;
    }
    case DesktopJudgement::kWins:
      break;
  }
  found->state = SessionFile::kFound;
  found->kind = judgement.kind;
  found->exec = judgement.exec;
  return true;
}

}  // namespace

void find_session_file(const char* dirs, const KeyFileString& name, bool wayland_dir_rule,
                       SessionFile* found) {
  found->state = SessionFile::kNotFound;
  found->kind = SessionKind::kOther;
  found->path[0] = '\0';
  found->why[0] = '\0';
  const char* start = dirs;
  for (;;) {
    const char* colon = std::strchr(start, ':');
    const std::size_t len = colon != nullptr ? static_cast<std::size_t>(colon - start)
                                             : std::strlen(start);
    char dir[PATH_MAX];
    int n = std::snprintf(dir, sizeof dir, "%.*s", static_cast<int>(len), start);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof dir || dir[0] != '/') {
      // LightDM would look relative to its working directory.
      std::snprintf(found->path, sizeof found->path, "%s", dirs);
      cannot_tell(found, _("sessions-directory holds an empty, relative or too long directory"));
      return;
    }
    n = std::snprintf(found->path, sizeof found->path, "%s/%s.desktop", dir, name.text);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof found->path) {
      cannot_tell(found, _("the path is too long"));
      return;
    }
    if (try_candidate(dir, wayland_dir_rule, found)) return;
    if (colon == nullptr) break;
    start = colon + 1;
  }
  found->path[0] = '\0';
}
