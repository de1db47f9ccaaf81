#!/bin/bash
# Other runs and an administrator's editor at work while the helper runs. Two runs never
# interleave: the second waits for the run lock. An edit saved between the helper's read and
# its rename is never lost: the helper refuses and leaves the edit in place.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

source "$(dirname "$0")/lib/cases.sh"

require_tools strace flock
LOCK=/run/brindleway-helper.lock
OLD=$'[Seat:*]\nautologin-user=bob\nautologin-user-timeout=5\n'
NEW=$'[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n'
CHANGED=$'Cannot replace /etc/lightdm/lightdm.conf: the file changed while it was being rewritten\n'

temp_file_exists() { compgen -G '/etc/lightdm/lightdm.conf.tmp.*' > /dev/null; }
# The new file is staged: unnamed (a descriptor on "/etc/lightdm/#INODE (deleted)"), or named
# on a filesystem without unnamed files. Only this test's processes count: other tests run
# their helpers at the same time, each in a mount namespace of its own, and one of theirs
# staging its file would let the editor here save before this helper has read the file.
staged() {
  local ns_entry
  temp_file_exists && return 0
  for ns_entry in $(find -L /proc/[0-9]*/ns/mnt -maxdepth 0 -samefile /proc/self/ns/mnt \
    2> /dev/null); do
    find "${ns_entry%/ns/mnt}/fd" -lname '/etc/lightdm/#*' 2> /dev/null | grep -q . && return 0
  done
  return 1
}
lock_is_held() { ! flock -n "$LOCK" true; }

# An editor saves while the helper is between its read and its commit, or while the exchange
# itself is under way: the helper's fsync of the new file, or the exchange, is held for a
# second to open that window. In the second case the check before the exchange has passed, and
# the check of what came out must put the editor's file back.
for row in "fsync|by rename" "fsync|in place, same size" "renameat2|by rename" \
  "renameat2|in place, same size"; do
  held=${row%%|*}
  how="${row#*|}, $held held"
  fresh_etc
  printf '%s' "$OLD" > "$CONF"
  traced -qq -o /dev/null -e trace="$held" -e "inject=$held:delay_enter=1000000:when=1" \
    "$HELPER" disable > "$OUT" 2> "$ERR" &
  pid=$!
  if [ "$held" = fsync ]; then
    until_true 5 staged || fail "editor saves $how: no staged file appeared"
  else
    until_true 5 temp_file_exists || fail "editor saves $how: the new file never got a name"
  fi
  case ${row#*|} in
    "by rename")
      edited=$'[Seat:*]\nautologin-user=carol\n# saved by an editor\n'
      printf '%s' "$edited" > "$CONF.new"
      mv "$CONF.new" "$CONF"
      ;;
    "in place, same size")
      edited=${OLD/bob/dan}
      printf '%s' "$edited" > "$CONF"
      ;;
  esac
  wait "$pid"
  STATUS=$?
  expect_run "editor saves $how" 1 "" "$CHANGED"
  expect_bytes "editor saves $how (file)" "$CONF" "$edited"
  expect_no_litter "editor saves $how"
done

# Someone holds the run lock: the helper waits for it before it reads the file.
fresh_etc
printf '%s' "$OLD" > "$CONF"
flock "$LOCK" sleep 1 &
holder=$!
until_true 5 lock_is_held || fail "lock held: the holder never took the lock"
"$HELPER" disable > "$OUT" 2> "$ERR" &
pid=$!
sleep 0.5
kill -0 "$pid" 2> /dev/null || fail "lock held: the helper did not wait for the lock"
expect_bytes "lock held (file while waiting)" "$CONF" "$OLD"
wait "$holder"
wait "$pid"
STATUS=$?
expect_run "lock held" 0 $'Auto login disabled\n' ""
expect_bytes "lock held (file)" "$CONF" "$NEW"

# A run that holds the lock too long: after 10 s the helper gives up and changes nothing.
fresh_etc
printf '%s' "$OLD" > "$CONF"
# One process holds the lock and nothing else holds the file, so that killing it frees /run.
(exec 8> "$LOCK" && flock 8 && exec sleep 14) &
holder=$!
until_true 5 lock_is_held || fail "lock held too long: the holder never took the lock"
start=$(date +%s%N)
run disable
took=$((($(date +%s%N) - start) / 1000000))
expect_run "lock held too long" 1 "" \
  $'Cannot lock /run/brindleway-helper.lock: another run is still in progress\n'
expect_bytes "lock held too long (file)" "$CONF" "$OLD"
[ "$took" -ge 9900 ] && [ "$took" -le 12000 ] || fail "lock held too long: gave up after $took ms"
kill "$holder"
wait "$holder" 2> /dev/null

# The helper makes the lock file itself, private to root, whatever the caller's umask.
rm -f "$LOCK"
(umask 0277 && exec "$HELPER" disable) > "$OUT" 2> "$ERR"
STATUS=$?
expect_status "lock file" 0
[ "$(stat -c '%a %u:%g %F' "$LOCK" 2> /dev/null)" = "600 0:0 regular empty file" ] ||
  fail "lock file: $(stat -c '%a %u:%g %F' "$LOCK" 2>&1)"

# Without a lock there is no run: refused before the group step and the file are touched.
start_case
rm -f "$LOCK"
mount -o remount,ro /run
run enable alice
expect_run "no lock to be had" 1 "" \
  $'Cannot lock /run/brindleway-helper.lock: Read-only file system\n'
expect_bytes "no lock to be had (file)" "$CONF" "$SEAT"
getent group autologin > /dev/null && fail "no lock to be had: the group step ran"
mount -o remount,rw /run

# Two runs' group steps never interleave: the second run's tool starts only after the first
# run is done, though the first run's tool takes a second.
start_case
add_group ""
fake_tool usermod "sleep 1; $LIST_ALICE; echo 'usermod done' >> $TOOL_LOG"
fake_tool gpasswd
"$HELPER" enable alice > "$WORK/out.1" 2>&1 &
first=$!
until_true 5 grep -q usermod "$TOOL_LOG" || fail "two runs: the first run's tool never started"
"$HELPER" disable alice > "$WORK/out.2" 2>&1 &
second=$!
wait "$first" || fail "two runs: the first failed: $(cat "$WORK/out.1")"
wait "$second" || fail "two runs: the second failed: $(cat "$WORK/out.2")"
expect_bytes "two runs (tool order)" "$TOOL_LOG" \
  $'usermod -aG autologin alice\nusermod done\ngpasswd -d alice autologin\n'
expect_bytes "two runs (file)" "$CONF" "$SEAT"

finish
