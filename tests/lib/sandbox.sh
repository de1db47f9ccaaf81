# Sourced by the end-to-end tests: runs the calling test as root inside a private mount
# namespace with a throwaway copy of /etc bind-mounted over /etc, so that the helper works on
# its real path with the real account tools while this machine's own /etc stays untouched.
#
# Usage at the top of a test:  source "$(dirname "$0")/lib/sandbox.sh" "$@"
# The first argument is the built helper. Exits 77 (skipped), saying why, where the sandbox
# cannot be had.

source "$(dirname "${BASH_SOURCE[0]}")/namespace.sh" "$@"

# The helper keeps its run lock in /run: every test gets a private, empty one. Without
# /run/systemd/system that is a machine whose init is not systemd, where
# /etc/X11/default-display-manager alone says which display manager starts: the same answer on
# every host that has LightDM installed as the default. A test that means a systemd machine
# makes that directory. The test accounts' homes live on a private /home, never on this
# machine's.
mount -t tmpfs -o mode=0755 tmpfs /run
mount -t tmpfs -o mode=0755 tmpfs /home
# What LightDM reads about a user's session outside /etc (AccountsService's records, its own
# copies of .dmrc) is private and empty too, so that this machine's state never decides a test.
for dir in /var/lib/AccountsService /var/cache/lightdm; do
  [ -d "$dir" ] && mount -t tmpfs -o mode=0755 tmpfs "$dir"
done

# The exact texts the tests expect are the C locale's, whatever locale the caller has. The
# catalogs the build made (with the pseudo-locale xx of the test build) stand in for the
# system's, which hides libc's own: a translated run shows only this helper's words.
export LC_ALL=C
LOCALE_TREE=$(dirname "$(readlink -f "$1")")/locale
if [ -d "$LOCALE_TREE" ]; then
  mount --bind "$LOCALE_TREE" /usr/share/locale
fi

source "$(dirname "${BASH_SOURCE[0]}")/check.sh"

# The test's files, and the copies of /etc it works on, live in memory: a test makes and
# compares thousands of files, which costs a disk's journal more than the test itself.
WORK=$(mktemp -d /tmp/brindleway-e2e.XXXXXX)
mount -t tmpfs -o mode=0755 tmpfs "$WORK"
# leave_sandbox: unmounts what the test put over the machine's directories and removes WORK. A
# test with its own EXIT trap calls it last.
leave_sandbox() {
  cd / || return
  umount -l /usr/local/bin /usr/bin "$WORK" 2> /dev/null
  rm -rf "$WORK"
}
trap leave_sandbox EXIT

# private_layer DIR: what the test writes in DIR from now on is private, over what is there.
private_layer() {
  local layer=$WORK/layer${1//\//-}
  mkdir -p "$layer/upper" "$layer/work"
  if ! mount -t overlay overlay -o "lowerdir=$1,upperdir=$layer/upper,workdir=$layer/work" "$1"
  then
    echo "SKIP: cannot put a private layer over $1 (overlay mount failed)"
    exit 77
  fi
}

# The machine has the programs LightDM runs on the way to a session, as a desktop has them: an
# X server and a session manager, where the helper and LightDM look them up, in a private layer
# over /usr/bin. X starts Xvfb without the VT options; the session manager runs SESSION
# (desktop_programs SESSION), or waits as a desktop would.
private_layer /usr/bin
desktop_programs() {
  cat > /usr/bin/X << 'EOF'
#!/bin/bash
args=()
for arg in "$@"; do
  case $arg in
    vt[0-9]* | -novtswitch | -sharevts | -keeptty) ;;
    *) args+=("$arg") ;;
  esac
done
exec Xvfb "${args[@]}"
EOF
  printf '#!/bin/sh\nexec %s\n' "${1:-sleep 60}" > /usr/bin/x-session-manager
  chmod 0755 /usr/bin/X /usr/bin/x-session-manager
}
desktop_programs
mkdir "$WORK/bin"
install -m 0755 "$1" "$WORK/bin/brindleway-helper"

# glibc ignores LANGUAGE under the C locale, and glibc 2.41 (Debian 13) under C.UTF-8 too, so a
# run in a language of the caller's choice needs a locale of another name: MESSAGES_LOCALE is
# C.UTF-8's own files under the name en_US.UTF-8, beside copies of the machine's compiled
# locales in a private /usr/lib/locale (a locale archive is left out).
MESSAGES_LOCALE=C.UTF-8
if [ -d /usr/lib/locale/C.utf8 ]; then
  mkdir "$WORK/lib-locale"
  for entry in /usr/lib/locale/*; do
    [ -d "$entry" ] && cp -a "$entry" "$WORK/lib-locale/"
  done
  cp -a /usr/lib/locale/C.utf8 "$WORK/lib-locale/en_US.utf8"
  mount --bind "$WORK/lib-locale" /usr/lib/locale
  MESSAGES_LOCALE=en_US.UTF-8
fi
HELPER=$WORK/bin/brindleway-helper
CONF=/etc/lightdm/lightdm.conf
cp -a /etc "$WORK/etc.pristine"
ETC_COPIES=0

# Gives the test a fresh copy of /etc, with a marker that proves the bind mount took.
fresh_etc() {
  if [ "$ETC_COPIES" -gt 0 ]; then
    umount -l /etc
  fi
  ETC_COPIES=$((ETC_COPIES + 1))
  local copy=$WORK/etc.$ETC_COPIES
  cp -a "$WORK/etc.pristine" "$copy"
  : > "$copy/.brindleway-sandbox"
  mount --bind "$copy" /etc
  if [ ! -e /etc/.brindleway-sandbox ]; then
    echo "FATAL: /etc is not the sandbox copy" >&2
    exit 1
  fi
  mkdir -p /etc/lightdm
}

source "$(dirname "${BASH_SOURCE[0]}")/accounts.sh"

# etc_state: every file under /etc/lightdm with its type, mode, owner, size and content's sum
# (a FIFO is never opened), then /etc/group and /etc/gshadow whole.
etc_state() {
  if [ -e /etc/lightdm ]; then
    find /etc/lightdm -printf '%p %y %m %u %g %s %l\n' | sort
    find /etc/lightdm -type f -exec sha1sum {} + | sort
  fi
  cat /etc/group /etc/gshadow
}

# snapshot_etc: keeps what a refused run must leave as it was: /etc/lightdm, /etc/group and
# /etc/gshadow.
snapshot_etc() { etc_state > "$WORK/etc.snapshot"; }

# etc_changes: prints how those differ from snapshot_etc's; nothing when they do not.
etc_changes() { etc_state | diff "$WORK/etc.snapshot" - 2>&1; }

# expect_unchanged WHAT: nothing changed since snapshot_etc.
expect_unchanged() {
  local changes
  changes=$(etc_changes)
  [ -z "$changes" ] || fail "$1: files changed:
$(echo "$changes" | head -20)"
}

# run ARGS...: runs the helper; sets STATUS and leaves its output in $OUT and $ERR (files).
OUT=$WORK/stdout
ERR=$WORK/stderr
# With BRINDLEWAY_PSEUDO_LOCALE set, every refusal is run a second time under the pseudo-locale,
# whose catalog wraps every text in ⟦ ⟧: a line of standard error that is not wrapped whole
# holds a text nobody marked for translation.
# With DRY_RUN_TOO set, an enable or a disable is first run with --dry-run, which must change
# nothing under /etc and give the exit status and standard error that the real run then gives.
run() {
  if [ -n "${DRY_RUN_TOO:-}" ] && { [ "${1:-}" = enable ] || [ "${1:-}" = disable ]; }; then
    dry_run_first "$@"
  fi
  LC_ALL=C "$HELPER" "$@" > "$OUT" 2> "$ERR"
  STATUS=$?
  [ -z "${DRY_STATUS:-}" ] || expect_dry_run_agrees "$@"
  if [ -n "${BRINDLEWAY_PSEUDO_LOCALE:-}" ] && [ "$STATUS" != 0 ] && [ -s "$ERR" ]; then
    expect_marked_refusal "$@"
  fi
}

# etc_sum: a checksum of every byte, name, mode and time stamp under /etc.
etc_sum() { tar -C /etc --numeric-owner -cf - . 2> /dev/null | md5sum; }

dry_run_first() {
  local before
  before=$(etc_sum)
  LC_ALL=C "$HELPER" --dry-run "$@" > "$WORK/dry-stdout" 2> "$WORK/dry-stderr"
  DRY_STATUS=$?
  [ "$(etc_sum)" = "$before" ] || fail "--dry-run $*: /etc changed"
}

# The real run just made and the dry run before it agree: the same exit status, the same
# standard error, and a dry run that would succeed says so on its first line.
expect_dry_run_agrees() {
  local status=$DRY_STATUS first
  DRY_STATUS=
  [ "$status" = "$STATUS" ] || fail "--dry-run $*: exit $status, the real run $STATUS"
  cmp -s "$WORK/dry-stderr" "$ERR" ||
    fail "--dry-run $*: said '$(cat "$WORK/dry-stderr")', the real run '$(cat "$ERR")'"
  [ "$status" = 0 ] || return 0
  first=$(head -1 "$WORK/dry-stdout")
  case $1/$first in
    "enable/Would enable auto login for user: ${2:-}" | "disable/Would disable auto login") ;;
    *) fail "--dry-run $*: first line '$first'" ;;
  esac
}

# A message may span lines where an argument holds a line feed: a line that does not open with
# the marker must continue one that did not close.
expect_marked_refusal() {
  local line open=false pseudo_err=$WORK/pseudo-stderr
  env -u LC_ALL LANG="$MESSAGES_LOCALE" LANGUAGE=xx "$HELPER" "$@" > /dev/null 2> "$pseudo_err"
  [ -s "$pseudo_err" ] || fail "pseudo-locale '$*': no refusal the second time"
  while IFS= read -r line; do
    case $open/$line in
      true/* | false/⟦*) ;;
      *) fail "pseudo-locale '$*': a text nobody marked for translation: $line" ;;
    esac
    case $line in
      *⟧) open=false ;;
      *) open=true ;;
    esac
  done < "$pseudo_err"
  [ "$open" = false ] || fail "pseudo-locale '$*': a text nobody marked ends standard error"
}

# traced STRACE-ARGS...: strace, with LeakSanitizer off in a sanitizer build (it cannot work
# under ptrace).
traced() {
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace "$@"
}

# run_traced STRACE-ARGS... -- ARGS...: runs the helper as run does, under strace, whose own
# output is dropped.
run_traced() {
  local strace_args=()
  while [ "$1" != -- ]; do
    strace_args+=("$1")
    shift
  done
  shift
  traced -qq -o /dev/null "${strace_args[@]}" "$HELPER" "$@" > "$OUT" 2> "$ERR"
  STATUS=$?
}

# own_write N: the number that strace's inject=write:when= takes for the Nth write of a run's
# own work (enable or disable). Where the helper can move out of the caller's cgroup, its first
# write is that move, made before anything else.
own_write() {
  if [ -z "${MOVE_WRITES:-}" ]; then
    traced -qq -y -e trace=write -o "$WORK/move.log" "$HELPER" enable '' > /dev/null 2>&1
    MOVE_WRITES=$(grep -c 'cgroup\.procs>' "$WORK/move.log")
  fi
  echo $(($1 + MOVE_WRITES))
}

# require_tools TOOL...: skips the whole test unless every TOOL is installed.
require_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" > /dev/null; then
      echo "SKIP: $tool is not installed"
      exit 77
    fi
  done
}

# until_true SECONDS COMMAND...: waits up to SECONDS for COMMAND to succeed.
until_true() {
  local tries=$(($1 * 100)) _
  shift
  for _ in $(seq 1 "$tries"); do
    "$@" && return 0
    sleep 0.01
  done
  return 1
}

# expect_no_litter WHAT: no temporary file is left; one that is gets reported and removed, so
# that the next check starts clean.
expect_no_litter() {
  local left
  left=$(find /etc/lightdm -name 'lightdm.conf.tmp.*' 2>/dev/null)
  [ -z "$left" ] || fail "$1: temporary files left behind: $(echo $left)"
  rm -f /etc/lightdm/lightdm.conf.tmp.*
}

# expect_done_or_untouched WHAT OLD NEW STDOUT: the run either finished (the file is NEW, status
# 0, STDOUT printed) or changed nothing and did not claim success. Never a temporary file.
expect_done_or_untouched() {
  expect_no_litter "$1"
  if printf '%s' "$3" | cmp -s - "$CONF"; then
    expect_status "$1 (changed)" 0
    expect_bytes "$1 (changed, stdout)" "$OUT" "$4"
  elif printf '%s' "$2" | cmp -s - "$CONF"; then
    [ "$STATUS" != 0 ] || fail "$1: status 0 but the file did not change"
  else
    fail "$1: the configuration is neither the old nor the new file"
  fi
}
