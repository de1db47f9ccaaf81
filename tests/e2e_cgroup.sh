#!/bin/bash
# A caller who holds the helper's cgroup. pkexec starts the helper in the caller's cgroup, which
# a systemd desktop delegates to the user: the user may freeze it, kill everything in it, or
# cap its processes. The helper moves to the top of the cgroup v2 hierarchy before it takes the
# run lock, so none of that reaches a run: the test puts the helper in a delegated cgroup of its
# own and acts there as the user would, while the helper waits for the lock and while it holds
# it. Where the helper cannot move (no cgroup2, a read-only mount, a mount over it) it goes on
# silently; status never tries.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

source "$(dirname "$0")/lib/cases.sh"

require_tools strace setpriv flock

# The top of the v2 hierarchy as the helper finds it: the first cgroup2 mount of "/".
TOP=$(awk '$4 == "/" { i = 7; while (i < NF && $i != "-") i++
  if ($(i + 1) == "cgroup2") { print $5; exit } }' /proc/self/mountinfo)
if [ -z "$TOP" ]; then
  # The other release's root has no /sys of its own (scripts/lib/release_root.sh).
  echo "SKIP: no cgroup v2 hierarchy is mounted here (no /sys with cgroup2)"
  exit 77
fi
TOP=$(printf '%b' "$TOP")
CALLER=2003  # the desktop user who holds the delegated cgroup
PREFIX=brindleway-test
CGROUPS=()

# remove_cgroup DIR: thaws DIR, kills what is in it and removes it.
remove_cgroup() {
  [ -d "$1" ] || return 0
  echo 1 > "$1/cgroup.kill" 2> /dev/null || xargs -r kill -KILL < "$1/cgroup.procs" 2> /dev/null
  echo 0 > "$1/cgroup.freeze" 2> /dev/null
  until_true 5 grep -qx 'populated 0' "$1/cgroup.events"
  rmdir "$1" || echo "WARNING: could not remove the test cgroup $1" >&2
}
cleanup() {
  local dir
  for dir in "${CGROUPS[@]}"; do remove_cgroup "$dir"; done
  [ -z "${HOLDER:-}" ] || kill "$HOLDER" 2> /dev/null
  leave_sandbox
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
# What a run killed at its timeout left behind.
for dir in "$TOP/$PREFIX".*; do
  [ -d "$dir" ] && ! kill -0 "${dir##*.}" 2> /dev/null && remove_cgroup "$dir"
done

# new_caller_cgroup: a cgroup under the top, delegated to CALLER as systemd delegates a user's
# app scope, with one process of the caller's session in it. Sets CG.
CASE=0
new_caller_cgroup() {
  CASE=$((CASE + 1))
  # The pid in the name lets a later run remove what a killed run left.
  CG=$TOP/$PREFIX.$CASE.$$
  mkdir "$CG" || { echo "SKIP: cannot make a cgroup under $TOP"; exit 77; }
  CGROUPS+=("$CG")
  chown -R "$CALLER:$CALLER" "$CG"
  bash -c 'echo $$ > "$1/cgroup.procs" &&
    exec setpriv --reuid="$2" --regid="$2" --clear-groups sleep 600' _ "$CG" "$CALLER" \
    > /dev/null 2>&1 &
  disown $!  # its end, when the cgroup goes, is no news
  until_true 5 grep -q . "$CG/cgroup.procs" || fail "the caller's session did not start in $CG"
}

# as_caller WHAT FILE VALUE: the caller writes VALUE to FILE of its cgroup, without privilege.
as_caller() {
  setpriv --reuid="$CALLER" --regid="$CALLER" --clear-groups \
    sh -c 'echo "$1" > "$2"' _ "$3" "$CG/$2" || fail "$1: the caller cannot write $2"
}

# start_in_caller_cgroup ARGS...: starts the helper with ARGS in the caller's cgroup, as pkexec
# leaves it there. Sets PID; the status lands in STATUS_FILE.
STATUS_FILE=$WORK/status
PID_FILE=$WORK/pid
start_in_caller_cgroup() {
  rm -f "$STATUS_FILE" "$PID_FILE"
  (
    bash -c 'echo $$ > "$1/cgroup.procs" && echo $$ > "$2" && shift 2 && exec "$@"' \
      _ "$CG" "$PID_FILE" "$HELPER" "$@" > "$OUT" 2> "$ERR"
    echo $? > "$STATUS_FILE"
  ) &
  until_true 5 test -s "$PID_FILE" || fail "the helper did not start"
  PID=$(cat "$PID_FILE")
}
finished() { [ -s "$STATUS_FILE" ] && STATUS=$(cat "$STATUS_FILE"); }
in_top() { grep -qx "$1" "$TOP/cgroup.procs"; }

# hold_lock / let_go: another process holds the run lock, as a run still in progress does.
hold_lock() {
  # One process, so that killing it lets go of the lock and leaves nothing behind.
  bash -c 'exec 9> /run/brindleway-helper.lock && flock -x 9 && exec sleep 600' > /dev/null 2>&1 &
  HOLDER=$!
  until_true 5 locked || fail "the lock was not taken"
}
locked() { ! flock -n /run/brindleway-helper.lock true; }
let_go() { kill "$HOLDER"; wait "$HOLDER" 2> /dev/null; HOLDER=; }

# fake_slow_gpasswd: gpasswd notes its pid, then pauses 2 s before the real one runs: a time
# when the helper holds the lock.
fake_slow_gpasswd() {
  [ -e "$WORK/real-gpasswd" ] || cp "$(command -v gpasswd)" "$WORK/real-gpasswd"
  fake_tool gpasswd "echo \$\$ > $WORK/tool.pid; sleep 2; exec $WORK/real-gpasswd \"\$@\""
  rm -f "$WORK/tool.pid"
}

ENABLED=$'[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n'
LONGEST=0
# ends_in_time WHAT SINCE: the helper finishes within 15 s of SINCE (ms), with status 0.
ends_in_time() {
  if ! until_true 15 finished; then
    fail "$1: the helper did not finish"
    return
  fi
  local took=$(($(date +%s%3N) - $2))
  [ "$took" -le "$LONGEST" ] || LONGEST=$took
  echo "$1: ended ${took} ms after the caller acted"
  expect_status "$1" 0
}
members() { grep '^autologin:' /etc/group | cut -d: -f4; }

# The caller acts while the helper waits for the lock, then while it holds it. Each row: what
# the caller writes to which file of its cgroup, and when.
for row in "cgroup.freeze 1 waiting for" "cgroup.freeze 1 holding" "cgroup.kill 1 holding"; do
  read -r file value when <<< "$row"
  what="$file=$value while the helper is $when the lock"
  start_case
  add_group alice
  printf '%s' "$ENABLED" > "$CONF"
  new_caller_cgroup
  if [ "$when" = "waiting for" ]; then
    hold_lock
    start_in_caller_cgroup disable alice
    until_true 5 in_top "$PID" || fail "$what: the helper is not in $TOP/cgroup.procs"
    grep -qx "$PID" "$CG/cgroup.procs" && fail "$what: the helper is still in the caller's cgroup"
    since=$(date +%s%3N)
    as_caller "$what" "$file" "$value"
    let_go
  else
    fake_slow_gpasswd
    start_in_caller_cgroup disable alice
    until_true 5 test -s "$WORK/tool.pid" || fail "$what: gpasswd did not start"
    in_top "$PID" || fail "$what: the helper is not in $TOP/cgroup.procs"
    # What the helper starts is born outside the caller's reach too.
    in_top "$(cat "$WORK/tool.pid")" || fail "$what: gpasswd is not in $TOP/cgroup.procs"
    since=$(date +%s%3N)
    as_caller "$what" "$file" "$value"
  fi
  ends_in_time "$what" "$since"
  [ "$(tail -n 1 "$OUT")" = "Auto login disabled" ] || fail "$what: stdout is $(cat "$OUT")"
  expect_bytes "$what (stderr)" "$ERR" ""
  expect_bytes "$what (file)" "$CONF" "$SEAT"
  [ -z "$(members)" ] || fail "$what: autologin still lists $(members)"
  if [ "$file" = cgroup.freeze ]; then
    grep -qx 'frozen 1' "$CG/cgroup.events" || fail "$what: the caller's cgroup is not frozen"
  fi
done
echo "longest run after the caller froze or killed its cgroup: $LONGEST ms"

# The caller's pids.max lets the helper start no process; it moves out, so enable's tools
# and its PAM child still run.
if grep -qw pids "$TOP/cgroup.subtree_control"; then
  start_case
  new_caller_cgroup
  echo 2 > "$CG/pids.max"  # the caller's session and the helper
  start_in_caller_cgroup enable alice
  until_true 30 finished || fail "pids.max: the helper did not finish"
  expect_run "pids.max of the caller" 0 $'Auto login enabled for user: alice\n' ""
  [ "$(members)" = alice ] || fail "pids.max: autologin lists '$(members)'"
else
  echo "SKIP (pids.max): the pids controller is not enabled below $TOP" \
    "(on this machine it belongs to the v1 hierarchy)"
fi

# Where the helper cannot move, or must not, it goes on silently. Each row: a view of the
# mounts made in a namespace of its own, and what the helper's cgroup.procs write must be.
TRACE=$WORK/trace
export TOP TRACE WORK
in_view() {
  local setup=$1
  shift
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
    unshare --mount --propagation private bash -c "set -e; $setup"'
      exec strace -qq -e trace=openat,write -o "$TRACE" "$@"' _ "$HELPER" "$@" > "$OUT" 2> "$ERR"
  STATUS=$?
}
mkdir "$WORK/c g\\x"
# A file where cgroup.procs would be, in a tmpfs laid over the top.
views=(
  "as mounted|:|moved"
  "no cgroup2|umount -l \"\$TOP\"|none"
  "read-only|mount -o remount,bind,ro \"\$TOP\"|refused"
  "escaped name|mount --bind \"\$TOP\" \"\$WORK/c g\\\\x\"; umount -l \"\$TOP\"|moved"
  "a tmpfs over it|mount -t tmpfs tmpfs \"\$TOP\"; : > \"\$TOP/cgroup.procs\"|none"
)
for view in "${views[@]}"; do
  IFS='|' read -r what setup expected <<< "$view"
  start_case
  in_view "$setup" enable alice
  expect_run "$what" 0 $'Auto login enabled for user: alice\n' ""
  procs=$(grep -F 'cgroup.procs' "$TRACE" | head -n 1)
  written=$(grep -E '^write\([0-9]+, "0", 1\)' "$TRACE" | head -n 1)
  case $expected in
    moved) [[ $written == *" = 1" ]] || fail "$what: the helper did not move ($procs / $written)" ;;
    refused) [[ $procs == *"= -1 EROFS"* && -z $written ]] ||
      fail "$what: expected a refused open, saw '$procs' '$written'" ;;
    none) [ -z "$procs$written" ] || fail "$what: the helper wrote somewhere: $procs $written" ;;
  esac
done

# Before the lock: the move comes first, and status, which changes nothing, never tries.
start_case
run_traced -e trace=openat,write -o "$TRACE" -- disable
expect_status "disable, traced" 0
order=$(grep -oE 'cgroup\.procs|brindleway-helper\.lock' "$TRACE" | tr '\n' ' ')
[ "$order" = "cgroup.procs brindleway-helper.lock " ] ||
  fail "disable: the move and the lock come in the order '$order'"
run_traced -e trace=openat -o "$TRACE" -- status
looked=$(grep -E 'mountinfo|cgroup' "$TRACE")
[ -z "$looked" ] || fail "status looks at cgroups: $looked"

finish
