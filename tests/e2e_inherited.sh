#!/bin/bash
# What a caller hands down through exec, and pkexec passes on: a running interval timer,
# resource limits and open descriptors. None of it may end the helper half-way, leave litter
# in /etc, or reach the account tools.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

source "$(dirname "$0")/lib/cases.sh"

require_tools perl prlimit strace
# AddressSanitizer cannot start under an address-space or data limit.
SANITIZED=
if ldd "$HELPER" | grep -q libasan; then SANITIZED=1; fi
LOCK=/run/brindleway-helper.lock
OLD=$'[Seat:*]\nautologin-user=bob\nautologin-user-timeout=5\n'
NEW=$'[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n'
ENABLED=$'Auto login enabled for user: alice\n'

# The caller's ITIMER_REAL, set to fire at every step of a run. The system calls a run is made
# of are each slowed to STEP_US, and a sweep of firing times lands on each in turn, from just
# before the helper's first setitimer to its exit. exec keeps the timer; the helper clears it
# before it takes the lock, so after that no firing may end the run.
case $(uname -m) in
  x86_64) SETITIMER_NR=38 ;;
  aarch64) SETITIMER_NR=103 ;;
  *) SETITIMER_NR= ;;
esac
STEP_US=1000
STEPS=openat,newfstatat,read,close,flock,write,fchown,fchmod,fsync,rename,unlink,close_range
STEPS+=,fcntl,prlimit64,setitimer,rt_sigprocmask,rt_sigaction,execve
# timed USEC ARGS...: runs ARGS slowed, with ITIMER_REAL set to fire after USEC (0: never).
timed() {
  local usec=$1
  shift
  traced -qq -o "$WORK/steps.log" -e trace=$STEPS -e inject=$STEPS:delay_enter=$STEP_US \
    perl -e 'my ($nr, $usec) = splice(@ARGV, 0, 2);
             my $t = pack("q4", 0, 0, int($usec / 1000000), $usec % 1000000);
             syscall($nr, 0, $t, 0) == 0 or die "setitimer: $!\n";
             exec @ARGV or die "exec: $!\n";' "$SETITIMER_NR" "$usec" "$@"
}
if [ -n "$SETITIMER_NR" ]; then
  fresh_etc
  printf '%s' "$OLD" > "$CONF"
  timed 0 "$HELPER" disable > "$OUT" 2> "$ERR"
  sed -n "\\|^execve(\"$HELPER\"|,\$p" "$WORK/steps.log" | grep '(DELAYED)' > "$WORK/steps"
  steps=$(wc -l < "$WORK/steps")
  # A helper that calls no setitimer is swept from the configuration's open.
  first=$(grep -n -m1 -E '^setitimer|"/etc/lightdm/lightdm.conf"' "$WORK/steps" | cut -d: -f1)
  for k in $(seq $((${first:-1} - 3)) $((steps + steps / 10 + 3))); do
    printf '%s' "$OLD" > "$CONF"
    rm -f "$LOCK"
    timed $(((2 * k + 1) * STEP_US / 2)) "$HELPER" disable > "$OUT" 2> "$ERR"
    STATUS=$?
    expect_done_or_untouched "timer at step $k of $steps" "$OLD" "$NEW" $'Auto login disabled\n'
    if [ "$STATUS" = 142 ] && [ -e "$LOCK" ]; then
      fail "timer at step $k of $steps: SIGALRM ended the run after it took the lock"
    fi
  done
else
  echo "SKIP (timer sweep): no setitimer number for $(uname -m)"
fi

# A caller may lower both limits, soft and hard; only root with CAP_SYS_RESOURCE (which pkexec
# gives the helper) may raise a hard limit again. Where this test's root lacks it, the callers
# below lower only the soft limits, which any caller may raise again.
HARD=
if (( (0x$(sed -n 's/^CapEff:\t//p' /proc/self/status) >> 24) & 1 )); then HARD=1; fi
[ -n "$HARD" ] || echo "NOTE: no CAP_SYS_RESOURCE here: callers lower soft limits only"
# limited OPTIONS... -- ARGS...: runs ARGS under prlimit OPTIONS, each soft only where need be,
# with no descriptor above 2 open, so that four are enough to start the helper, and in a small
# environment: the environment's strings sit on the stack, and under a 16 KiB stack limit a few
# KiB of them left the dynamic loader too little before the helper could lift the limit.
limited() {
  local options=()
  while [ "$1" != -- ]; do
    options+=("$1${HARD:-:}")
    shift
  done
  shift
  (
    for fd in $(ls /proc/$BASHPID/fd); do
      [ "$fd" -le 2 ] || eval "exec $fd>&-"
    done 2> /dev/null
    exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS} \
      ${UBSAN_OPTIONS:+UBSAN_OPTIONS=$UBSAN_OPTIONS} prlimit "${options[@]}" -- "$@"
  ) > "$OUT" 2> "$ERR"
  STATUS=$?
}

# Limits that cut the helper or the account tools short: a tiny stack with a file-size limit
# can crash a helper printing its error, its temporary file still in /etc, and kill groupadd
# mid-write. Each run creates the group and adds alice through the real tools; the group
# files must come out exactly as without a limit, with no lock file left.
GROUP_FILES="group gshadow group- gshadow-"
start_case
run enable alice
for f in $GROUP_FILES; do cp "/etc/$f" "$WORK/reference.$f"; done
rows=("--fsize=300" "--nofile=4" "--stack=16384 --fsize=16" "--stack=24576 --fsize=16")
if [ -z "$SANITIZED" ]; then rows+=("--as=$((4 << 20))"); fi
for row in "${rows[@]}"; do
  start_case
  # shellcheck disable=SC2086
  limited $row -- "$HELPER" enable alice
  expect_run "$row" 0 "$ENABLED" ""
  for f in $GROUP_FILES; do
    cmp -s "/etc/$f" "$WORK/reference.$f" || fail "$row: /etc/$f differs from a run without limits"
  done
  locks=$(find /etc -maxdepth 1 -name '*.lock' ! -name .pwd.lock)
  [ -z "$locks" ] || fail "$row: lock files left behind: $locks"
  expect_bytes "$row (configuration)" "$CONF" \
    $'[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n'
  expect_no_litter "$row"
done

# Where root may not lift a caller's hard limits, limits that could cut a tool short in
# /etc/group make the helper refuse before anything changes.
if [ -z "$HARD" ]; then
  for row in "--fsize=300" "--cpu=5" "--stack=65536"; do
    start_case
    snapshot_etc
    (exec prlimit $row -- "$HELPER" enable alice) > "$OUT" 2> "$ERR"
    STATUS=$?
    expect_status "hard $row" 1
    grep -q '^Cannot change automatic login safely: the caller' "$ERR" ||
      fail "hard $row: $(cat "$ERR")"
    expect_unchanged "hard $row"
    expect_bytes "hard $row (configuration)" "$CONF" "$SEAT"
  done
fi

# The limits the tools start with, whatever the caller set: as high as the hard limit
# (unlimited with CAP_SYS_RESOURCE) where a tool might need more, at least Linux's default
# stack and 1024 descriptors, and no core dumps.
start_case
add_group ""
fake_tool usermod "cat /proc/self/limits > $WORK/tool-limits; $LIST_ALICE"
hostile=(--fsize=300 --cpu=5 --nofile=16 --stack=65536 --nproc=50 --core=unlimited)
if [ -z "$SANITIZED" ]; then hostile+=(--as=$((256 << 20)) --data=$((64 << 20))); fi
limited "${hostile[@]}" -- "$HELPER" enable alice
expect_run "tool limits" 0 "$ENABLED" ""
awk -v hard="$HARD" '
  function at_least(v, floor) { return v == "unlimited" || v + 0 >= floor }
  { name = substr($0, 1, 26); soft = substr($0, 27, 21); max = substr($0, 48, 21)
    sub(/ +$/, "", name); gsub(/ /, "", soft); gsub(/ /, "", max) }
  name ~ /^Max (cpu time|file size|data size|processes|address space)$/ {
    seen++
    if (soft != max || (hard && soft != "unlimited")) print name ": " soft " of " max }
  name == "Max stack size" && ++seen && !at_least(soft, 8388608) { print name ": " soft }
  name == "Max open files" && ++seen && !at_least(soft, 1024) { print name ": " soft }
  name == "Max core file size" && ++seen && (soft != 0 || max != 0) { print name ": " soft }
  END { if (seen != 8) print "only " seen " of 8 limits listed" }' \
  "$WORK/tool-limits" > "$WORK/bad-limits" 2>&1
[ ! -s "$WORK/bad-limits" ] || fail "tool limits: $(cat "$WORK/bad-limits")"

# Descriptors a root caller left open, one of them far above the descriptor limit it then set,
# must not reach the tools: neither through close_range nor through the two fallbacks for
# kernels where it fails (before 5.11 it is missing or lacks the flag). In the last row the
# openat of /proc/self/fd fails too; which openat that is, a first run tells.
: > "$WORK/marker"
no_close_range=(-e trace=openat,close_range -e inject=close_range:error=EINVAL)
traced -qq -o "$WORK/openat.log" "${no_close_range[@]}" "$HELPER" disable > "$OUT" 2> "$ERR"
nth=$(grep '^openat(' "$WORK/openat.log" | grep -n '"/proc/self/fd"' | cut -d: -f1)
no_proc=(-e "inject=openat:error=ENOENT:when=${nth:-1}")
for way in close_range "no close_range" "no close_range, no /proc"; do
  case $way in
    close_range) options=(-e trace=none) ;;
    "no close_range") options=("${no_close_range[@]}") ;;
    *) options=("${no_close_range[@]}" "${no_proc[@]}") ;;
  esac
  start_case
  add_group ""
  fake_tool usermod "ls -l /proc/\$\$/fd > $WORK/tool-fds; $LIST_ALICE"
  (ulimit -n 2048; exec 9< /etc/shadow 1500< "$WORK/marker"; ulimit -Sn 64
   traced -qq -o "$WORK/openat.log" "${options[@]}" "$HELPER" enable alice) > "$OUT" 2> "$ERR"
  STATUS=$?
  expect_run "descriptors, $way" 0 "$ENABLED" ""
  [ -s "$WORK/tool-fds" ] || fail "descriptors, $way: the tool did not run"
  if grep -E 'shadow|marker' "$WORK/tool-fds" > "$WORK/leaked"; then
    fail "descriptors, $way: the tool inherited $(cat "$WORK/leaked")"
  fi
done
grep -q '"/proc/self/fd".*(INJECTED)' "$WORK/openat.log" ||
  fail "descriptors: /proc/self/fd was never refused, so the last fallback was not tried"

finish
