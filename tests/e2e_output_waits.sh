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
# the status, the variable holding the configuration after it ("" for unchanged).
CASES=(
  "2|enable alice|UNLOADABLE|1|"
  "2|enable nobody-here|SEAT|1|"
  "1|enable alice|SEAT|0|ENABLED_ALICE"
  "1|status|ENABLED_ALICE|1|"
)
for case in "${CASES[@]}"; do
  IFS='|' read -r fd args before status after <<< "$case"
  before=${!before}
  [ -z "$after" ] || after=${!after}
  what="fd $fd on a full pipe, $args"
  start_case
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
