#!/bin/bash
# A caller's standard streams never hold a run that holds the lock, and never hold any run for
# long: a pipe nobody reads, a terminal whose output is suspended. The run does its work, lets
# go of the lock, and gives up on its output after two seconds; the exit status still tells.
# Ctrl-Z cannot stop a run either.
source "$(dirname "$0")/lib/sandbox.sh" "$@"
source "$(dirname "$0")/lib/cases.sh"
require_tools perl script flock

ENABLED_ALICE=$'[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n'
UNLOADABLE=$'[Seat:*]\nnot a key file line\n'
DISABLED=$'[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n'

# full_pipe FD: opens descriptor FD of this shell on a pipe that is full and whose reader never
# reads. The reader is a sleeping process; FILLED_READER is its pid.
full_pipe() {
  rm -f "$WORK/fifo"
  mkfifo "$WORK/fifo"
  sleep 60 < "$WORK/fifo" &
  FILLED_READER=$!
  eval "exec $1> '$WORK/fifo'"
  # Filled without blocking, then made blocking again: the flag belongs to the shared open file
  # description, which the helper inherits.
  perl -MFcntl -e 'my $f = fcntl(STDOUT, F_GETFL, 0); fcntl(STDOUT, F_SETFL, $f | O_NONBLOCK);
    1 while syswrite(STDOUT, "x" x 4096); fcntl(STDOUT, F_SETFL, $f)' >&"$1"
}

close_full_pipe() {
  eval "exec $1>&-"
  kill "$FILLED_READER" 2> /dev/null
  wait "$FILLED_READER" 2> /dev/null
}

# live_processes PGREP-ARGS...: the processes pgrep finds that are not zombies, which an init
# that does not reap would leave listed.
live_processes() {
  local pid
  for pid in $(pgrep "$@"); do
    [ "$(awk '/^State:/ { print $2 }' "/proc/$pid/status" 2> /dev/null)" = Z ] || echo "$pid"
  done
}
# none_alive PGREP-ARGS...: true when live_processes finds none; asked anew at every try.
none_alive() { [ -z "$(live_processes "$@")" ]; }

# in_kernel_sleep PGREP-ARGS...: those of live_processes that sleep in the kernel (state D).
# Other tests may run processes of the same uid meanwhile; only a stuck child sleeps so.
in_kernel_sleep() {
  local pid
  for pid in $(live_processes "$@"); do
    [ "$(awk '/^State:/ { print $2 }' "/proc/$pid/status" 2> /dev/null)" != D ] || echo "$pid"
  done
}

# all_gone PID...: true when none of PIDs is alive any more (a zombie counts as gone).
all_gone() {
  local pid
  for pid in "$@"; do
    [ ! -e "/proc/$pid" ] ||
      [ "$(awk '/^State:/ { print $2 }' "/proc/$pid/status" 2> /dev/null)" = Z ] || return 1
  done
}

lock_is_free() { flock -n /run/brindleway-helper.lock true; }
lock_is_held() { ! lock_is_free; }
conf_is() { printf '%s' "$1" | cmp -s - "$CONF"; }

# ends_within WHAT SECONDS PID: the run PID ends within SECONDS; one that does not is killed.
ends_within() {
  until_true "$2" test ! -e "/proc/$3" && return
  fail "$1: still running after $2 s"
  kill -KILL "$3" 2> /dev/null
}

# One case a line: the stream, the command, the variable holding the configuration before it,
# the status, the variable holding the configuration after it ("" for unchanged). alice is a
# member of the group, so that disable runs gpasswd, whose words wait for the reader too.
CASES=(
  "2|enable alice|UNLOADABLE|1|"
  "2|enable nobody-here|SEAT|1|"
  "1|enable alice|SEAT|0|ENABLED_ALICE"
  "1|status|ENABLED_ALICE|1|"
  "1|disable alice|ENABLED_ALICE|0|DISABLED"
)
for case in "${CASES[@]}"; do
  IFS='|' read -r fd args before status after <<< "$case"
  before=${!before}
  [ -z "$after" ] || after=${!after}
  what="fd $fd on a full pipe, $args"
  start_case
  add_group alice
  printf '%s' "$before" > "$CONF"
  [ -n "$after" ] || after=$before
  full_pipe 8
  # A warning about standard output has somewhere to go when standard output is the full pipe.
  if [ "$fd" = 1 ]; then
    $HELPER $args 1>&8 2> "$ERR" 8>&- &
  else
    $HELPER $args 2>&8 > "$OUT" 8>&- &
  fi
  pid=$!
  # Once the run has done its work it is stuck on its output, but the lock is already free.
  sleep 0.3
  until_true 5 conf_is "$after" || fail "$what: the configuration did not come out right"
  until_true 2 lock_is_free || fail "$what: the lock is still held while the output waits"
  [ -e "/proc/$pid" ] || fail "$what: the run did not wait on its output at all"
  ends_within "$what" 4 "$pid"
  wait "$pid"
  STATUS=$?
  expect_status "$what" "$status"
  close_full_pipe 8
done

# Standard output on a regular file of a frozen file system: a write there sleeps in the kernel
# until it thaws, and SIGKILL does not end it. The run still ends, a second after the writer's
# deadline; the writer is left behind and writes once the file system thaws. The file is made,
# and opened for appending, before the freeze: creating or truncating it would block this test.
# A watchdog of its own thaws it whatever becomes of this test.
frozen=$WORK/frozen
mkdir "$frozen"
if truncate -s 32M "$WORK/frozen.img" && mkfs.ext4 -q -F "$WORK/frozen.img" 2> /dev/null &&
  mount -o loop "$WORK/frozen.img" "$frozen" 2> /dev/null; then
  start_case
  printf '%s' "$ENABLED_ALICE" > "$CONF"
  : > "$frozen/out"
  exec 7>> "$frozen/out"
  fsfreeze -f "$frozen"
  setsid sh -c "sleep 30; fsfreeze -u '$frozen'" > /dev/null 2>&1 < /dev/null 7>&- &
  watchdog=$!
  start=$(date +%s%N)
  "$HELPER" status >&7 2> "$ERR" 7>&- &
  pid=$!
  ends_within "status to a frozen file" 6 "$pid"
  wait "$pid"
  STATUS=$?
  took=$((($(date +%s%N) - start) / 1000000))
  [ "$took" -ge 2900 ] || fail "status to a frozen file: ended after $took ms, before the writer's deadline and the wait for its end"
  expect_status "status to a frozen file" 1
  fsfreeze -u "$frozen"
  kill "$watchdog" 2> /dev/null
  exec 7>&-
  # The writer was killed while it slept: once thawed it ends, having written nothing.
  until_true 5 none_alive -f "$HELPER status" ||
    fail "status to a frozen file: the writer left behind outlived the freeze"
  umount "$frozen"
else
  echo "SKIP (one case): no loop-mounted ext4 to freeze here"
fi

# A home on a FUSE server of the user's own that reads every request and never answers, as
# fusermount3 mounts it: the look at the home, as the user, sleeps in the kernel, and SIGKILL
# does not end it. The run refuses a second after the deadline and lets go of the lock for the
# next run; ending the server lets the child left behind go.
if [ -c /dev/fuse ] && command -v python3 > /dev/null; then
  start_case
  python3 "$(dirname "$0")/lib/stuck_fuse.py" /home/alice 2001 2001 > "$WORK/fuse.log" 2>&1 &
  server=$!
  if until_true 5 grep -q ready "$WORK/fuse.log"; then
    start=$SECONDS
    run enable alice
    took=$((SECONDS - start))
    [ "$took" -le $((30 + 4)) ] || fail "FUSE home: the run took $took s"
    expect_run "FUSE home" 1 "" \
      "Cannot enable automatic login for alice: cannot look at alice's home directory: it did not answer within 30 seconds"$'\n'
    stuck=$(in_kernel_sleep -u 2001)
    [ -n "$stuck" ] || fail "FUSE home: no child of the run is stuck in the home"
    run disable
    expect_run "FUSE home, the next run" 0 $'Auto login disabled\n' ""
    kill -KILL "$server"
    wait "$server" 2> /dev/null
    # shellcheck disable=SC2086
    until_true 15 all_gone $stuck ||
      fail "FUSE home: the child left behind outlived the server"
  else
    fail "FUSE home: the server did not start: $(cat "$WORK/fuse.log")"
    kill "$server" 2> /dev/null
  fi
  umount -l /home/alice 2> /dev/null
else
  echo "SKIP (one case): no /dev/fuse, or no python3, for a home that never answers"
fi

# A terminal whose output is suspended (as by Ctrl-S): the run still ends, with its status.
start_case
cat > "$WORK/suspended.sh" << EOF
perl -MPOSIX -e 'POSIX::tcflow(1, POSIX::TCOOFF) or die'
"$HELPER" enable alice
echo \$? > "$WORK/status"
EOF
start=$SECONDS
timeout -s KILL 20 script -qec "bash $WORK/suspended.sh" /dev/null < /dev/null > /dev/null 2>&1
elapsed=$((SECONDS - start))
[ "$(cat "$WORK/status" 2> /dev/null)" = 0 ] ||
  fail "suspended terminal: status '$(cat "$WORK/status" 2> /dev/null)', expected 0"
[ "$elapsed" -le 6 ] || fail "suspended terminal: took $elapsed s"
expect_bytes "suspended terminal (file)" "$CONF" "$ENABLED_ALICE"

# Ctrl-Z, or a background run writing to a terminal with tostop: the run is not stopped. It is
# held at the run lock, which another process has, and sent SIGTSTP, SIGTTIN and SIGTTOU.
for sig in TSTP TTIN TTOU; do
  start_case
  flock /run/brindleway-helper.lock sleep 2 &
  holder=$!
  until_true 2 lock_is_held || fail "the lock holder did not start"
  "$HELPER" enable alice > "$OUT" 2> "$ERR" &
  pid=$!
  sleep 0.3
  kill -"$sig" "$pid" 2> /dev/null
  sleep 0.2
  state=$(awk '/^State:/ { print $2 }' "/proc/$pid/status" 2> /dev/null)
  [ "$state" != T ] || fail "SIG$sig stopped a run that waits for the lock"
  kill -CONT "$pid" 2> /dev/null
  ends_within "SIG$sig" 12 "$pid"
  wait "$pid"
  STATUS=$?
  wait "$holder"
  expect_status "SIG$sig" 0
done

finish
