#include "gates/user_probe.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/child_wait.h"
#include "common/clean_child.h"
#include "common/constants.h"
#include "common/i18n.h"
#include "common/read_whole.h"
#include "common/unique_fd.h"

// LightDM reads ~/.dmrc, and its session child enters the home and writes ~/.Xauthority there,
// as the user. The helper asks the same questions the same way, with these rules:
//  1. Everything in the user's home is touched only with the user's uid and gid: a link in a
//     home can never make root read or write a file. LightDM reads ~/.dmrc with only its
//     effective uid and gid changed and keeps its own supplementary groups, not the user's: a
//     ~/.dmrc the user reads only through a supplementary group is one LightDM cannot load, and
//     it then takes its cache file instead. The child reads ~/.dmrc the same way, with the
//     helper's own groups, and its real and saved uid still root's, so that the user can
//     neither signal nor trace it meanwhile; nothing read is interpreted in the child. Then it
//     takes on the user's groups, gid and uid for good (checked: the uid cannot be taken back)
//     before it looks at the home, as LightDM's session child does after initgroups.
//  2. The child starts clean, as the PAM child does: no descriptor of the helper's but its
//     answer pipe (the run lock's is closed), a session of its own, an environment of PATH
//     alone. It looks the account and its groups up itself, so a name service that hangs is
//     covered by the same deadline, CHILD_DEADLINE_MS, after which the child is killed. A home
//     that never answers (a FUSE server that reads and does not reply, a lost NFS server)
//     can keep the killed child asleep in the kernel: it is left behind, holding nothing.
//  3. Nothing in the home is created, changed or truncated, and no time stamp moves: the home
//     is entered with chdir, as LightDM's session child enters it; whether the user could
//     create ~/.Xauthority there, or write an existing one, is asked of the kernel with
//     faccessat(AT_EACCESS), which runs the permission check open(O_CREAT) and open(O_WRONLY)
//     would run (mode bits, ACLs, a read-only mount, an immutable flag) without writing.
//  4. The child is not dumpable once it is the user: it holds a copy of the helper's memory.

namespace {

/// The most supplementary groups the kernel gives a process (NGROUPS_MAX of Linux).
constexpr int kGroupsMax = 65536;

/// Returns true for an errno that says the probe's own process ran short, not the file.
bool is_own_failure(int error) {
  return error == EMFILE || error == ENFILE || error == ENOMEM || error == EINTR;
}

/// Sets |probe| to "not done" with the reason |why|.
void not_done(UserProbe* probe, const char* why) {
  probe->done = false;
  std::snprintf(probe->why, sizeof probe->why, "%s", why);
}

void set_dmrc(UserProbe* probe, DmrcState state, int error) {
  probe->dmrc_state = state;
  probe->dmrc_error = error;
}

/// Reads ~/.dmrc into |probe| as GLib's g_key_file_load_from_file would: a regular file,
/// following links; whatever keeps GLib from loading it reads as absent.
void read_dmrc(UserProbe* probe) {
  char path[PATH_MAX + 8];
  const int n = std::snprintf(path, sizeof path, "%s/.dmrc", probe->home_path);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof path) {
    set_dmrc(probe, DmrcState::kAbsent, ENAMETOOLONG);
    return;
  }
  UniqueFd fd(open_to_read(path));
  if (fd.get() < 0) {
    set_dmrc(probe, is_own_failure(errno) ? DmrcState::kCannotTell : DmrcState::kAbsent, errno);
    return;
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) {
    set_dmrc(probe, DmrcState::kCannotTell, errno);
  } else if (S_ISFIFO(st.st_mode)) {
    set_dmrc(probe, DmrcState::kFifo, 0);
  } else if (!S_ISREG(st.st_mode)) {
    set_dmrc(probe, DmrcState::kAbsent, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  } else if (st.st_size >= static_cast<off_t>(DMRC_MAX)) {
    set_dmrc(probe, DmrcState::kTooLarge, EFBIG);
  } else if (read_whole(fd.get(), probe->dmrc, DMRC_MAX, &probe->dmrc_len) != 0) {
    set_dmrc(probe, errno == EFBIG ? DmrcState::kTooLarge : DmrcState::kAbsent, errno);
  } else {
    set_dmrc(probe, DmrcState::kRead, 0);
  }
}

/// Reads ~/.dmrc into |probe| with the effective gid |gid| and uid |uid| and the process's own
/// supplementary groups, as LightDM reads it, and takes root's effective ids back. Returns 0,
/// or 1 when the ids could not be changed or taken back.
int read_dmrc_as(uid_t uid, gid_t gid, UserProbe* probe) {
  if (setresgid(static_cast<gid_t>(-1), gid, static_cast<gid_t>(-1)) != 0) return 1;
  // A failure ends the child, whatever ids it holds then.
  if (setresuid(static_cast<uid_t>(-1), uid, static_cast<uid_t>(-1)) != 0) return 1;
  read_dmrc(probe);
  if (setresuid(static_cast<uid_t>(-1), 0, static_cast<uid_t>(-1)) != 0) return 1;
  return setresgid(static_cast<gid_t>(-1), 0, static_cast<gid_t>(-1)) != 0 ? 1 : 0;
}

/// Looks |user| up, reads ~/.dmrc as LightDM does and becomes that user: groups, gid, uid.
/// Returns 0, or 1 after filling |probe|'s reason.
int become_user(const char* user, UserProbe* probe) {
  // On the child's stack, which the front door made large enough: kept out of the program's
  // image, which a caller's address-space limit must still let load.
  char buf[16384];
  gid_t groups[kGroupsMax];
  passwd entry{};
  passwd* account = nullptr;
  const int error = getpwnam_r(user, &entry, buf, sizeof buf, &account);
  if (account == nullptr) {
    not_done(probe, error == 0 ? _("the account was not found") : std::strerror(error));
    return 1;
  }
  if (account->pw_uid == 0) {
    not_done(probe, _("the account has user id 0"));
    return 1;
  }
  const int n = std::snprintf(probe->home_path, sizeof probe->home_path, "%s", account->pw_dir);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof probe->home_path) {
    not_done(probe, _("the home directory's name is too long"));
    return 1;
  }
  int count = kGroupsMax;
  if (getgrouplist(user, account->pw_gid, groups, &count) < 0) {
    not_done(probe, _("the account's groups cannot be listed"));
    return 1;
  }
  const uid_t uid = account->pw_uid;
  const gid_t gid = account->pw_gid;
  if (read_dmrc_as(uid, gid, probe) != 0) {
    not_done(probe, _("the account's identity could not be taken on for good"));
    return 1;
  }
  if (setgroups(static_cast<std::size_t>(count), groups) != 0 || setgid(gid) != 0 ||
      setuid(uid) != 0) {
    not_done(probe, std::strerror(errno));
    return 1;
  }
  if (setuid(0) == 0 || getuid() != uid || geteuid() != uid || getgid() != gid ||
      getegid() != gid) {
    not_done(probe, _("the account's identity could not be taken on for good"));
    return 1;
  }
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  return 0;
}

void set_home(UserProbe* probe, HomeState state, int error) {
  probe->home = state;
  probe->home_error = error;
}

/// Returns true for an errno of access(W_OK) that means "the user may not write it".
bool is_write_refusal(int error) {
  return error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY;
}

/// Looks at the home as LightDM's session child uses it: it changes into the home, then
/// creates or rewrites ~/.Xauthority there (open O_WRONLY|O_CREAT|O_TRUNC).
void look_at_home(UserProbe* probe) {
  if (probe->home_path[0] != '/') {
    set_home(probe, HomeState::kCannotTell, EINVAL);
    return;
  }
  if (chdir(probe->home_path) != 0) {
    const int error = errno;
    switch (error) {
      case ENOENT: set_home(probe, HomeState::kMissing, error); return;
      case ENOTDIR: set_home(probe, HomeState::kNotDirectory, error); return;
      case EACCES: set_home(probe, HomeState::kNotEnterable, error); return;
      default: set_home(probe, HomeState::kCannotTell, error); return;
    }
  }
  if (faccessat(AT_FDCWD, ".", W_OK | X_OK, AT_EACCESS) != 0) {
    const int error = errno;
    set_home(probe, is_write_refusal(error) ? HomeState::kNotWritable : HomeState::kCannotTell,
             error);
    return;
  }
  struct stat st {};
  if (stat(".Xauthority", &st) != 0) {
    const int error = errno;
    struct stat link {};
    // Absent: LightDM creates it. A link to nothing it would try to create at the far end,
    // which is nothing to count on.
    if (error == ENOENT && lstat(".Xauthority", &link) != 0) {
      set_home(probe, HomeState::kUsable, 0);
    } else if (error == ENOENT || error == EACCES || error == ELOOP) {
      set_home(probe, HomeState::kXauthorityNotWritable, error);
    } else {
      set_home(probe, HomeState::kCannotTell, error);
    }
    return;
  }
  // X clients read the authority back from this file: nothing but a regular file serves.
  if (!S_ISREG(st.st_mode)) {
    set_home(probe, HomeState::kXauthorityNotWritable, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return;
  }
  if (faccessat(AT_FDCWD, ".Xauthority", W_OK, AT_EACCESS) != 0) {
    const int error = errno;
    set_home(probe,
             is_write_refusal(error) ? HomeState::kXauthorityNotWritable : HomeState::kCannotTell,
             error);
    return;
  }
  set_home(probe, HomeState::kUsable, 0);
}

/// Writes all of |probe| to |out|. Returns 0, or 1 when it could not.
int send_answer(int out, const UserProbe& probe) {
  const char* p = reinterpret_cast<const char*>(&probe);
  std::size_t left = sizeof probe;
  while (left > 0) {
    const ssize_t n = write(out, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 1;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return 0;
}

/// What the child looks at: |probe| is its own copy, which it fills and sends.
struct ProbeJob {
  const char* user;
  UserProbe* probe;
};

/// The child: becomes the user, fills the probe and sends it to |out|.
void run_probe(int out, void* arg) {
  const ProbeJob& job = *static_cast<const ProbeJob*>(arg);
  if (become_user(job.user, job.probe) == 0) {
    look_at_home(job.probe);
    job.probe->done = true;
  }
  (void)send_answer(out, *job.probe);
}

}  // namespace

int probe_user(const char* user, UserProbe* probe) {
  // Every byte is set before the fork, padding included: all of it goes down the pipe.
  std::memset(probe, 0, sizeof *probe);
  ProbeJob job{user, probe};
  ChildRun run{};
  run_clean_child(run_probe, &job, ChildStreams::kNull, CHILD_DEADLINE_MS, probe, sizeof *probe,
                  &run);
  if (run.outcome == ChildOutcome::kTimedOut || run.outcome == ChildOutcome::kLeftRunning) {
    char why[sizeof probe->why];
    describe_missed_deadline(CHILD_DEADLINE_MS, why, sizeof why);
    std::memset(probe, 0, sizeof *probe);
    not_done(probe, why);
    return 1;
  }
  if (run.outcome != ChildOutcome::kEnded || run.len != sizeof *probe || run.cut ||
      !WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
    std::memset(probe, 0, sizeof *probe);
    not_done(probe, run.outcome == ChildOutcome::kNotClean
                        ? _("the check could not start cleanly")
                        : _("the check ended without an answer"));
    return 1;
  }
  probe->why[sizeof probe->why - 1] = '\0';
  probe->home_path[sizeof probe->home_path - 1] = '\0';
  if (probe->dmrc_len > DMRC_MAX) probe->dmrc_state = DmrcState::kCannotTell;
  return probe->done ? 0 : 1;
}
