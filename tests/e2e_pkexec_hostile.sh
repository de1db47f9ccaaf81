#!/bin/bash
# A hostile caller through the real chain: pkexec passes on the caller's interval timer, its
# file-size and stack limits and its ignored signals, so the helper must make its own process
# sane before it changes anything. The caller runs pkexec with RLIMIT_FSIZE at 300 bytes (less
# than /etc/group), a 64 KiB stack, SIGTERM and SIGPIPE ignored, and an ITIMER_REAL whose
# SIGALRM is swept across the whole run. Where root may not lift a caller's hard limits, the
# helper must refuse those limits instead, and the sweep runs with soft limits only. After every run: the helper exited 0 or 1 and never
# died of a signal once it had changed something, no temporary file and no lock file is left,
# the configuration is the old or the new text, and the group files are whole.
# Usage: e2e_pkexec_hostile.sh PACKAGE.deb
source "$(dirname "$0")/lib/namespace.sh" "$@"
source "$(dirname "$0")/lib/chain.sh" "$1"
if ! in_system perl -MTime::HiRes -e 1 2> /dev/null; then
  echo "SKIP: perl's Time::HiRes is not installed (scripts/test installs perl)"
  exit 77
fi

prepare_system
install_package
start_daemons
CONF=$SYSTEM/etc/lightdm/lightdm.conf
ENABLED=$'[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n'
mkdir "$WORK/pristine"
for file in group gshadow group- gshadow-; do
  cp -a "$SYSTEM/etc/$file" "$WORK/pristine/" 2> /dev/null
done

# Puts the configuration and the group files back as they were, and clears what a run left.
reset_system() {
  printf '%s' "$SEAT" > "$CONF"
  cp -a "$WORK/pristine/." "$SYSTEM/etc/"
  rm -f "$SYSTEM"/etc/lightdm/lightdm.conf.tmp.* "$SYSTEM"/etc/*.lock
}

FSIZE_LIMIT=300
STACK_LIMIT=65536

# hostile DELAY ARGS...: granted runs the helper with ARGS through pkexec as the hostile caller,
# whose timer fires DELAY seconds after pkexec starts (0: no timer). Sets STATUS and ELAPSED (ms).
hostile() {
  local delay=$1 start
  shift
  start=$(date +%s%N)
  CALLER=(prlimit ${FSIZE_LIMIT:+--fsize=$FSIZE_LIMIT} --stack=$STACK_LIMIT -- perl -MTime::HiRes=setitimer,ITIMER_REAL -e
    "\$SIG{TERM} = \$SIG{PIPE} = 'IGNORE'; setitimer(ITIMER_REAL, $delay) if $delay > 0; exec @ARGV")
  as granted "$@"
  ELAPSED=$((($(date +%s%N) - start) / 1000000))
}

# check_run WHAT: the checks after every run. Counts in EARLY a signal death that changed
# nothing: the timer fired in pkexec before it started the helper.
EARLY=0
check_run() {
  local what=$1 file left changed=no
  left=$(cd "$SYSTEM" && ls -d etc/lightdm/lightdm.conf.tmp.* etc/*.lock 2> /dev/null | tr '\n' ' ')
  [ -z "$left" ] || fail "$what: left behind: $left"
  if ! printf '%s' "$SEAT" | cmp -s - "$CONF"; then
    changed=yes
    printf '%s' "$ENABLED" | cmp -s - "$CONF" || fail "$what: the configuration is neither old nor new"
  fi
  for file in group gshadow group- gshadow-; do
    [ -e "$SYSTEM/etc/$file" ] || continue
    cmp -s "$SYSTEM/etc/$file" "$WORK/pristine/$file" || changed=yes
    [ -z "$(tail -c 1 "$SYSTEM/etc/$file")" ] || fail "$what: /etc/$file ends in a cut line"
    awk -F: 'NF != 4 { bad = 1 } END { exit bad }' "$SYSTEM/etc/$file" ||
      fail "$what: /etc/$file has a cut line"
    [ "$(wc -l < "$SYSTEM/etc/$file")" -ge "$(wc -l < "$WORK/pristine/$file")" ] ||
      fail "$what: /etc/$file lost lines"
  done
  if [ "$STATUS" -gt 128 ] && [ "$changed" = no ] && [ -z "$left" ]; then
    EARLY=$((EARLY + 1))
  elif [ "$STATUS" != 0 ] && [ "$STATUS" != 1 ]; then
    fail "$what: exit status $STATUS (stderr: $(cat "$ERR"))"
  fi
}

# The limits and ignored signals alone, for both commands. Root with the right to raise hard
# limits lifts the caller's and goes on; root without it (as in some containers) must refuse
# before anything changes, rather than let a tool be cut short in /etc/group.
if prlimit --fsize=300 sh -c 'ulimit -H -f unlimited' 2> /dev/null; then
  LIFTED=0
else
  LIFTED=1
  echo "NOTE: root may not raise hard limits here; the helper must refuse the caller's limits"
fi
REFUSAL="Cannot change automatic login safely: the caller's file-size limit (300) cannot be lifted, and the account tools could leave /etc/group cut short"
reset_system
hostile 0 enable alice
expect_status "enable, no timer" "$LIFTED"
check_run "enable, no timer"
if [ "$LIFTED" = 0 ]; then
  [ "$(autologin_members)" = alice ] || fail "enable, no timer: alice is not in the group"
else
  expect_bytes "enable, no timer (refusal)" "$ERR" "$REFUSAL"$'\n'
  printf '%s' "$SEAT" | cmp -s - "$CONF" || fail "enable, no timer: refused, but changed the file"
fi
hostile 0 disable alice
expect_status "disable, no timer" "$LIFTED"
check_run "disable, no timer"
# Where the caller's hard limits make the helper refuse, the timer is swept over whole runs
# without a file-size limit and with the small stack as a soft limit only.
if [ "$LIFTED" = 1 ]; then
  FSIZE_LIMIT=""
  STACK_LIMIT=65536:unlimited
  reset_system
  hostile 0 enable alice
  expect_status "enable, no file-size limit" 0
  check_run "enable, no file-size limit"
fi
duration=$ELAPSED

# The timer swept from pkexec's start to past the end of a whole run, in 40 steps; the sweep
# stops at the third run that fails a check.
EARLY=0
for step in $(seq 1 40); do
  reset_system
  delay=$(awk -v d="$duration" -v s="$step" 'BEGIN { printf "%.4f", d * 1.5 * s / 40 / 1000 }')
  hostile "$delay" enable alice
  failed_before=$FAILURES
  check_run "timer at ${delay}s"
  [ "$FAILURES" = "$failed_before" ] || failed_runs=$((${failed_runs:-0} + 1))
  [ "${failed_runs:-0}" -lt 3 ] || break
done
echo "a whole run took ${duration} ms; the timer killed pkexec before the helper in $EARLY of $step runs"
[ "$EARLY" -lt "$step" ] || fail "the timer never reached the helper"

finish
