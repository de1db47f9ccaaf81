#!/bin/bash
# Real failures injected into the helper's system calls with strace, a signal at every step of
# a run, and forty runs at once. Every failure must report itself, exit 1, keep the old file
# whole and leave no temporary file.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

if ! command -v strace > /dev/null; then
  echo "SKIP: strace is not installed"
  exit 77
fi

# Big enough to cross a small file-size limit; long lines are carried through whole.
OLD=$'[LightDM]\n# '"$(head -c 2000 /dev/zero | tr '\0' x)"$'\n[Seat:*]\nautologin-user=bob\nautologin-user-timeout=5\n'
NEW=$'[LightDM]\n# '"$(head -c 2000 /dev/zero | tr '\0' x)"$'\n[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n'
fresh_etc

# fault WHAT MESSAGE STRACE-OPTIONS...: disable fails with MESSAGE under the injection.
fault() {
  local what=$1 message=$2
  shift 2
  printf '%s' "$OLD" > "$CONF"
  run_traced "$@" -- disable
  expect_run "$what" 1 "" "$message"
  expect_bytes "$what (old file)" "$CONF" "$OLD"
  expect_no_litter "$what"
}

fault "read fails" $'Cannot read /etc/lightdm/lightdm.conf: Input/output error\n' \
  -P "$CONF" -e trace=read -e inject=read:error=EIO
fault "write fails" $'Write error: No space left on device\n' \
  -e trace=write -e "inject=write:error=ENOSPC:when=$(own_write 1)"
fault "fchmod fails" $'Write error: Operation not permitted\n' \
  -e trace=fchmod -e inject=fchmod:error=EPERM
fault "fsync fails" $'Write error: Input/output error\n' \
  -e trace=fsync -e inject=fsync:error=EIO
fault "rename fails" \
  $'Cannot replace /etc/lightdm/lightdm.conf: Invalid cross-device link\n' \
  -e trace=rename,renameat,renameat2 -e inject=rename,renameat,renameat2:error=EXDEV
fault "naming fails" $'Cannot replace /etc/lightdm/lightdm.conf: No space left on device\n' \
  -e trace=linkat -e inject=linkat:error=ENOSPC

# The check that the file is still the one that was read cannot be made. That check is the
# first stat of the path by name; which call of its kind it is depends on the C library (glibc
# 2.36 makes fstat of the open file a newfstatat too, 2.41 an fstat), so a plain run counts.
printf '%s' "$OLD" > "$CONF"
traced -qq -o "$WORK/stat.log" -P "$CONF" -e trace=newfstatat,stat,statx "$HELPER" disable \
  > /dev/null 2>&1
check=$(awk -v path="\"$CONF\"" '{ call = $1; sub(/\(.*/, "", call); n[call]++ }
  index($0, path) { print call ":error=EIO:when=" n[call]; exit }' "$WORK/stat.log")
fault "file cannot be checked" $'Cannot replace /etc/lightdm/lightdm.conf: Input/output error\n' \
  -P "$CONF" -e trace=newfstatat,stat,statx -e inject="${check:-newfstatat:error=EIO:when=2}"

# A failed lookup of the account is not an absent account: the account database cannot be
# opened (the name service reads files only, so no other source answers instead). The lookup
# runs in a child, which strace follows.
add_user alice 2001
sed -i 's/^passwd:.*/passwd: files/' /etc/nsswitch.conf
printf '%s' "$OLD" > "$CONF"
run_traced -f -P /etc/passwd -e trace=openat -e inject=openat:error=EMFILE -- enable alice
expect_run "account lookup fails" 1 "" $'Cannot look up user alice: Too many open files\n'
expect_bytes "account lookup fails (old file)" "$CONF" "$OLD"

# The order that makes the new file durable: data synced, then named, then exchanged with the
# old file, whose temporary name goes, then the directory synced.
printf '%s' "$OLD" > "$CONF"
traced -qq -o "$WORK/strace.log" -e trace=fsync,linkat,rename,renameat,renameat2,unlink \
  "$HELPER" disable > "$OUT" 2> "$ERR"
STATUS=$?
expect_status "durable order" 0
order=$(sed -n 's/^\(fsync\|linkat\|unlink\|rename[a-z0-9]*\)(.*/\1/p' "$WORK/strace.log" |
  tr '\n' ' ')
[ "$order" = "fsync linkat renameat2 unlink fsync " ] || fail "durable order: saw '$order'"
grep -q '^renameat2(.*RENAME_EXCHANGE) = 0' "$WORK/strace.log" ||
  fail "durable order: no atomic exchange"

# Which openat makes the unnamed file, a first run tells.
printf '%s' "$OLD" > "$CONF"
traced -qq -o "$WORK/openat.log" -e trace=openat "$HELPER" disable > "$OUT" 2> "$ERR"
nth=$(grep '^openat(' "$WORK/openat.log" | grep -n 'O_TMPFILE' | cut -d: -f1)
[ -n "$nth" ] || fail "no unnamed file: $(grep lightdm "$WORK/openat.log")"
NO_TMPFILE="inject=openat:error=EOPNOTSUPP:when=${nth:-1}"

# The ways round what a kernel or filesystem lacks: linkat with AT_EMPTY_PATH refused (it needs
# CAP_DAC_READ_SEARCH before Linux 6.10), no exchange (the check, then a plain rename), no
# unnamed files (a named temporary file from the start). Each still replaces the file whole and
# leaves nothing behind.
while IFS='|' read -r what trace inject used; do
  printf '%s' "$OLD" > "$CONF"
  traced -qq -o "$WORK/strace.log" -e trace="$trace" -e "inject=$inject" "$HELPER" disable \
    > "$OUT" 2> "$ERR"
  STATUS=$?
  expect_run "$what" 0 $'Auto login disabled\n' ""
  expect_bytes "$what (new file)" "$CONF" "$NEW"
  expect_no_litter "$what"
  grep -q "$used" "$WORK/strace.log" || fail "$what: no $used in $(cat "$WORK/strace.log")"
done <<'ROWS'
no AT_EMPTY_PATH|linkat|linkat:error=ENOENT:when=1|^linkat(AT_FDCWD, "/proc/self/fd/
no exchange|renameat2,rename|renameat2:error=EINVAL:when=1|^rename(
ROWS
printf '%s' "$OLD" > "$CONF"
run_traced -e trace=openat -e "$NO_TMPFILE" -- disable
expect_run "no unnamed files" 0 $'Auto login disabled\n' ""
expect_bytes "no unnamed files (new file)" "$CONF" "$NEW"
expect_no_litter "no unnamed files"

# The directory's fsync comes after the rename: its failure is not the caller's concern.
printf '%s' "$OLD" > "$CONF"
run_traced -e trace=fsync -e inject=fsync:error=EIO:when=2 -- disable
expect_run "directory fsync fails" 0 $'Auto login disabled\n' ""
expect_bytes "directory fsync fails (new file)" "$CONF" "$NEW"

# Where the filesystem has no unnamed files, the new file has a name from the start, and one
# that cannot be removed after a failure is named in the message.
printf '%s' "$OLD" > "$CONF"
run_traced -e trace=openat,write,unlink,unlinkat -e "$NO_TMPFILE" \
  -e "inject=write:error=ENOSPC:when=$(own_write 1)" -e inject=unlink,unlinkat:error=EACCES \
  -- disable
expect_status "temporary file stays" 1
left=$(find /etc/lightdm -name 'lightdm.conf.tmp.*')
expect_bytes "temporary file stays (stderr)" "$ERR" \
  $'Write error: No space left on device\nCannot remove temp file '"$left"$': Permission denied\n'
expect_bytes "temporary file stays (old file)" "$CONF" "$OLD"
rm -f "$left"

# A signal at every step of a run, the steps read from a traced run. Before the temporary file
# exists a signal may end the run and change nothing; from there on every maskable signal
# waits, and the run finishes with the new file, status 0 and the success line.
ulimit -c 0
SIGNALS=(SIGTERM SIGINT SIGHUP SIGQUIT SIGALRM SIGPIPE SIGUSR1 SIGUSR2 SIGXFSZ SIGXCPU
  SIGVTALRM SIGPROF)
printf '%s' "$OLD" > "$CONF"
traced -qq -o "$WORK/steps.log" "$HELPER" disable > "$OUT" 2> "$ERR"
grep -E '^[a-z0-9_]+\(' "$WORK/steps.log" | grep -vE '^(execve|exit_group)\(' > "$WORK/steps"
declare -A nth=()
step=0
held=
while IFS= read -r line; do
  name=${line%%(*}
  nth[$name]=$((${nth[$name]:-0} + 1))
  case $line in *O_TMPFILE* | *lightdm.conf.tmp.*) held=1 ;; esac
  sig=${SIGNALS[step % ${#SIGNALS[@]}]}
  step=$((step + 1))
  what="$sig at step $step ($name #${nth[$name]})"
  printf '%s' "$OLD" > "$CONF"
  run_traced -e trace="$name" -e inject="$name:signal=$sig:when=${nth[$name]}" -- disable \
    < /dev/null
  expect_done_or_untouched "$what" "$OLD" "$NEW" $'Auto login disabled\n'
  if [ -n "$held" ]; then
    expect_run "$what, temporary file made" 0 $'Auto login disabled\n' ""
  fi
done < "$WORK/steps"
[ -n "$held" ] || fail "signal sweep: the traced run made no temporary file"

# Forty runs at once: every one succeeds, the last rename wins, and no run leaves litter.
ENABLED=${NEW/\#autologin-user=$'\n'\#autologin-user-timeout=0/autologin-user=alice$'\n'autologin-user-timeout=0}
printf '%s' "$OLD" > "$CONF"
pids=()
for i in $(seq 1 40); do
  if [ $((i % 2)) = 0 ]; then
    "$HELPER" enable alice > "$WORK/out.$i" 2>&1 &
  else
    "$HELPER" disable > "$WORK/out.$i" 2>&1 &
  fi
  pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=$((failed + 1)); done
[ "$failed" = 0 ] || fail "concurrent runs: $failed of 40 failed: $(cat "$WORK"/out.* | sort | uniq -c)"
if ! printf '%s' "$NEW" | cmp -s - "$CONF" && ! printf '%s' "$ENABLED" | cmp -s - "$CONF"; then
  fail "concurrent runs: the file is neither version"
fi
expect_no_litter "concurrent runs"

finish
